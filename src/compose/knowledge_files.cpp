#include "compose/knowledge_files.h"

#include <array>
#include <climits>
#include <cstdio>
#include <cstring>

#include "base/reporter.h"
#include "base/utilities.h"
#include "compose/chords.h"
#include "compose/compose_errors.h"
#include "compose/random_range.h"
#include "styles/composition_parameters.h"
#include "styles/knowledge_names.h"

namespace tunecase {

namespace {

// One byte more than the most read, for the closing NUL.
using KnowledgeBuffer = std::array<char, kKnowledgeBytes + 1>;

std::array<KnowledgeBuffer, 4> buffers{};
std::array<std::string, 4> readPaths;  // where LoadKnowledge read each file; "" when it did not open
int weightUnit = 0;
std::string knowledgeFolder;

KnowledgeBuffer& bufferOf(KnowledgeFile which) { return buffers[static_cast<size_t>(which)]; }

void computeWeightUnit() {
    const std::string_view text = PatternText();
    int largest = 0;
    size_t pos = 0;
    std::string record;
    while (ReadRecord(text, pos, record)) {
        const int w = PatternWeight(record);
        if (w > largest) largest = w;
    }
    weightUnit = largest / 8;
}

// Reads at most kKnowledgeBytes of `path` into `which`. False when it cannot be opened.
bool readInto(KnowledgeFile which, const std::string& path) {
    KnowledgeBuffer& buffer = bufferOf(which);
    buffer[0] = '\0';
    readPaths[static_cast<size_t>(which)].clear();
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    readPaths[static_cast<size_t>(which)] = path;
    size_t got = 0;
    while (got < kKnowledgeBytes) {
        const size_t n = std::fread(buffer.data() + got, 1, kKnowledgeBytes - got, f);
        if (n == 0) break;
        got += n;
    }
    std::fclose(f);
    buffer[got] = '\0';
    return true;
}

}  // namespace

std::string_view KnowledgeText(KnowledgeFile which) {
    const KnowledgeBuffer& b = bufferOf(which);
    return std::string_view(b.data(), strnlen(b.data(), b.size()));
}

void SetKnowledgeText(KnowledgeFile which, std::string_view bytes) {
    KnowledgeBuffer& buffer = bufferOf(which);
    const size_t n = bytes.size() < kKnowledgeBytes ? bytes.size() : kKnowledgeBytes;
    if (n) std::memcpy(buffer.data(), bytes.data(), n);
    buffer[n] = '\0';
    if (which == KnowledgeFile::Pattern) computeWeightUnit();
}

void SetKnowledgeFolder(std::string folder) { knowledgeFolder = std::move(folder); }

std::string KnowledgeFolder() { return knowledgeFolder.empty() ? currentFolder() : knowledgeFolder; }

std::string KnowledgePath(std::string_view name, bool ownPathAllowed) {
    if (ownPathAllowed && !name.empty() && name.front() == '/') return std::string(name);
    return joinPath(KnowledgeFolder(), name);
}

std::string PatternNotFoundText(std::string_view path) {
    return std::string(path) + " is not found in program folder! You might install ZEM agein.";
}

int LoadKnowledge() {
    for (auto& b : buffers) b[0] = '\0';
    weightUnit = 0;
    const CompositionParameters& p = currentParameters;

    const std::string patternPath =
        KnowledgePath(fieldText(p.patternFileName, sizeof p.patternFileName), true);
    if (!readInto(KnowledgeFile::Pattern, patternPath)) {
        ReportComposeError(zemc::PatternFile);
        reportText(PatternNotFoundText(patternPath), BoxKind::Ok);
        return 0;
    }
    computeWeightUnit();

    if (!readInto(KnowledgeFile::Cadence,
                  KnowledgePath(fieldText(p.resolutionFileName, sizeof p.resolutionFileName), true)))
        ReportComposeError(zemc::CadenceFile);
    if (!readInto(KnowledgeFile::TimeChart, KnowledgePath(knowledgeNames.timeChartFile, false)))
        ReportComposeError(zemc::TimeChartFile);
    if (!readInto(KnowledgeFile::CadenceTimeChart, KnowledgePath(knowledgeNames.cadenceTimeChartFile, false)))
        ReportComposeError(zemc::CadenceTimeChartFile);

    BuildChordToneTable();
    return 1;
}

std::string EmptyKnowledgeFileText(KnowledgeFile which) {
    const std::string& path = readPaths[static_cast<size_t>(which)];
    if (path.empty() || !KnowledgeText(which).empty()) return {};
    switch (which) {
        case KnowledgeFile::Cadence:
            return path + " is empty; the cadence file holds a count, then that many chord progressions, each "
                          "ended by \"|\"";
        case KnowledgeFile::TimeChart:
        case KnowledgeFile::CadenceTimeChart:
            return path + " is empty; a time chart file holds a count, then that many charts of chord durations, "
                          "each ended by \"|\"";
        case KnowledgeFile::Pattern: break;
    }
    return {};
}

int WeightUnit() { return weightUnit; }

int SuccessionLevel(int weight) {
    const int unit = weightUnit > 0 ? weightUnit : 1;
    int level = 1 + weight / unit;
    if (level < 0) level = 0;
    if (level > 9) level = 9;
    return level;
}

int PatternWeight(std::string_view record) { return record.size() > 8 ? RecordNumber(record.substr(8)) : 0; }

int RecordNumber(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > static_cast<long long>(INT_MAX) + 1) value = static_cast<long long>(INT_MAX) + 1;
    }
    if (negative) value = -value;
    if (value > INT_MAX) value = INT_MAX;
    if (value < INT_MIN) value = INT_MIN;
    return static_cast<int>(value);
}

bool ReadRecord(std::string_view text, size_t& position, std::string& record) {
    record.clear();
    if (position >= text.size()) return false;
    const void* bar = std::memchr(text.data() + position, '|', text.size() - position);
    if (!bar) {
        position = text.size();
        return false;
    }
    const size_t end = static_cast<size_t>(static_cast<const char*>(bar) - text.data());
    // The record is the text up to the bar without its line breaks and spaces, copied a run
    // of kept characters at a time.
    size_t from = position;
    for (size_t i = position; i < end; ++i) {
        const char c = text[i];
        if (c != '\r' && c != '\n' && c != ' ') continue;
        record.append(text.data() + from, i - from);
        from = i + 1;
    }
    record.append(text.data() + from, end - from);
    position = end + 1;
    return true;
}

int SkipRecords(std::string_view text, int count, size_t& position) {
    std::string record;
    for (int i = 0; i < count; ++i) {
        if (!ReadRecord(text, position, record)) {
            ReportComposeError(zemc::ReadDatabase);
            return 0;
        }
    }
    return 1;
}

ChartList ReadChartList(std::string_view text) {
    ChartList list;
    size_t pos = 0;
    std::string record;
    if (!ReadRecord(text, pos, record)) return list;
    list.count = RecordNumber(record);
    while (ReadRecord(text, pos, record)) list.charts.push_back(record);
    return list;
}

bool ChartList::Pick(std::string& chart) const {
    chart.clear();
    if (count < 1) {
        ReportComposeError(zemc::ReadDatabase);
        return false;
    }
    const int k = RandomRange(1, count);
    if (static_cast<size_t>(k) > charts.size()) {
        ReportComposeError(zemc::ReadDatabase);
        return false;
    }
    chart = charts[static_cast<size_t>(k - 1)];
    return true;
}

bool PickChart(std::string_view text, std::string& chart) {
    chart.clear();
    size_t pos = 0;
    std::string record;
    const int count = ReadRecord(text, pos, record) ? RecordNumber(record) : 0;
    if (count < 1) {
        ReportComposeError(zemc::ReadDatabase);
        return false;
    }
    const int k = RandomRange(1, count);
    if (!SkipRecords(text, k - 1, pos)) return false;
    if (!ReadRecord(text, pos, chart)) {
        ReportComposeError(zemc::ReadDatabase);
        return false;
    }
    return true;
}

}  // namespace tunecase

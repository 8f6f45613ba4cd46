#include "compose/knowledge_files.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "base/reporter.h"
#include "base/utilities.h"
#include "compose/compose_context.h"
#include "compose/compose_errors.h"
#include "base/translation.h"

namespace tunecase {

namespace {

// The program's default knowledge folder: a setting, written at start-up and read by every
// composition that names no folder of its own.
struct DefaultFolder {
    std::mutex mutex;
    std::string folder;
};

DefaultFolder& defaultFolder() {
    static DefaultFolder folder;
    return folder;
}

std::string& textOf(ComposeContext& ctx, KnowledgeFile which) {
    return ctx.knowledge.texts[static_cast<size_t>(which)];
}

// The bytes a load keeps: at most kKnowledgeBytes, up to the first NUL.
void keepText(std::string& text, std::string_view bytes) {
    bytes = bytes.substr(0, kKnowledgeBytes);
    text.assign(bytes.substr(0, bytes.find('\0')));
}

void computeWeightUnit(ComposeContext& ctx) {
    const std::string_view text = PatternText(ctx);
    int largest = 0;
    size_t pos = 0;
    std::string record;
    while (ReadRecord(text, pos, record)) {
        const int w = PatternWeight(record);
        if (w > largest) largest = w;
    }
    ctx.knowledge.weightUnit = largest / 8;
}

// Reads at most kKnowledgeBytes of `path` into `which`. False when it cannot be opened.
bool readInto(ComposeContext& ctx, KnowledgeFile which, const std::string& path) {
    std::string& text = textOf(ctx, which);
    std::string& readPath = ctx.knowledge.readPaths[static_cast<size_t>(which)];
    text.clear();
    readPath.clear();
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    readPath = path;
    text.resize(kKnowledgeBytes);
    size_t got = 0;
    while (got < kKnowledgeBytes) {
        const size_t n = std::fread(text.data() + got, 1, kKnowledgeBytes - got, f);
        if (n == 0) break;
        got += n;
    }
    std::fclose(f);
    text.resize(std::min(got, text.find('\0')));
    return true;
}

}  // namespace

std::string_view KnowledgeText(const ComposeContext& ctx, KnowledgeFile which) {
    return ctx.knowledge.texts[static_cast<size_t>(which)];
}
std::string_view PatternText(const ComposeContext& ctx) { return KnowledgeText(ctx, KnowledgeFile::Pattern); }
std::string_view CadenceText(const ComposeContext& ctx) { return KnowledgeText(ctx, KnowledgeFile::Cadence); }
std::string_view TimeChartText(const ComposeContext& ctx) { return KnowledgeText(ctx, KnowledgeFile::TimeChart); }
std::string_view CadenceTimeChartText(const ComposeContext& ctx) {
    return KnowledgeText(ctx, KnowledgeFile::CadenceTimeChart);
}

void SetKnowledgeText(ComposeContext& ctx, KnowledgeFile which, std::string_view bytes) {
    keepText(textOf(ctx, which), bytes);
    if (which == KnowledgeFile::Pattern) computeWeightUnit(ctx);
}

void SetKnowledgeFolder(std::string folder) {
    DefaultFolder& d = defaultFolder();
    const std::lock_guard lock(d.mutex);
    d.folder = std::move(folder);
}

std::string KnowledgeFolder() {
    DefaultFolder& d = defaultFolder();
    std::unique_lock lock(d.mutex);
    std::string folder = d.folder;
    lock.unlock();
    return folder.empty() ? currentFolder() : folder;
}

std::string KnowledgeFolder(const ComposeContext& ctx) {
    return ctx.knowledge.folder.empty() ? KnowledgeFolder() : ctx.knowledge.folder;
}

std::string KnowledgePath(const ComposeContext& ctx, std::string_view name, bool ownPathAllowed) {
    if (ownPathAllowed && !name.empty() && name.front() == '/') return std::string(name);
    return joinPath(KnowledgeFolder(ctx), name);
}

std::string PatternNotFoundText(std::string_view path) {
    return fillIn(tr("%s is not found in program folder! You might install ZEM agein."), path);
}

int LoadKnowledge(ComposeContext& ctx) {
    for (std::string& text : ctx.knowledge.texts) text.clear();
    ctx.knowledge.weightUnit = 0;
    const CompositionParameters& p = ctx.parameters;

    const std::string patternPath =
        KnowledgePath(ctx, fieldText(p.patternFileName, sizeof p.patternFileName), true);
    if (!readInto(ctx, KnowledgeFile::Pattern, patternPath)) {
        ReportComposeError(zemc::PatternFile);
        reportText(PatternNotFoundText(patternPath), BoxKind::Ok);
        return 0;
    }
    computeWeightUnit(ctx);

    if (!readInto(ctx, KnowledgeFile::Cadence,
                  KnowledgePath(ctx, fieldText(p.resolutionFileName, sizeof p.resolutionFileName), true)))
        ReportComposeError(zemc::CadenceFile);
    if (!readInto(ctx, KnowledgeFile::TimeChart, KnowledgePath(ctx, ctx.knowledgeNames.timeChartFile, false)))
        ReportComposeError(zemc::TimeChartFile);
    if (!readInto(ctx, KnowledgeFile::CadenceTimeChart,
                  KnowledgePath(ctx, ctx.knowledgeNames.cadenceTimeChartFile, false)))
        ReportComposeError(zemc::CadenceTimeChartFile);
    return 1;
}

std::string EmptyKnowledgeFileText(const ComposeContext& ctx, KnowledgeFile which) {
    const std::string& path = ctx.knowledge.readPaths[static_cast<size_t>(which)];
    if (path.empty() || !KnowledgeText(ctx, which).empty()) return {};
    switch (which) {
        case KnowledgeFile::Cadence:
            return fillIn(tr("%s is empty; the cadence file holds a count, then that many chord progressions, "
                             "each ended by \"|\""),
                          path);
        case KnowledgeFile::TimeChart:
        case KnowledgeFile::CadenceTimeChart:
            return fillIn(tr("%s is empty; a time chart file holds a count, then that many charts of chord "
                             "durations, each ended by \"|\""),
                          path);
        case KnowledgeFile::Pattern: break;
    }
    return {};
}

int WeightUnit(const ComposeContext& ctx) { return ctx.knowledge.weightUnit; }

int SuccessionLevel(const ComposeContext& ctx, int weight) {
    const int unit = ctx.knowledge.weightUnit > 0 ? ctx.knowledge.weightUnit : 1;
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

bool ChartList::Pick(ComposeContext& ctx, std::string& chart) const {
    chart.clear();
    if (count < 1) {
        ReportComposeError(zemc::ReadDatabase);
        return false;
    }
    const int k = ctx.random.range(1, count);
    if (static_cast<size_t>(k) > charts.size()) {
        ReportComposeError(zemc::ReadDatabase);
        return false;
    }
    chart = charts[static_cast<size_t>(k - 1)];
    return true;
}

bool PickChart(ComposeContext& ctx, std::string_view text, std::string& chart) {
    chart.clear();
    size_t pos = 0;
    std::string record;
    const int count = ReadRecord(text, pos, record) ? RecordNumber(record) : 0;
    if (count < 1) {
        ReportComposeError(zemc::ReadDatabase);
        return false;
    }
    const int k = ctx.random.range(1, count);
    if (!SkipRecords(text, k - 1, pos)) return false;
    if (!ReadRecord(text, pos, chart)) {
        ReportComposeError(zemc::ReadDatabase);
        return false;
    }
    return true;
}

}  // namespace tunecase

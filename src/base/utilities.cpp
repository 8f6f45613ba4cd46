#include "base/utilities.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <new>
#include <string>

#include "base/atomic_file.h"
#include "base/general_errors.h"
#include "base/reporter.h"
#include "base/text_codec.h"
#include "base/translation.h"

namespace tunecase {

namespace fs = std::filesystem;

// ---- Files -------------------------------------------------------------------------------

namespace {

// Opens a regular file for reading; folders and special files count as not openable.
FILE* openRegularForReading(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return nullptr;
    return std::fopen(path.c_str(), "rb");
}

}  // namespace

std::string whyNotReadable(std::string_view pathView) {
    const std::string path(pathView);
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return path + ": " + std::strerror(errno);
    if (S_ISDIR(st.st_mode)) return fillIn(tr("%s is a folder, not a file"), path);
    if (!S_ISREG(st.st_mode)) return fillIn(tr("%s is not a regular file"), path);
    if (::access(path.c_str(), R_OK) != 0) return path + ": " + std::strerror(errno);
    return {};
}

int readUpTo(std::string_view pathView, std::vector<uint8_t>& out, size_t max) {
    std::string path(pathView);
    out.clear();
    FILE* f = openRegularForReading(path);
    if (!f) {
        const std::string reason = whyNotReadable(path);
        reportText(path, BoxKind::Ok);
        ScopedReason why(reason);
        generalError(gene::CantOpenFile, path);
        return 0;
    }
    out.resize(max);
    size_t got = max == 0 ? 0 : std::fread(out.data(), 1, max, f);
    std::fclose(f);
    out.resize(got);
    if (max == kLargeReadLimit && got == max) {
        generalError(gene::DataSizeTooLarge);
        reportFilled(kDeleteToFixText, path, BoxKind::Ok);
    }
    return 1;
}

int64_t readExact(std::string_view pathView, void* buffer, size_t size) {
    std::string path(pathView);
    FILE* f = openRegularForReading(path);
    if (!f) return -1;
    size_t got = size == 0 ? 0 : std::fread(buffer, 1, size, f);
    std::fclose(f);
    return static_cast<int64_t>(got);
}

int writeWhole(std::string_view pathView, const void* buffer, size_t size, std::string* reason) {
    AtomicFile file;
    if (file.open(pathView) && file.write(buffer, size) && file.commit()) return 1;
    if (reason) *reason = file.reason();
    return 0;
}

int fileCanBeOpened(std::string_view pathView) {
    FILE* f = openRegularForReading(std::string(pathView));
    if (!f) return 0;
    std::fclose(f);
    return 1;
}

int64_t fileSize(std::string_view pathView) {
    struct stat st {};
    if (::stat(std::string(pathView).c_str(), &st) != 0) return -1;
    if (S_ISDIR(st.st_mode)) return 0;
    constexpr int64_t fourGiB = int64_t{1} << 32;
    if (static_cast<int64_t>(st.st_size) >= fourGiB) {
        generalError(gene::FileSizeError);
        return -1;
    }
    return static_cast<int64_t>(st.st_size);
}

int folderExists(std::string_view pathView) {
    struct stat st {};
    return ::stat(std::string(pathView).c_str(), &st) == 0 ? 1 : 0;
}

int makeFolders(std::string_view pathView) {
    if (pathView.empty()) return 0;
    std::error_code ec;
    fs::create_directories(fs::path(std::string(pathView)), ec);
    return fs::is_directory(fs::path(std::string(pathView)), ec) ? 1 : 0;
}

std::string fileNamePart(std::string_view path) {
    // In a CP932 path a lead byte's trail byte may equal "\" (0x5C); skip trail bytes.
    const bool dbcs = !isValidUtf8(path);
    size_t start = 0;
    for (size_t i = 0; i < path.size(); ++i) {
        auto c = static_cast<unsigned char>(path[i]);
        if (dbcs && isCp932LeadByte(c)) {
            ++i;
            continue;
        }
        if (c == '\\' || c == '/') start = i + 1;
    }
    return std::string(path.substr(std::min(start, path.size())));
}

std::string extensionLower(std::string_view path) {
    std::string name = fileNamePart(path);
    auto dot = name.rfind('.');
    if (dot == std::string::npos) return {};
    std::string ext = name.substr(dot + 1);
    for (auto& ch : ext)
        if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
    return ext;
}

std::string joinPath(std::string_view folder, std::string_view name) {
    std::string out(folder);
    if (out.empty() || out.back() != '/') out.push_back('/');
    out.append(name);
    return out;
}

std::string currentFolder() {
    std::error_code ec;
    auto p = fs::current_path(ec);
    return ec ? std::string() : p.string();
}

// ---- Numbers -----------------------------------------------------------------------------

void seedRandom() { std::srand(static_cast<unsigned>(std::time(nullptr))); }

int randomBetween(int a, int b) {
    if (a == b) return a;
    int low = a < b ? a : b;
    int high = a < b ? b : a;
    // Computed in 64 bits: high - low + 1 overflows int for the widest ranges.
    int64_t span = static_cast<int64_t>(high) - low + 1;
    return static_cast<int>(low + std::rand() % span);
}

int bpmFromMicroseconds(int microsecondsPerQuarter) {
    int milliseconds = microsecondsPerQuarter / 1000;
    if (milliseconds == 0) {
        generalError(gene::BpmZeroDivisor);
        return 0;
    }
    return 60000 / milliseconds;
}

int microsecondsFromBpm(int bpm) {
    if (bpm == 0) {
        generalError(gene::MicrosecondsZeroDivisor);
        return 0;
    }
    return (60000 / bpm) * 1000;
}

// ---- Memory and encoding -----------------------------------------------------------------

ZeroedBlock allocZeroed(size_t size) {
    ZeroedBlock block(new (std::nothrow) uint8_t[size == 0 ? 1 : size]());
    if (!block) generalError(gene::NeedsMoreMemory);
    return block;
}

std::string base64(const uint8_t* bytes, size_t n) {
    static constexpr char alphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((n + 2) / 3 * 4);
    size_t i = 0;
    for (; i + 3 <= n; i += 3) {
        uint32_t v = (uint32_t{bytes[i]} << 16) | (uint32_t{bytes[i + 1]} << 8) | bytes[i + 2];
        out.push_back(alphabet[(v >> 18) & 63]);
        out.push_back(alphabet[(v >> 12) & 63]);
        out.push_back(alphabet[(v >> 6) & 63]);
        out.push_back(alphabet[v & 63]);
    }
    if (i < n) {
        uint32_t v = uint32_t{bytes[i]} << 16;
        if (i + 1 < n) v |= uint32_t{bytes[i + 1]} << 8;
        out.push_back(alphabet[(v >> 18) & 63]);
        out.push_back(alphabet[(v >> 12) & 63]);
        out.push_back(i + 1 < n ? alphabet[(v >> 6) & 63] : '=');
        out.push_back('=');
    }
    return out;
}

std::string fieldText(const char* field, size_t capacity) {
    return std::string(field, ::strnlen(field, capacity));
}

bool setFieldText(char* field, size_t capacity, std::string_view text) {
    if (capacity == 0 || text.size() >= capacity) return false;
    std::memset(field, 0, capacity);
    std::memcpy(field, text.data(), text.size());
    return true;
}

int hexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

}  // namespace tunecase

// Helpers shared by the tests: scratch folders and whole-file access.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace tunecase::testing {

// A fresh empty folder under the system temp folder, removed with the object.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::string file(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

// Sets (or, given nullptr, unsets) an environment variable for the life of the object.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value);
    ScopedEnv(const char* name, const std::string& value) : ScopedEnv(name, value.c_str()) {}
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* name_;
    std::string old_;
    bool had_ = false;
};

// Caps every file this process writes at `bytes` for the life of the object, as a nearly
// full disk would: a write past it fails with EFBIG ("File too large"), the signal that would
// end the process being ignored meanwhile. The limit holds for root as well.
class ScopedFileSizeLimit {
public:
    explicit ScopedFileSizeLimit(uint64_t bytes);
    ~ScopedFileSizeLimit();
    ScopedFileSizeLimit(const ScopedFileSizeLimit&) = delete;
    ScopedFileSizeLimit& operator=(const ScopedFileSizeLimit&) = delete;

private:
    uint64_t oldSoft_ = 0;
    void (*oldHandler_)(int) = nullptr;
};

// The names in `folder` (hidden ones too), sorted.
std::vector<std::string> namesIn(const std::filesystem::path& folder);

std::vector<uint8_t> readFileBytes(const std::string& path);
void writeFileBytes(const std::string& path, const std::vector<uint8_t>& bytes);
void writeFileText(const std::string& path, const std::string& text);

// Runs a shell command, returns its exit status and fills `output` with stdout+stderr.
int runCommand(const std::string& command, std::string& output);

}  // namespace tunecase::testing

// CConfigControl binds one fixed-size record in memory to one file: it loads the file at
// construction, saves on request, and saves once more when destroyed.
#pragma once

#include <cstddef>
#include <string>

#include "base/translation.h"

namespace tunecase {

class CConfigControl {
public:
    // Loads `path` into `record` (`size` bytes, owned by the caller and outliving this
    // object), following these rules:
    //  - no file (or nothing that opens): `defaults` copied in silently;
    //  - a file at least `size` bytes long: its first `size` bytes; if fewer arrive, GENE
    //    0x0100000A and the "delete to fix" box with the path, keeping what was read;
    //  - a shorter file: the "initialised" box and the defaults;
    //  - something at the path that is not a readable file: GENE 0x01000007 with the
    //    path, and the defaults, so the program never runs on uninitialised settings.
    CConfigControl(std::string path, void* record, size_t size, const void* defaults);
    virtual ~CConfigControl();

    CConfigControl(const CConfigControl&) = delete;
    CConfigControl& operator=(const CConfigControl&) = delete;

    // Writes the record through a temporary file renamed over the old one. Returns 1 on
    // success; 0 after GENE 0x01000007 with the path, leaving the old file unchanged.
    int save();

    const std::string& path() const { return path_; }
    size_t size() const { return size_; }

private:
    std::string path_;
    void* record_;
    size_t size_;
};

// Fills `record` (`size` bytes) from the `length` bytes of a record file held in memory:
// its first `size` bytes when there are that many, else the "initialised" box and the
// defaults. The same rule the binding applies to the file on disk.
void loadRecordBytes(const void* bytes, size_t length, void* record, size_t size, const void* defaults);

// The box shown when a record file is shorter than its record.
inline constexpr const char* kRecordReinitialisedText =
    N_("A settings file was incomplete, so it was reset to its defaults.");

}  // namespace tunecase

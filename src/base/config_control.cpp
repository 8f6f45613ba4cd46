#include "base/config_control.h"

#include <cstring>

#include "base/general_errors.h"
#include "base/reporter.h"
#include "base/utilities.h"

namespace tunecase {

void loadRecordBytes(const void* bytes, size_t length, void* record, size_t size, const void* defaults) {
    if (length < size) {
        reportText(kRecordReinitialisedText, BoxKind::Ok);
        std::memcpy(record, defaults, size);
        return;
    }
    std::memcpy(record, bytes, size);
}

CConfigControl::CConfigControl(std::string path, void* record, size_t size, const void* defaults)
    : path_(std::move(path)), record_(record), size_(size) {
    if (!fileCanBeOpened(path_)) {
        std::memcpy(record_, defaults, size_);
        if (folderExists(path_)) generalError(gene::CantOpenFile, path_);
        return;
    }
    int64_t onDisk = fileSize(path_);
    if (onDisk < static_cast<int64_t>(size_)) {
        loadRecordBytes(defaults, 0, record_, size_, defaults);
        return;
    }
    // Read into a scratch copy first so a failed read leaves the bytes that did arrive
    // over the defaults rather than over whatever the caller's record held.
    std::string scratch(static_cast<const char*>(defaults), size_);
    int64_t got = readExact(path_, scratch.data(), size_);
    if (got < 0) {
        std::memcpy(record_, defaults, size_);
        generalError(gene::CantOpenFile, path_);
        return;
    }
    std::memcpy(record_, scratch.data(), size_);
    if (got < static_cast<int64_t>(size_)) {
        generalError(gene::DataSizeTooLarge);
        reportFilled(kDeleteToFixText, path_, BoxKind::Ok);
    }
}

CConfigControl::~CConfigControl() { save(); }

int CConfigControl::save() {
    if (writeWhole(path_, record_, size_)) return 1;
    generalError(gene::CantOpenFile, path_);
    return 0;
}

}  // namespace tunecase

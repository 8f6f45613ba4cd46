// Arbitrary bytes as the information block of a song data file, whole or cut short: the two
// texts never reach past the bytes or out of their fields. The first byte also drives the
// name matcher of the folder listing with the rest split into a pattern and a name.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "base/reporter.h"
#include "songs/directory_file_list.h"
#include "songs/library.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static tunecase::SilentSink sink;
    tunecase::setReportSink(&sink);
    const auto texts = tunecase::songTitleTexts(data, size);
    if (texts.title.size() > tunecase::kInfoBlockSize - tunecase::kTitlePosition) __builtin_trap();
    if (texts.otherText.size() > tunecase::kTitlePosition - tunecase::kOtherTextPosition) __builtin_trap();
    if (size > 1) {
        const size_t split = 1 + data[0] % (size - 1);
        const std::string_view all(reinterpret_cast<const char*>(data + 1), size - 1);
        tunecase::fileNameMatches(all.substr(0, split), all.substr(split));
    }
    return 0;
}

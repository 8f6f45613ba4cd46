// Arbitrary bytes as capture-file text. Whatever parses must survive a round trip through
// the line format unchanged.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/capture_device.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), data ? size : 0);
    std::vector<tunecase::TimedMidiMessage> messages;
    size_t badLine = 0;
    if (!tunecase::parseCaptureText(text, messages, &badLine)) {
        if (badLine == 0) __builtin_trap();
        return 0;
    }
    std::string again;
    for (const auto& m : messages) {
        if (m.bytes.empty() || m.timeUs < 0) __builtin_trap();
        again += tunecase::formatCaptureLine(m.timeUs, m.bytes.data(), m.bytes.size()) + "\n";
    }
    std::vector<tunecase::TimedMidiMessage> reread;
    if (!tunecase::parseCaptureText(again, reread) || reread != messages) __builtin_trap();
    return 0;
}

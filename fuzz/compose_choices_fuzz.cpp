// Arbitrary bytes as AUTO CMP's remembered choices and as a key name: whatever is read back
// passes the checks of the choices, and a key name that reads names a key that reads again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "app/compose_preferences.h"
#include "base/reporter.h"
#include "compose/compose_choices.h"
#include "compose/song_key.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tunecase;
    static SilentSink sink;
    setReportSink(&sink);
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const ComposeChoices choices = composeChoicesFromText(text);
    ComposeOptions options;
    if (!prepareComposeOptions(choices, options).empty()) std::abort();
    if (const auto key = parseSongKey(text)) {
        const auto again = parseSongKey(songKeyName(*key));
        if (!again || !(*again == *key)) std::abort();
    }
    return 0;
}

#include "midi/meta_values.h"

#include "base/general_errors.h"

namespace tunecase {

std::array<uint8_t, 4> timeSignatureBytes(int code) {
    int numerator = (code >> 8) & 0xFF;
    int denominator = code & 0xFF;
    int power = 0;
    if (denominator <= 0 || (denominator & (denominator - 1)) != 0) {
        generalError(gene::TimeSignInvalid);
        denominator = 4;
    }
    while ((1 << power) < denominator) ++power;
    return {static_cast<uint8_t>(numerator), static_cast<uint8_t>(power), 18, 8};
}

int isSecondPortModule(std::string_view text) {
    for (const char* mark : {"SC88B", "88B", "SC-88 B", "SC-88B"})
        if (text.find(mark) != std::string_view::npos) return 1;
    return 0;
}

}  // namespace tunecase

// Values carried inside meta events: the time-signature data bytes and the port marks that
// name the second port of a two-port sound module.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace tunecase {

// The four data bytes of a time-signature meta event for a code of numerator * 256 +
// denominator: numerator, log2(denominator), 18, 8. A denominator that is not a power
// of two shows GENE 0x0100000E and is taken as 4.
std::array<uint8_t, 4> timeSignatureBytes(int code);

// 1 if `text` names the second port of a two-port sound module.
int isSecondPortModule(std::string_view text);

}  // namespace tunecase

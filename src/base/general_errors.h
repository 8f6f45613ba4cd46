// The general error box (tag GENE) shared by every module.
#pragma once

#include <cstdint>
#include <string_view>

#include "base/reporter.h"
#include "base/translation.h"

namespace tunecase {

namespace gene {
inline constexpr uint32_t NeedsMoreMemory = 0x01000002;
inline constexpr uint32_t QuitAndRestart = 0x01000004;
inline constexpr uint32_t CantFindFile = 0x01000005;
inline constexpr uint32_t SixteenDigitError = 0x01000006;
inline constexpr uint32_t CantOpenFile = 0x01000007;
inline constexpr uint32_t DataSizeTooLarge = 0x0100000A;
inline constexpr uint32_t ParameterWrong = 0x0100000B;
inline constexpr uint32_t NoCurrentDirectory = 0x0100000C;
inline constexpr uint32_t FileSizeError = 0x0100000D;
inline constexpr uint32_t TimeSignInvalid = 0x0100000E;
inline constexpr uint32_t BpmZeroDivisor = 0x01000012;
inline constexpr uint32_t MicrosecondsZeroDivisor = 0x01000013;
}  // namespace gene

extern const MessageTable kGeneralErrors;

// Shows "GENE%08X %s" (or "... [%s]" with a path) in a system-modal box.
void generalError(uint32_t code, std::string_view path = {});

// The advice shown after a record or file could not be read whole.
inline constexpr const char* kDeleteToFixText = N_("Deleting %s may solve the problem.");

}  // namespace tunecase

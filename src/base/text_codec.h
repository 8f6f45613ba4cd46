// Text in stored records and song files is Shift-JIS (code page 932) or, for files made
// on this system, UTF-8. These helpers convert between the two and pick how to show a text.
#pragma once

#include <string>
#include <string_view>

namespace tunecase {

// True for a CP932 double-byte lead byte (0x81..0x9F, 0xE0..0xFC).
inline bool isCp932LeadByte(unsigned char c) {
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

// True when `text` is well-formed UTF-8 (no overlongs, no surrogates, at most U+10FFFF).
bool isValidUtf8(std::string_view text);

// CP932 bytes to UTF-8. Bytes that do not decode become U+FFFD; never fails.
std::string cp932ToUtf8(std::string_view text);

// UTF-8 to CP932. Characters CP932 lacks become "?". Invalid UTF-8 input is returned
// unchanged (it is taken to be CP932 already).
std::string utf8ToCp932(std::string_view text);

// The text to show for stored bytes: valid UTF-8 as it is, anything else decoded as CP932.
std::string displayText(std::string_view stored);

// How escapeControls shows a control character.
enum class ControlEscape {
    Terminal,  // shown as displayText shows it; C0 and DEL as \x1b, C1 as \u009b
    Json,      // the same, every one as \u001b (for text inside a JSON string)
    KeepBytes, // as Terminal, but bytes that are not UTF-8 are left as they are (for a
               // message that mixes our UTF-8 words with a Shift-JIS path); C1 is then
               // escaped only in text that is valid UTF-8
};

// Outside text made safe to print: every control character (C0, DEL, and C1
// U+0080..U+009F) written out visibly, so that a title or a server's answer cannot retitle
// the terminal, move its cursor or clear it. Printable characters, Japanese among them, are
// kept as they are. The one place every printing of outside text goes through.
std::string escapeControls(std::string_view stored, ControlEscape style = ControlEscape::Terminal);

}  // namespace tunecase

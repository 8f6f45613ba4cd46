#include "base/text_codec.h"

#include <iconv.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

namespace tunecase {

bool isValidUtf8(std::string_view text) {
    size_t i = 0;
    const size_t n = text.size();
    while (i < n) {
        auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            ++i;
            continue;
        }
        size_t extra;
        uint32_t cp;
        if ((c & 0xE0) == 0xC0) {
            extra = 1;
            cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2;
            cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            extra = 3;
            cp = c & 0x07;
        } else {
            return false;
        }
        for (size_t k = 1; k <= extra; ++k) {
            if (i + k >= n) return false;
            auto cc = static_cast<unsigned char>(text[i + k]);
            if ((cc & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (cc & 0x3F);
        }
        static constexpr uint32_t minimum[] = {0, 0x80, 0x800, 0x10000};
        if (cp < minimum[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        i += extra + 1;
    }
    return true;
}

namespace {

// Converts with iconv, putting `replacement` for each character that does not convert.
std::string convert(const char* to, const char* from, std::string_view text,
                    std::string_view replacement, bool cp932Input) {
    iconv_t cd = ::iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return std::string(text);
    std::string out;
    out.reserve(text.size() * 3 / 2 + 8);
    char* in = const_cast<char*>(text.data());
    size_t inLeft = text.size();
    char buffer[1024];
    while (inLeft > 0) {
        char* outPtr = buffer;
        size_t outLeft = sizeof buffer;
        size_t r = ::iconv(cd, &in, &inLeft, &outPtr, &outLeft);
        out.append(buffer, static_cast<size_t>(outPtr - buffer));
        if (r != static_cast<size_t>(-1)) continue;
        if (errno == E2BIG) continue;
        // EILSEQ or EINVAL: skip one character's worth of input and put a replacement.
        out.append(replacement);
        size_t skip = 1;
        if (cp932Input) {
            auto c = static_cast<unsigned char>(*in);
            if (isCp932LeadByte(c) && inLeft >= 2) skip = 2;
        } else {
            auto c = static_cast<unsigned char>(*in);
            skip = c < 0x80 ? 1 : (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : 4;
            if (skip > inLeft) skip = inLeft;
        }
        in += skip;
        inLeft -= skip;
        ::iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    ::iconv_close(cd);
    return out;
}

}  // namespace

std::string cp932ToUtf8(std::string_view text) {
    return convert("UTF-8", "CP932", text, "\xEF\xBF\xBD", true);
}

std::string utf8ToCp932(std::string_view text) {
    if (!isValidUtf8(text)) return std::string(text);
    return convert("CP932", "UTF-8", text, "?", false);
}

std::string displayText(std::string_view stored) {
    return isValidUtf8(stored) ? std::string(stored) : cp932ToUtf8(stored);
}

std::string escapeControls(std::string_view stored, ControlEscape style) {
    const bool utf8 = isValidUtf8(stored);
    const std::string text = utf8 || style == ControlEscape::KeepBytes ? std::string(stored) : cp932ToUtf8(stored);
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(text.size());
    const auto escape = [&](unsigned code, bool c1) {
        out += (style == ControlEscape::Json || c1) ? "\\u00" : "\\x";
        out += kHex[code >> 4];
        out += kHex[code & 0xF];
    };
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 || c == 0x7F) {
            escape(c, false);
        } else if (c == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) <= 0x9F &&
                   (utf8 || style != ControlEscape::KeepBytes)) {
            // U+0080..U+009F in UTF-8: the text is UTF-8 here, so the next byte is at least 0x80.
            escape(static_cast<unsigned char>(text[++i]), true);
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

}  // namespace tunecase

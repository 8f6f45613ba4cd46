// Arbitrary bytes and settings into the QR encoder and its drawing. The first four bytes
// choose the level, version (some out of range), allowLarger, the mask (some out of range)
// and how the length is given; the rest is the text. On success the symbol must keep to
// the request, its segments must cover the text in modes that can carry their bytes, the
// same symbol must come back when its version and mask are asked for, and drawing it at a
// size taken from the input must stay inside the picture.
//
// A symbol costs about the square of its side, and a large one with its mask chosen takes
// milliseconds under the sanitizers. So one input in thirty-two (by a hash of the whole input,
// so that mutants spread over both kinds) is taken with every setting as given, versions
// 1 to 44 and texts of any length; the others ask for version 0 to 4 (0: the smallest
// that fits) with at most 48 bytes of text, which keeps their symbols at version 7 or below,
// and draw them at most 63 pixels wide.
#include <cstddef>
#include <cstdint>
#include <algorithm>
#include <cstring>
#include <functional>
#include <string_view>
#include <string>

#include "qr/qr_drawing.h"
#include "qr/qr_encoder.h"

namespace {

using namespace tunecase;

bool isAlphanumeric(unsigned char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || std::strchr(" $%*+-./:", c) != nullptr;
}

// True when `s` bytes from `p` can be written in the segment's mode.
bool carries(const qr::Segment& s, const unsigned char* p) {
    for (int i = 0; i < s.bytes; ++i) {
        switch (s.mode) {
            case qr::Mode::Numeric:
                if (p[i] < '0' || p[i] > '9') return false;
                break;
            case qr::Mode::Alphanumeric:
                if (!isAlphanumeric(p[i])) return false;
                break;
            case qr::Mode::Kanji: {
                if (s.bytes % 2 != 0) return false;
                if (i % 2 == 1) break;
                const unsigned code = static_cast<unsigned>(p[i] << 8 | p[i + 1]);
                if (!((code >= 0x8140 && code <= 0x9FFC) || (code >= 0xE040 && code <= 0xEBBF))) return false;
                if ((p[i + 1] & 0xFF) < 0x40) return false;
                break;
            }
            case qr::Mode::Byte:
                break;
        }
    }
    return s.bytes > 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    const size_t hash = std::hash<std::string_view>{}(std::string_view(reinterpret_cast<const char*>(data), size));
    const bool large = hash % 32 == 0;
    const int level = data[0] & 3;
    const int version = large ? data[1] % 45 : data[1] % 5;  // 41..44 must be refused
    const int allowLarger = data[2] & 1;
    const bool lengthFromNul = (data[2] & 2) != 0;
    // Choosing the mask scores all eight on the symbol, ten times the cost of the rest of an
    // input: one in four of the small inputs that ask for it (by hash) choose, the others take
    // mask 0. Large inputs always take what they ask for.
    int mask = data[3] % 10 - 1;  // 8 must be refused
    if (mask < 0 && !large && hash / 32 % 4 != 1) mask = 0;
    const std::string text(reinterpret_cast<const char*>(data) + 4, large ? size - 4 : std::min<size_t>(size - 4, 48));

    QrEncoder encoder;
    const int ok = lengthFromNul ? encoder.encode(level, version, allowLarger, mask, text.c_str(), 0)
                                 : encoder.encode(level, version, allowLarger, mask, text.data(),
                                                  static_cast<int>(text.size()));
    const size_t length = lengthFromNul ? std::strlen(text.c_str()) : text.size();
    if (!ok) {
        if (encoder.moduleCount() != 0 || encoder.isDark(0, 0)) __builtin_trap();
        return 0;
    }
    if (length == 0 || version > 40 || mask > 7) __builtin_trap();
    const int v = encoder.version();
    if (v < 1 || v > 40 || encoder.moduleCount() != v * 4 + 17 || encoder.level() != level) __builtin_trap();
    if (version > 0 && (allowLarger ? v < version : v != version)) __builtin_trap();
    if (mask >= 0 ? encoder.mask() != mask : encoder.mask() < 0 || encoder.mask() > 7) __builtin_trap();
    if (encoder.codewords().size() != static_cast<size_t>(qr::totalCodewords(v))) __builtin_trap();

    size_t at = 0;
    for (const qr::Segment& s : encoder.segments()) {
        if (at + static_cast<size_t>(s.bytes) > length) __builtin_trap();
        if (!carries(s, reinterpret_cast<const unsigned char*>(text.data()) + at)) __builtin_trap();
        at += static_cast<size_t>(s.bytes);
    }
    if (at != length) __builtin_trap();

    // Asking for exactly what was chosen gives the same symbol (checked on one input in four:
    // it costs a second encoding).
    if (hash / 32 % 4 == 0) {
        QrEncoder again;
        if (!again.encode(level, v, 0, encoder.mask(), text.data(), static_cast<int>(length))) __builtin_trap();
        if (again.symbol().modules != encoder.symbol().modules) __builtin_trap();
    }

    const int side = 1 + (large ? data[1] : data[1] % 32) * 2, margin = data[3] % 64 - 4;
    const QrRaster r = drawQrSymbol(&encoder.symbol(), side, side + data[0] % 7, margin);
    if (r.black.size() != static_cast<size_t>(r.width) * static_cast<size_t>(r.height)) __builtin_trap();
    if (r.beep != (qrDrawingSide(side, side + data[0] % 7, margin) < 0)) __builtin_trap();
    return 0;
}

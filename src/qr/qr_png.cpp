#include "qr/qr_png.h"

#include <png.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <vector>

#include "base/atomic_file.h"
#include "base/translation.h"

namespace tunecase {

namespace {

// libpng reports errors by a long jump back into the function that set it up; everything
// that function owns is plain data, so nothing is skipped on the way back.
struct PngErrorText {
    char text[256] = "";
};

void onPngError(png_structp png, png_const_charp message) {
    auto* err = static_cast<PngErrorText*>(png_get_error_ptr(png));
    if (err) std::snprintf(err->text, sizeof err->text, "%s", message);
    png_longjmp(png, 1);
}

void onPngWarning(png_structp, png_const_charp) {}

// Writes rows of 1-bit pixels (a set bit is white) to `file`. Returns false with the
// library's reason in `err`.
bool writeRows(FILE* file, int width, int height, png_bytepp rows, PngErrorText& err) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &err, onPngError, onPngWarning);
    if (!png) {
        std::snprintf(err.text, sizeof err.text, "%s", tr("out of memory"));
        return false;
    }
    png_infop info = png_create_info_struct(png);
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, info ? &info : nullptr);
        if (!err.text[0]) std::snprintf(err.text, sizeof err.text, "%s", tr("out of memory"));
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 1, PNG_COLOR_TYPE_GRAY,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_write_image(png, rows);
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}

}  // namespace

bool writeQrPng(const std::string& path, const QrRaster& raster, std::string* error) {
    auto fail = [error](const std::string& why) {
        if (error) *error = why;
        return false;
    };
    if (raster.width <= 0 || raster.height <= 0) return fail(tr("the picture is empty"));

    const size_t stride = (static_cast<size_t>(raster.width) + 7) / 8;
    std::vector<png_byte> pixels(stride * static_cast<size_t>(raster.height), 0);
    std::vector<png_bytep> rows(static_cast<size_t>(raster.height));
    for (int y = 0; y < raster.height; ++y) {
        png_bytep row = pixels.data() + stride * static_cast<size_t>(y);
        rows[static_cast<size_t>(y)] = row;
        for (int x = 0; x < raster.width; ++x)
            if (!raster.isBlack(x, y)) row[x >> 3] |= static_cast<png_byte>(0x80 >> (x & 7));
    }

    AtomicFile file;
    if (!file.open(path)) return fail(file.reason());
    PngErrorText err;
    if (!writeRows(file.stream(), raster.width, raster.height, rows.data(), err)) {
        // A write that failed underneath libpng has the system's reason; its own text otherwise.
        if (file.error() == 0 && std::ferror(file.stream()) && errno != 0) file.fail(errno);
        if (file.error() == 0) return fail(path + ": " + err.text);
        return fail(file.reason());
    }
    if (!file.commit()) return fail(file.reason());
    return true;
}

}  // namespace tunecase

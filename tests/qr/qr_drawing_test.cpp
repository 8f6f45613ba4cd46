// The QR picture's drawing rule, and the PNG files pictures are written as, read back by
// libpng and zbarimg.
#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>

#include "qr/qr_drawing.h"
#include "qr/qr_png.h"
#include "qr/qr_test_util.h"

namespace tunecase {
namespace {

int blackCount(const QrRaster& r) { return static_cast<int>(std::count(r.black.begin(), r.black.end(), 1)); }

TEST(QrDrawing, TheSymbolFillsTheSmallerSideInsideTheMarginAndTooSmallBeeps) {
    const auto symbol = qr::encodeText("AB12", {qr::LevelM, 0, true, qr::ChooseMask});
    // 130 x 100 with a margin of 10: a square of min(110, 80) = 80 pixels from (10, 10).
    QrRaster r = drawQrSymbol(&*symbol, 130, 100, 10);
    ASSERT_EQ(r.black.size(), 130u * 100u);
    EXPECT_FALSE(r.beep);
    for (int y = 0; y < r.height; ++y)
        for (int x = 0; x < r.width; ++x)
            ASSERT_TRUE(!r.isBlack(x, y) || (x >= 10 && y >= 10 && x < 90 && y < 90)) << x << "," << y;
    EXPECT_TRUE(r.isBlack(10, 10) && r.isBlack(89, 10) && r.isBlack(10, 89));  // the finders' corners
    const double f = 80.0 / 21;  // the middle of each module's cell shows that module
    for (int my = 0; my < 21; ++my)
        for (int mx = 0; mx < 21; ++mx)
            ASSERT_EQ(r.isBlack(10 + int((mx + 0.5) * f), 10 + int((my + 0.5) * f)), symbol->isDark(mx, my));

    r = drawQrSymbol(&*symbol, 30, 40, 16);  // side min(-2, 8) < 0: the bell, white
    EXPECT_TRUE(r.beep);
    EXPECT_EQ(blackCount(r), 0);
    r = drawQrSymbol(&*symbol, 30, 40, 15);  // side 0: nothing to draw, no bell
    EXPECT_FALSE(r.beep || blackCount(r));
    for (const std::string& text : {std::string(), std::string(2400, 'x')}) {  // cannot be encoded: white
        r = drawQrText(text, 200, 200, 4);
        EXPECT_FALSE(r.beep || blackCount(r)) << text.size();
    }
    EXPECT_FALSE(drawQrText("", 10, 10, 20).beep);
    EXPECT_EQ(qrMarginForModules(29 * 8, 21, 4), 32);
    EXPECT_EQ(qrMarginForModules(300, 21, 4), 41);
}

TEST(QrDrawing, PngFilesHoldEveryPixelAndReadBack) {
    testing::TempFolder dir;
    std::string error;
    EXPECT_FALSE(writeQrPng(dir.file("empty.png"), QrRaster{}, &error));
    EXPECT_EQ(error, "the picture is empty");
    EXPECT_FALSE(writeQrPng(dir.file("no/such/folder/x.png"), drawQrText("A", 40, 40, 4), &error));
    EXPECT_NE(error.find("No such file or directory"), std::string::npos) << error;

    // A width that is not a multiple of 8 keeps its last pixels.
    const std::string text = "https://songs.tunecase.example/";
    const QrRaster r = drawQrText(text, 203, 197, 13);
    ASSERT_TRUE(writeQrPng(dir.file("odd.png"), r, &error)) << error;
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_file(&image, dir.file("odd.png").c_str()));
    ASSERT_EQ(image.width * 1000 + image.height, 203197u);
    image.format = PNG_FORMAT_GRAY;
    std::vector<uint8_t> grey(PNG_IMAGE_SIZE(image));
    ASSERT_TRUE(png_image_finish_read(&image, nullptr, grey.data(), 0, nullptr));
    int differences = 0;
    for (int i = 0; i < 203 * 197; ++i) differences += (grey[size_t(i)] == 0) != (r.black[size_t(i)] == 1);
    EXPECT_EQ(differences, 0);
    EXPECT_GT(blackCount(r), 0);
    if (testing::haveZbarimg()) {
        EXPECT_EQ(testing::zbarBytes(dir.file("odd.png")), text);
    }
}

}  // namespace
}  // namespace tunecase

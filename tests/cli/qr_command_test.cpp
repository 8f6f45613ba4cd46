// tunecase-cli qr as a user runs it: what it prints, exit statuses and messages, and the
// PNG, SVG and terminal drawings read back by zbarimg.
#include <gtest/gtest.h>
#include <png.h>

#include "base/text_codec.h"
#include "qr/qr_drawing.h"
#include "qr/qr_png.h"
#include "qr/qr_test_util.h"

namespace tunecase {
namespace {

using testing::runCommand;

std::string qrCommand(const std::string& args) { return std::string(TUNECASE_CLI) + " qr " + args; }
std::string quoted(const std::string& s) { return "'" + s + "'"; }

std::string header(const std::string& text, int level) {
    const auto s = qr::encodeText(text, {level, 0, true, qr::ChooseMask});
    return "version " + std::to_string(s->version) + " level " + "LMQH"[level] + " mask " + std::to_string(s->mask) + "\n";
}

int pngWidth(const std::string& path) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return 0;
    png_image_free(&image);
    return image.width == image.height ? static_cast<int>(image.width) : -1;
}

TEST(CliQr, WritesReadablePngAndSvgPictures) {
    if (!testing::haveZbarimg()) GTEST_SKIP() << "zbarimg is not installed";
    testing::TempFolder dir;
    const std::string url = "https://songs.tunecase.example/download?id=1234567&key=a7c3f09e2b";
    std::string out;
    ASSERT_EQ(runCommand(qrCommand(quoted(url) + " " + quoted(dir.file("u.png"))), out), 0) << out;
    EXPECT_EQ(out, header(url, qr::LevelM));
    const int modules = qr::encodeText(url, {qr::LevelM, 0, true, qr::ChooseMask})->size;
    EXPECT_EQ(pngWidth(dir.file("u.png")), (modules + 8) * 8);  // 8 pixels a module, four-module margins
    EXPECT_EQ(testing::zbarBytes(dir.file("u.png")), url);

    ASSERT_EQ(runCommand(qrCommand("--level h --version 12 --mask 5 --size 301 -- 'Music box No. 17' " + quoted(dir.file("h.png"))), out), 0);
    EXPECT_EQ(out, "version 12 level H mask 5\n");
    EXPECT_EQ(pngWidth(dir.file("h.png")), 301);
    EXPECT_EQ(testing::zbarBytes(dir.file("h.png")), "Music box No. 17");

    // Shift-JIS from a file: its bytes exactly, kanji included.
    const std::string title = utf8ToCp932("オルゴールの曲：星に願いを");
    testing::writeFileText(dir.file("title.txt"), title);
    ASSERT_EQ(runCommand(qrCommand("--level Q --text-file " + quoted(dir.file("title.txt")) + " " + quoted(dir.file("t.png"))), out), 0);
    EXPECT_EQ(out, header(title, qr::LevelQ));
    EXPECT_EQ(testing::zbarBytes(dir.file("t.png")), title);

    // UTF-8 typed on the command line reads back as the same text, not as Shift-JIS kanji
    // made of its bytes (E6 98 9F looks like a kanji pair).
    const std::string typed = "星に願いを";
    ASSERT_EQ(runCommand(qrCommand(quoted(typed) + " " + quoted(dir.file("j.png"))), out), 0);
    ASSERT_EQ(runCommand("zbarimg --nodbus --quiet --raw " + quoted(dir.file("j.png")) + " 2>/dev/null", out), 0);
    EXPECT_EQ(out, typed + "\n");

    // SVG at a size that does not divide into modules, rasterised by ImageMagick.
    ASSERT_EQ(runCommand(qrCommand("--size 237 --margin 13 'HELLO WORLD 42' " + quoted(dir.file("s.SVG"))), out), 0);
    const auto svg = testing::readFileBytes(dir.file("s.SVG"));
    EXPECT_NE(std::string(svg.begin(), svg.end()).find("width=\"237\" height=\"237\""), std::string::npos);
    if (runCommand("convert " + quoted(dir.file("s.SVG")) + " " + quoted(dir.file("s.png")), out) == 0) {
        EXPECT_EQ(testing::zbarBytes(dir.file("s.png")), "HELLO WORLD 42");
    }
}

TEST(CliQr, TheTerminalDrawingReadsBackAsTheSymbol) {
    const std::string text = "https://songs.tunecase.example/k/a7c3f09e2b";
    std::string out;
    ASSERT_EQ(runCommand(qrCommand("--terminal --level L " + quoted(text) + " 2>/dev/null"), out), 0);
    const std::string head = header(text, qr::LevelL);
    ASSERT_EQ(out.substr(0, head.size()), head);
    const auto symbol = qr::encodeText(text, {qr::LevelL, 0, true, qr::ChooseMask});
    const int side = symbol->size + 8;  // four light modules around

    // Each line is black on white, then half blocks for two module rows.
    qr::Symbol drawn{symbol->version, qr::LevelL, symbol->mask, side, {}};
    std::vector<uint8_t> lower;
    const std::string on = "\x1b[30;107m", off = "\x1b[0m\n";
    for (size_t at = head.size(); at < out.size(); at += off.size()) {
        ASSERT_EQ(out.compare(at, on.size(), on), 0) << at;
        for (at += on.size(); at < out.size() && out.compare(at, off.size(), off) != 0;) {
            const std::string glyph = out[at] == ' ' ? " " : out.substr(at, 3);
            ASSERT_TRUE(glyph == " " || glyph == "\u2588" || glyph == "\u2580" || glyph == "\u2584") << at;
            drawn.modules.push_back(glyph == "\u2588" || glyph == "\u2580");
            lower.push_back(glyph == "\u2588" || glyph == "\u2584");
            at += glyph.size();
        }
        drawn.modules.insert(drawn.modules.end(), lower.begin(), lower.end());
        lower.clear();
    }
    ASSERT_EQ(drawn.modules.size(), size_t(side * (side + side % 2)));
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x) ASSERT_EQ(drawn.isDark(x, y), symbol->isDark(x - 4, y - 4)) << x << "," << y;
    if (!testing::haveZbarimg()) return;
    testing::TempFolder dir;
    ASSERT_TRUE(writeQrPng(dir.file("screen.png"), drawQrSymbol(&drawn, side * 3, side * 3, 0)));
    EXPECT_EQ(testing::zbarBytes(dir.file("screen.png")), text);
}

TEST(CliQr, EmptyOrTooLongTextFailsWithExitOneAndMisuseWithTwo) {
    testing::TempFolder dir;
    const std::string png = quoted(dir.file("x.png"));
    testing::writeFileText(dir.file("long.txt"), std::string(2332, 'a'));
    const std::vector<std::pair<std::string, std::string>> failures = {
        {"'' " + png, "the text is empty"},
        {"--text-file " + quoted(dir.file("long.txt")) + " " + png, "the text (2332 bytes) is too long for a QR code at level M"},
        {"--version 1 abcdefghijklmno " + png, "the text (15 bytes) does not fit in version 1 at level M"},
        {"--size 50 --margin 25 AB12 " + png, "a margin of 25 pixels leaves no room in 50 pixels"},
        {"AB12 /no/such/folder/x.png", "cannot write /no/such/folder/x.png: No such file or directory"},
    };
    std::string err;
    for (const auto& [args, message] : failures) {
        EXPECT_EQ(runCommand(qrCommand(args + " 2>&1 >/dev/null"), err), 1) << args;
        EXPECT_EQ(err, "tunecase-cli qr: " + message + "\n");
    }
    EXPECT_EQ(runCommand(qrCommand("--version 1 abcdefghijklmn " + png), err), 0) << err;  // 14 bytes fill version 1-M
    for (const char* args : {"--level X AB12 x.png", "--mask 8 AB12 x.png", "--version 0 AB12 x.png", "AB12",
                             "--terminal AB12 x.png", "--terminal --size 100 AB12", "--text-file t.txt", "--bogus AB12 x.png"})
        EXPECT_EQ(runCommand(qrCommand(std::string(args) + " 2>&1"), err), 2) << args << ": " << err;
}

}  // namespace
}  // namespace tunecase

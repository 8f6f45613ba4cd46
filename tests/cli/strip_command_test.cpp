// tunecase-cli strip, run as a user would on a small song csvmidi writes: the report as text
// and as JSON, a PDF on letter paper as pdfinfo reads it, an SVG as python's XML parser reads
// it, and the arguments it refuses.
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>

#include "strips/strip_drawing.h"
#include "support/test_support.h"

namespace tunecase {
namespace {

using testing::runCommand;

std::string cli() { return TUNECASE_CLI; }

// A song in 3/4 at 480 ticks a quarter, named "Little Tune", written by csvmidi: a scale up
// from C4, then C#4 (no tooth of its name on the 15-note comb), C7 (above the comb), and two
// C5 a sixty-fourth apart (1 mm at 8 mm a beat). The last note starts on beat 12.
constexpr double kLastBeat = 5280.0 / 480;
std::string tuneCsv() {
    const int notes[][3] = {{0, 400, 60},    {480, 400, 62},  {960, 400, 64},  {1440, 400, 65}, {1920, 400, 67},
                            {2400, 400, 69}, {2880, 400, 61}, {3360, 400, 96}, {3840, 400, 71}, {4320, 40, 72},
                            {4380, 400, 72}, {4800, 400, 64}, {5280, 480, 60}};
    std::string csv = "0, 0, Header, 0, 1, 480\n1, 0, Start_track\n1, 0, Title_t, \"Little Tune\"\n"
                      "1, 0, Time_signature, 3, 2, 24, 8\n";
    for (const auto& [tick, length, key] : notes)
        csv += "1, " + std::to_string(tick) + ", Note_on_c, 0, " + std::to_string(key) + ", 100\n1, " +
               std::to_string(tick + length) + ", Note_off_c, 0, " + std::to_string(key) + ", 0\n";
    return csv + "1, 5760, End_track\n0, 0, End_of_file\n";
}

class CliStrip : public ::testing::Test {
protected:
    void SetUp() override {
        song = dir.file("little tune.mid");
        testing::writeFileText(dir.file("tune.csv"), tuneCsv());
        std::string out;
        if (runCommand("csvmidi " + quoted(dir.file("tune.csv")) + " " + quoted(song), out) != 0)
            GTEST_SKIP() << "csvmidi (midicsv) is not installed: " << out;
    }
    int strip(const std::string& args, std::string& out) { return runCommand(cli() + " strip " + args + " 2>&1", out); }
    std::string quoted(const std::string& path) const { return "'" + path + "'"; }

    testing::TempFolder dir;
    std::string song;
};

TEST_F(CliStrip, ReportsWhatTheFittingDidAsTextAndAsJson) {
    std::string out;
    ASSERT_EQ(strip("--box 15-note --transpose 0 --report " + quoted(song), out), 0) << out;
    for (const char* line : {"Title: Little Tune\n", "Box: 15-note\n", "Transposition: none\n",
                             "Notes: 11 kept, 1 folded, 1 dropped; 1 too close\n", "bar 3 beat 1: C#4 dropped",
                             "bar 3 beat 2: C7 folded to C6\n", "bar 4 beat 1.1", "C5 too close",
                             "Strip: 123.0 mm, 1 page A4\n"})
        EXPECT_NE(out.find(line), std::string::npos) << line << " in\n" << out;
    EXPECT_FALSE(std::filesystem::exists(dir.file("little tune.pdf")));

    ASSERT_EQ(strip("--box 15-note --transpose=0 --report --json " + quoted(song), out), 0) << out;
    const auto json = nlohmann::json::parse(out);
    EXPECT_EQ(json["box"], "15-note");
    EXPECT_EQ(json["title"], "Little Tune");
    EXPECT_EQ(json["transpose"], 0);
    EXPECT_EQ(json["counts"], nlohmann::json::parse(
                                  R"({"notes": 13, "kept": 11, "folded": 1, "dropped": 1, "too_close": 1})"));
    ASSERT_EQ(json["dropped"].size(), 1u);
    EXPECT_EQ(json["dropped"][0]["name"], "C#4");
    EXPECT_EQ(json["dropped"][0]["bar"], 3);
    EXPECT_EQ(json["dropped"][0]["beat"], 1.0);
    ASSERT_EQ(json["folded"].size(), 1u);
    EXPECT_EQ(json["folded"][0]["punched_name"], "C6");
    ASSERT_EQ(json["too_close"].size(), 1u);
    EXPECT_EQ(json["too_close"][0]["bar"], 4);
    EXPECT_EQ(json["too_close"][0]["beat"], 1.125);
    EXPECT_DOUBLE_EQ(json["strip_mm"].get<double>(), kStripLeadInMm + kLastBeat * 8 + kStripTailMm);

    // The move chosen by itself keeps at least as many notes as no move; a box file of one's
    // own is read, with its beat.
    ASSERT_EQ(strip("--box 15-note --report --json " + quoted(song), out), 0) << out;
    EXPECT_GE(nlohmann::json::parse(out)["counts"]["kept"].get<int>(), 11);
    testing::writeFileText(dir.file("my boxes.txt"), "box Tiny\ncomb C4 D4 E4 F4 G4 A4 B4 C5\nwidth 30\n"
                                                     "line-spacing 2.5\nfirst-line 6.25\nbeat 10\nmin-repeat 2\n");
    ASSERT_EQ(strip("--box tiny --boxes " + quoted(dir.file("my boxes.txt")) + " --report --json " + quoted(song), out),
              0)
        << out;
    const auto tiny = nlohmann::json::parse(out);
    EXPECT_EQ(tiny["box"], "Tiny");
    EXPECT_DOUBLE_EQ(tiny["strip_mm"].get<double>(), kStripLeadInMm + kLastBeat * 10 + kStripTailMm);
}

TEST_F(CliStrip, WritesAPdfOnTheChosenPaperAndAnSvgStripAsLongAsTheStrip) {
    std::string out;
    const std::string pdf = dir.file("tune.pdf");
    ASSERT_EQ(strip("--box 30-note --paper letter " + quoted(song) + " " + quoted(pdf), out), 0) << out;
    EXPECT_NE(out.find("Box: 30-note\n"), std::string::npos) << out;
    EXPECT_NE(out.find("1 page letter: " + pdf), std::string::npos) << out;
    std::string info;
    if (runCommand("pdfinfo " + quoted(pdf), info) == 0) {
        EXPECT_NE(info.find("Pages:           1\n"), std::string::npos) << info;
        EXPECT_NE(info.find("792 x 612 pts (letter)"), std::string::npos) << info;
    }

    // The SVG is the strip itself: as wide as the report says, at 12 mm a beat.
    const std::string svg = dir.file("tune.SVG");
    ASSERT_EQ(strip("--box 30-note --beat-mm 12 " + quoted(song) + " " + quoted(svg), out), 0) << out;
    ASSERT_EQ(strip("--box 30-note --beat-mm 12 --report --json " + quoted(song), out), 0) << out;
    const double length = nlohmann::json::parse(out)["strip_mm"].get<double>();
    EXPECT_DOUBLE_EQ(length, kStripLeadInMm + kLastBeat * 12 + kStripTailMm);
    ASSERT_EQ(runCommand("/usr/bin/python3 -c 'import sys, re, xml.etree.ElementTree as ET\n"
                         "root = ET.parse(sys.argv[1]).getroot()\n"
                         "w = re.fullmatch(r\"([0-9.]+)(mm|pt)\", root.get(\"width\"))\n"
                         "print(root.tag, float(w.group(1)) * (25.4 / 72 if w.group(2) == \"pt\" else 1))' " +
                             quoted(svg),
                         out),
              0)
        << out;
    std::istringstream read(out);
    std::string tag;
    double width = 0;
    read >> tag >> width;
    EXPECT_EQ(tag, "{http://www.w3.org/2000/svg}svg") << out;
    EXPECT_NEAR(width, length, 1e-6) << out;
}

TEST_F(CliStrip, RefusesBadArgumentsAndReportsWhatItCannotDo) {
    std::string out;
    const std::string in = " " + quoted(song) + " ";
    const std::string pdf = quoted(dir.file("x.pdf"));
    for (const std::string& args :
         {"--box 30-note --beat-mm 0" + in + pdf, "--box 30-note --beat-mm -4" + in + pdf,
          "--box 30-note --transpose 25" + in + pdf, "--box 30-note --transpose -25" + in + pdf,
          "--box 30-note --transpose up" + in + pdf, "--box 30-note --paper a3" + in + pdf,
          "--box 30-note" + in + quoted(dir.file("x.png")), "--box 30-note" + in, "--box 30-note --json" + in + pdf,
          "--box 30-note --report" + in + pdf, in + pdf})
        EXPECT_EQ(strip(args, out), 2) << args << "\n" << out;
    EXPECT_FALSE(std::filesystem::exists(dir.file("x.pdf")));
    EXPECT_FALSE(std::filesystem::exists(dir.file("x.png")));
    ASSERT_EQ(strip("--box 30-note --transpose -24 --paper LETTER" + in + pdf, out), 0) << out;

    EXPECT_EQ(strip("--box 31-note" + in + pdf, out), 2);
    EXPECT_NE(out.find("15-note, 20-note, 30-note"), std::string::npos) << out;
    // The help names the boxes of the boxes file in the program folder, whatever they are.
    testing::writeFileText(dir.file("boxes.txt"), "box Tiny\ncomb C4 D4 E4\nwidth 20\nline-spacing 2\n"
                                                  "first-line 4\nbeat 8\nmin-repeat 2\n");
    ASSERT_EQ(runCommand("TUNECASE_PROGRAM_FOLDER=" + quoted(dir.path().string()) + " " + cli() + " strip --help", out), 0);
    EXPECT_NE(out.find("Boxes in " + dir.file("boxes.txt") + ": Tiny"), std::string::npos) << out;
    EXPECT_EQ(strip("--box 30-note" + in + quoted(dir.file("missing/x.pdf")), out), 1);
    EXPECT_NE(out.find("cannot write"), std::string::npos) << out;
    EXPECT_EQ(strip("--box 30-note " + quoted(dir.file("missing.mid")) + " " + pdf, out), 1) << out;
    EXPECT_EQ(strip("--box 30-note --boxes " + quoted(dir.file("none.txt")) + in + pdf, out), 1) << out;
}

TEST_F(CliStrip, KeepsEveryLengthInRangeAndNeverWritesAStripItCannotDraw) {
    std::string out;
    const std::string in = " " + quoted(song) + " ";
    const std::string svg = dir.file("x.svg");
    for (const char* beat : {"100000000", "1e9", "0.5", "100.5"}) {
        EXPECT_EQ(strip("--box 30-note --report --beat-mm " + std::string(beat) + in, out), 2) << beat;
        EXPECT_EQ(out, "--beat-mm: " + std::string(beat) +
                           " is out of range: a beat is 1 to 100 mm of strip\nRun with --help for more information.\n");
    }
    for (const char* beat : {"1", "100"})
        EXPECT_EQ(strip("--box 30-note --report --beat-mm " + std::string(beat) + in, out), 0) << beat << out;

    // A box far wider than any movement is refused where it is written, with its range.
    testing::writeFileText(dir.file("huge.txt"), "box Huge\ncomb C4 D4 E4\nwidth 10000000\nline-spacing 2\n"
                                                 "first-line 3\nbeat 8\nmin-repeat 2\n");
    EXPECT_EQ(strip("--boxes " + quoted(dir.file("huge.txt")) + " --box Huge" + in + quoted(svg), out), 2);
    EXPECT_NE(out.find("huge.txt:3: width 10000000 is out of range: a box's width is 10 to 300 mm\n"), std::string::npos)
        << out;
    EXPECT_NE(out.find("no usable box named \"Huge\""), std::string::npos) << out;
    EXPECT_FALSE(std::filesystem::exists(svg));

    // A song of 600 beats at 100 mm a beat would need 60 m of strip: refused, report and
    // drawings alike; at 8 mm a beat it is drawn.
    testing::writeFileText(dir.file("long.csv"), "0, 0, Header, 0, 1, 480\n1, 0, Start_track\n"
                                                 "1, 0, Note_on_c, 0, 60, 100\n1, 480, Note_off_c, 0, 60, 0\n"
                                                 "1, 288000, Note_on_c, 0, 62, 100\n1, 288480, Note_off_c, 0, 62, 0\n"
                                                 "1, 288480, End_track\n0, 0, End_of_file\n");
    const std::string longSong = dir.file("long.mid");
    ASSERT_EQ(runCommand("csvmidi " + quoted(dir.file("long.csv")) + " " + quoted(longSong), out), 0) << out;
    const std::string longIn = " --keep-short --keep-long " + quoted(longSong) + " ";
    for (const std::string& target : {std::string(), quoted(svg), quoted(dir.file("x.pdf"))}) {
        EXPECT_EQ(strip("--box 30-note --beat-mm 100" + std::string(target.empty() ? " --report" : "") + longIn + target,
                        out),
                  1)
            << target;
        EXPECT_EQ(out, "tunecase-cli strip: the strip would be 60035.0 mm long; a strip is at most 50000 mm (50 m); "
                       "give a smaller --beat-mm\n");
    }
    EXPECT_FALSE(std::filesystem::exists(svg));
    EXPECT_FALSE(std::filesystem::exists(dir.file("x.pdf")));
    ASSERT_EQ(strip("--box 30-note --beat-mm 8" + longIn + quoted(svg), out), 0) << out;
    EXPECT_NE(out.find("Strip: 4835.0 mm, one long strip"), std::string::npos) << out;
}

}  // namespace
}  // namespace tunecase

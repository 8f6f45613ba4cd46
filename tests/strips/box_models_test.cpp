// The box models file: the shipped boxes walked for what the strips rely on, and the parser's
// handling of a file a user has edited badly.
#include "strips/box_models.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace tunecase {
namespace {

std::string shippedBoxesPath() { return std::string(TUNECASE_TEST_DATA) + "/../../data/" + kBoxModelsFileName; }

bool isSharp(int key) { return std::set<int>{1, 3, 6, 8, 10}.count(key % 12) > 0; }

TEST(BoxModelFile, ShippedBoxesParseAndFitTheirStrips) {
    std::vector<BoxModelError> errors;
    const auto boxes = loadBoxModels(shippedBoxesPath(), errors);
    for (const auto& e : errors) ADD_FAILURE() << "line " << e.line << ": " << e.message;
    ASSERT_GE(boxes.size(), 3u);

    std::set<std::string> names;
    for (const BoxModel& box : boxes) {
        SCOPED_TRACE(box.name);
        std::string folded = box.name;
        std::transform(folded.begin(), folded.end(), folded.begin(), [](unsigned char c) { return std::tolower(c); });
        EXPECT_TRUE(names.insert(folded).second) << "name used twice";
        ASSERT_FALSE(box.comb.empty());
        EXPECT_TRUE(std::adjacent_find(box.comb.begin(), box.comb.end(), std::greater_equal<int>()) == box.comb.end())
            << "comb not strictly rising";
        // Every line on the paper, the lines centred: the margin above the top line equals
        // the first line's distance from the lower edge.
        const double top = box.firstLineMm + box.lineSpacingMm * static_cast<double>(box.comb.size() - 1);
        EXPECT_GT(box.firstLineMm, 0);
        EXPECT_LT(top, box.stripWidthMm);
        EXPECT_NEAR(box.stripWidthMm - top, box.firstLineMm, 1e-9);
        EXPECT_GT(box.mmPerBeat, 0);
        // A tooth must at least let a repeat through one beat later.
        EXPECT_GT(box.minRepeatMm, 0);
        EXPECT_LT(box.minRepeatMm, box.mmPerBeat);
    }

    // The published descriptions: 15, 20 and 30 teeth; no sharps on the 15- and 20-note
    // combs; sharps on the 30-note, whose middle is chromatic (E4 up to C6 without a gap).
    const auto box15 = findBoxModel(boxes, "15-NOTE");
    const auto box20 = findBoxModel(boxes, "20-note");
    const auto box30 = findBoxModel(boxes, "30-note");
    ASSERT_TRUE(box15 && box20 && box30);
    EXPECT_EQ(box15->comb.size(), 15u);
    EXPECT_EQ(box20->comb.size(), 20u);
    EXPECT_EQ(box30->comb.size(), 30u);
    EXPECT_TRUE(std::none_of(box15->comb.begin(), box15->comb.end(), isSharp));
    EXPECT_TRUE(std::none_of(box20->comb.begin(), box20->comb.end(), isSharp));
    const auto e4 = std::find(box30->comb.begin(), box30->comb.end(), 64);
    ASSERT_NE(e4, box30->comb.end());
    for (int key = 64; key <= 84; ++key) EXPECT_EQ(e4[key - 64], key);
    EXPECT_EQ(noteName(box30->comb.front()), "C3");
    EXPECT_EQ(noteName(box30->comb.back()), "E6");
}

TEST(BoxModelFile, MistakesLeaveOutOnlyTheirBoxAndNameTheLine) {
    const char* text =
        "comb C4\n"                                        // 1: before any box
        "box good\n"                                       // 2
        "comb C4 D4 E4   # a comment\n"                    // 3
        "width 10\nline-spacing 2\nfirst-line 3\nbeat 8\nmin-repeat 2.5\n"  // 4-8
        "box wide\n"                                       // 9
        "comb C4 D4 E4 F4\nwidth 10\nline-spacing 3\nfirst-line 2\nbeat 8\nmin-repeat 2\n"  // 10-15: top line at 11 mm
        "box falling\n"                                    // 16
        "comb C4 B3\nwidth 10\nline-spacing 2\nfirst-line 3\nbeat 8\nmin-repeat 2\n"  // 17-22
        "box short\n"                                      // 23
        "comb H4\nwidth 10\nbeat -1\n"                     // 24-26
        "box GOOD\n"                                       // 27: the name again
        "comb C4\nwidth 10\nline-spacing 2\nfirst-line 3\nbeat 8\nmin-repeat 2\n";
    std::vector<BoxModelError> errors;
    const auto boxes = parseBoxModels(text, errors);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].name, "good");
    EXPECT_EQ(boxes[0].comb, (std::vector<int>{60, 62, 64}));
    EXPECT_DOUBLE_EQ(boxes[0].minRepeatMm, 2.5);

    std::set<int> lines;
    for (const auto& e : errors) lines.insert(e.line);
    for (int line : {1, 9, 17, 24, 26, 23, 27}) EXPECT_TRUE(lines.count(line)) << "no error at line " << line;
    for (int line : {2, 3, 4, 8, 10}) EXPECT_FALSE(lines.count(line)) << "error at good line " << line;

    // Note names as the strip prints them read back as their keys; flats and key numbers too.
    errors.clear();
    const auto names = parseBoxModels("box n\ncomb C-1 Cb4 " + noteName(60) + " Bb4 B#4 " + noteName(78) + " 100 " +
                                          noteName(127) + "\nwidth 99\nline-spacing 1\nfirst-line 1\nbeat 8\nmin-repeat 2\n",
                                      errors);
    ASSERT_EQ(names.size(), 1u) << (errors.empty() ? "" : errors[0].message);
    EXPECT_EQ(names[0].comb, (std::vector<int>{0, 59, 60, 70, 72, 78, 100, 127}));

    errors.clear();
    EXPECT_TRUE(loadBoxModels("/nonexistent/boxes.txt", errors).empty());
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].line, 0);
}

TEST(BoxModelFile, EveryFieldHasARangeAndAValueOutsideItIsNamedOnce) {
    struct FieldCase {
        const char* field;
        std::vector<const char*> accepted, refused;
        const char* range;
    };
    const FieldCase cases[] = {
        {"width", {"10", "300"}, {"9.99", "300.01", "10000000"}, "10 to 300 mm"},
        {"line-spacing", {"0.5", "20"}, {"0.4", "20.5"}, "0.5 to 20 mm"},
        {"first-line", {"0.5", "280"}, {"0.4", "300.5"}, "0.5 to 300 mm"},
        {"beat", {"1", "100"}, {"0.5", "100.5", "100000000"}, "1 to 100 mm"},
        {"min-repeat", {"0.1", "100"}, {"0.05", "100.5"}, "0.1 to 100 mm"},
    };
    // A box valid in every field; the one under test replaces its line (line 4 onwards).
    const auto boxWith = [](const std::string& field, const std::string& value) {
        std::string text = "box b\ncomb C4 D4\n";
        for (const auto& [name, good] : {std::pair<std::string, std::string>{"width", "300"}, {"line-spacing", "2"},
                                         {"first-line", "3"}, {"beat", "8"}, {"min-repeat", "2"}})
            text += name + " " + (name == field ? value : good) + "\n";
        return text;
    };
    for (const FieldCase& c : cases) {
        for (const char* value : c.accepted) {
            std::vector<BoxModelError> errors;
            EXPECT_EQ(parseBoxModels(boxWith(c.field, value), errors).size(), 1u) << c.field << " " << value;
            EXPECT_TRUE(errors.empty()) << c.field << " " << value << ": " << errors[0].message;
        }
        for (const char* value : c.refused) {
            std::vector<BoxModelError> errors;
            EXPECT_TRUE(parseBoxModels(boxWith(c.field, value), errors).empty()) << c.field << " " << value;
            ASSERT_EQ(errors.size(), 1u) << c.field << " " << value;
            EXPECT_EQ(errors[0].message, std::string(c.field) + " " + value + " is out of range: a box's " + c.field +
                                             " is " + c.range);
        }
    }
}

}  // namespace
}  // namespace tunecase

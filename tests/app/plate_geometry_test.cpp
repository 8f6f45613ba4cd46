#include <gtest/gtest.h>

#include <algorithm>

#include "app/plate_geometry.h"
#include "controls/keyboard_geometry.h"

namespace tunecase {
namespace {

TEST(PlateLayout, SizesAndVisibilityFollowThePlateType) {
    EXPECT_EQ(plateRadius(PlateNone), 0);
    EXPECT_EQ(plateRadius(PlateLargeDisk), 100);
    EXPECT_EQ(plateRadius(PlateSmallDisk), 50);
    EXPECT_EQ(plateRadius(PlatePaper), 100);
    EXPECT_EQ(plateRadius(PlateToyPianoLarge), 0);
    EXPECT_EQ(plateRadius(PlateToyPianoSmall), 0);

    EXPECT_EQ(plateLayout(PlateSmallDisk).client, (PixelSize{120, 120}));
    EXPECT_EQ(plateLayout(PlateLargeDisk).client, (PixelSize{220, 220}));
    EXPECT_EQ(plateLayout(PlatePaper).client, (PixelSize{220, 220}));
    EXPECT_TRUE(plateLayout(PlateLargeDisk).visible);
    EXPECT_FALSE(plateLayout(PlateNone).visible);
    EXPECT_TRUE(plateLayout(PlateNone).keys.empty());

    const PlateLayout large = plateLayout(PlateToyPianoLarge);
    EXPECT_TRUE(large.visible);
    EXPECT_EQ(large.outer, (PixelSize{400, 100}));
    EXPECT_EQ(large.keyboard, (PixelSize{400, 70}));
    EXPECT_EQ(large.keys.first, 48);
    EXPECT_EQ(large.keys.last, 97);
    const PlateLayout small = plateLayout(PlateToyPianoSmall);
    EXPECT_TRUE(small.visible);
    EXPECT_EQ(small.outer, (PixelSize{200, 100}));
    EXPECT_EQ(small.keyboard, (PixelSize{200, 70}));
    EXPECT_EQ(small.keys.first, 60);
    EXPECT_EQ(small.keys.last, 85);
}

TEST(DiskPins, NoteAtTheCurrentTimeSitsAtTheBottomAndSoundsWhilePlaying) {
    PlateMotion motion;
    motion.setDisplayLength(3840);
    const std::vector<PlateNote> notes{{0, 60}, {960, 64}, {1920, 127}};
    motion.noteSounded(960);
    auto pins = diskPins(notes, 100, 3840, motion.theta, true);
    ASSERT_EQ(pins.size(), 3u);
    EXPECT_EQ(pins[1], (PinMark{110, 160, true}));
    EXPECT_FALSE(pins[0].sounding);
    EXPECT_FALSE(pins[2].sounding);
    // A quarter turn past the bottom: note 60 (rho 46) has moved on to the left.
    EXPECT_EQ(pins[0].x, 110 - 46);
    EXPECT_EQ(pins[0].y, 110);
    // A quarter turn still to come, on the right; the top note sits near the rim.
    EXPECT_EQ(pins[2].x, 110 + 99);
    EXPECT_EQ(pins[2].y, 110);

    pins = diskPins(notes, 100, 3840, motion.theta, false);
    EXPECT_EQ(pins[1], (PinMark{110, 160, false}));

    // The small disk: m = 60, rho = 64 * 50 / 128 = 25.
    pins = diskPins(notes, 50, 3840, motion.theta, true);
    EXPECT_EQ(pins[1], (PinMark{60, 85, true}));
}

TEST(DiskPins, StoppingTurnsTheDiskBackToItsStart) {
    PlateMotion motion;
    motion.setDisplayLength(3840);
    motion.noteSounded(1920);
    EXPECT_NE(motion.theta.load(), 0.0);
    motion.resetAngle();
    EXPECT_EQ(motion.theta.load(), 0.0);
    EXPECT_EQ(motion.previousAngle.load(), 0.0);
    auto pins = diskPins({{0, 64}}, 100, 3840, motion.theta, true);
    // The first note is at the bottom again; at time 0 with angle 0 it sounds while playing.
    EXPECT_EQ(pins[0], (PinMark{110, 160, true}));
}

TEST(PaperPins, WholeSongFitsTheSheetAndOnlyTheCurrentNoteIsHighlighted) {
    const std::vector<PlateNote> notes{{0, 64}, {1920, 64}, {3840, 127}, {1920, 0}};
    auto pins = paperPins(notes, 100, 3840, 1920);
    ASSERT_EQ(pins.size(), 4u);
    EXPECT_EQ(pins[0], (PinMark{100, 0, false}));
    EXPECT_EQ(pins[1], (PinMark{100, 110, true}));
    EXPECT_EQ(pins[2], (PinMark{198, 220, false}));  // 127 * 200 / 128 truncates to 198
    EXPECT_EQ(pins[3], (PinMark{0, 110, true}));     // a chord note at the same time

    // Time 0 is never highlighted, even when the song is at time 0.
    pins = paperPins(notes, 100, 3840, 0);
    EXPECT_FALSE(pins[0].sounding);
    EXPECT_EQ(std::count_if(pins.begin(), pins.end(), [](auto& p) { return p.sounding; }), 0);

    // A long song must not overflow the scale: 10 million ticks at the very end.
    pins = paperPins({{10'000'000, 64}}, 100, 10'000'000, 0);
    EXPECT_EQ(pins[0].y, 220);
}

TEST(PlatePins, AnEmptySongGetsNoPinsAndAFiniteAngle) {
    const std::vector<PlateNote> notes{{0, 64}, {10, 70}};
    EXPECT_TRUE(paperPins(notes, 100, 0, 0).empty());
    EXPECT_TRUE(diskPins(notes, 100, 0, 0.0, true).empty());
    PlateMotion motion;
    motion.setDisplayLength(0);
    EXPECT_EQ(motion.k.load(), 0.0);
    motion.noteSounded(500);
    motion.advance(19);
    EXPECT_EQ(motion.theta.load(), 0.0);
}

TEST(Spindle, TwoDiametersOfRadiusEighthAndTenthTurnWithTheDisk) {
    auto lines = spindleLines(100, 0.0);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], (PlateLine{110, 98, 110, 122}));
    EXPECT_EQ(lines[1], (PlateLine{120, 110, 100, 110}));
    // Small disk: radii 6 and 5 around 60.
    lines = spindleLines(50, 0.0);
    EXPECT_EQ(lines[0], (PlateLine{60, 54, 60, 66}));
    EXPECT_EQ(lines[1], (PlateLine{65, 60, 55, 60}));
    // A quarter turn swaps the two directions.
    lines = spindleLines(100, 1.57079632675);
    EXPECT_EQ(lines[0].y1, 110);
    EXPECT_EQ(lines[0].y2, 110);
    EXPECT_EQ(std::abs(lines[0].x1 - lines[0].x2), 24);
}

TEST(PlateMotionAdvance, TurnsByTheTicksOf100msOnlyWhenNoNoteMovedThePlate) {
    EXPECT_EQ(ticksPer100ms(96, 120), 19);
    EXPECT_EQ(ticksPer100ms(480, 120), 96);
    EXPECT_EQ(ticksPer100ms(32767, 1000), 54611);  // the product overflows 32 bits

    PlateMotion motion;
    motion.setDisplayLength(3840);
    const double k = motion.k;
    EXPECT_DOUBLE_EQ(k, 6.283185307 / 3840);
    motion.advance(19);
    EXPECT_DOUBLE_EQ(motion.theta, 19 * k);
    motion.advance(19);
    EXPECT_DOUBLE_EQ(motion.theta, 38 * k);
    // A note turned the plate since the last tick: the tick leaves the angle alone.
    motion.noteSounded(500);
    motion.advance(19);
    EXPECT_EQ(motion.theta.load(), 500 * k);
    EXPECT_EQ(motion.previousAngle.load(), 500 * k);
    motion.advance(19);
    EXPECT_DOUBLE_EQ(motion.theta, 519 * k);

    // A new song starts at angle 0.
    motion.setDisplayLength(1000);
    EXPECT_EQ(motion.theta.load(), 0.0);
    EXPECT_DOUBLE_EQ(motion.k, 6.283185307 / 1000);
}

TEST(PlateEvents, PianosPressAndReleaseKeysDisksTurnOnTheLastNoteOfAChord) {
    auto e = plateEventEffect(PlateToyPianoLarge, PlateEventKind::NoteOn, 60, false);
    EXPECT_EQ(e.pressKey, 60);
    EXPECT_FALSE(e.turn);
    e = plateEventEffect(PlateToyPianoSmall, PlateEventKind::NoteOff, 61, false);
    EXPECT_EQ(e.releaseKey, 61);
    EXPECT_EQ(e.pressKey, -1);

    e = plateEventEffect(PlateLargeDisk, PlateEventKind::NoteOn, 60, true);
    EXPECT_FALSE(e.turn);
    EXPECT_EQ(e.pressKey, -1);
    e = plateEventEffect(PlateLargeDisk, PlateEventKind::NoteOn, 60, false);
    EXPECT_TRUE(e.turn);
    e = plateEventEffect(PlatePaper, PlateEventKind::NoteOff, 60, false);
    EXPECT_FALSE(e.turn);
    EXPECT_EQ(e.releaseKey, -1);
    e = plateEventEffect(PlateToyPianoLarge, PlateEventKind::Other, 60, false);
    EXPECT_EQ(e.pressKey, -1);
    EXPECT_EQ(e.releaseKey, -1);
}

}  // namespace
}  // namespace tunecase

namespace tunecase {
namespace {

// Every key of every plate lies inside the window's keyboard area, at the plate's own size
// and at any other width the keyboard might be given; disks and paper fit their buffer.
TEST(PlateLayout, EveryPlateKindFitsItsWindow) {
    for (int32_t plate = PlateNone; plate <= PlateToyPianoSmall; ++plate) {
        const PlateLayout layout = plateLayout(plate);
        if (!isToyPiano(plate)) {
            EXPECT_LE(layout.client.width, kPlateBufferSize.width) << plate;
            EXPECT_LE(layout.client.height, kPlateBufferSize.height) << plate;
            continue;
        }
        EXPECT_LE(layout.keyboard.width, layout.client.width) << plate;
        EXPECT_LE(layout.keyboard.height, layout.client.height) << plate;
        for (int width = layout.keyboard.width; width < 1200; width += width < 420 ? 1 : 97) {
            const auto keys = keyboardLayout(layout.keys.first, layout.keys.last, width, layout.keyboard.height);
            ASSERT_EQ(static_cast<int>(keys.size()), layout.keys.last - layout.keys.first + 1) << plate;
            int rightmost = 0;
            for (const KeyRect& key : keys) {
                ASSERT_GE(key.left, 0) << plate << " " << width << " " << key.note;
                ASSERT_LE(key.right, width) << plate << " " << width << " " << key.note;
                ASSERT_LT(key.left, key.right) << plate << " " << width << " " << key.note;
                rightmost = std::max(rightmost, key.right);
            }
            // And the keys reach the right edge: nothing left blank either.
            EXPECT_GE(rightmost, width - 1) << plate << " " << width;
        }
    }
}

}  // namespace
}  // namespace tunecase

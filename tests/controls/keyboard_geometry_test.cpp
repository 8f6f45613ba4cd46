#include <gtest/gtest.h>

#include <thread>

#include "controls/keyboard_geometry.h"

namespace tunecase {
namespace {

TEST(KeyboardGeometry, WhiteKeyUnitsCountHalfKeysForBlackEnds) {
    EXPECT_DOUBLE_EQ(whiteKeyUnits(48, 97), 29.5);
    EXPECT_DOUBLE_EQ(whiteKeyUnits(60, 85), 15.5);
    EXPECT_DOUBLE_EQ(whiteKeyUnits(61, 72), 7.5);   // black first key
    EXPECT_DOUBLE_EQ(whiteKeyUnits(61, 70), 6.0);   // black at both ends
    EXPECT_DOUBLE_EQ(whiteKeyUnits(60, 72), 8.0);
    for (int n : {1, 3, 6, 8, 10, 49, 97}) EXPECT_TRUE(isBlackKey(n)) << n;
    for (int n : {0, 2, 4, 5, 7, 9, 11, 48, 96}) EXPECT_FALSE(isBlackKey(n)) << n;
}

TEST(KeyboardGeometry, LargeToyPianoKeysTileTheWidth) {
    auto keys = keyboardLayout(48, 97, 400, 70);
    ASSERT_EQ(keys.size(), 50u);
    const double w = 400 / 29.5;
    EXPECT_EQ(keys[0].note, 48);
    EXPECT_FALSE(keys[0].black);
    EXPECT_EQ(keys[0].left, 0);
    EXPECT_EQ(keys[0].right, 13);
    EXPECT_EQ(keys[0].bottom, 70);
    // 49 is centred on the boundary after 48, over the upper half.
    EXPECT_TRUE(keys[1].black);
    EXPECT_EQ(keys[1].left, static_cast<int>(w - w / 2));
    EXPECT_EQ(keys[1].right, static_cast<int>(w + w / 2));
    EXPECT_EQ(keys[1].top, 0);
    EXPECT_EQ(keys[1].bottom, 35);
    // The last black key (97) sits on the right edge of the last white key (96) and ends at
    // the keyboard's edge, in the half unit kept for it.
    EXPECT_EQ(keys[48].note, 96);
    EXPECT_EQ(keys[48].left, static_cast<int>(28 * w));
    EXPECT_EQ(keys[48].right, static_cast<int>(29 * w));
    EXPECT_TRUE(keys[49].black);
    EXPECT_EQ(keys[49].left, static_cast<int>(28.5 * w));
    EXPECT_EQ(keys[49].right, 400);
    // White keys follow each other without gaps or overlaps.
    int previousRight = 0;
    int whites = 0;
    for (const KeyRect& k : keys) {
        if (k.black) continue;
        EXPECT_EQ(k.left, previousRight) << k.note;
        previousRight = k.right;
        ++whites;
    }
    EXPECT_EQ(whites, 29);
}

TEST(KeyboardGeometry, BlackFirstKeyIsPushedInByHalfAWhiteKey) {
    auto keys = keyboardLayout(61, 72, 150, 70);
    const double w = 150 / 7.5;
    ASSERT_EQ(keys.size(), 12u);
    EXPECT_TRUE(keys[0].black);
    EXPECT_EQ(keys[0].left, 0);
    EXPECT_EQ(keys[0].right, static_cast<int>(w));
    EXPECT_EQ(keys[1].note, 62);
    EXPECT_EQ(keys[1].left, static_cast<int>(w / 2));
    EXPECT_EQ(keys[11].right, 150);

    auto small = keyboardLayout(60, 85, 200, 70);
    ASSERT_EQ(small.size(), 26u);
    EXPECT_EQ(small.back().left, static_cast<int>(14.5 * (200 / 15.5)));
    EXPECT_EQ(small.back().right, 200);
    EXPECT_TRUE(keyboardLayout(70, 60, 200, 70).empty());
    EXPECT_TRUE(keyboardLayout(60, 70, 0, 70).empty());
}

TEST(HeldKeys, ReleaseRemovesOneOccurrenceAndTheListIsBounded) {
    HeldKeys held;
    held.press(60);
    held.press(60);
    held.press(64);
    held.release(60);
    EXPECT_TRUE(held.isHeld(60));
    EXPECT_EQ(held.snapshot(), (std::vector<int>{60, 64}));
    held.release(60);
    EXPECT_FALSE(held.isHeld(60));
    held.release(99);  // not held: nothing happens
    EXPECT_EQ(held.snapshot(), (std::vector<int>{64}));
    held.releaseAll();
    EXPECT_TRUE(held.snapshot().empty());

    for (int i = 0; i < 200; ++i) held.press(i);
    EXPECT_EQ(held.snapshot().size(), HeldKeys::kCapacity);
    EXPECT_FALSE(held.isHeld(150));
}

TEST(HeldKeys, PressAndReleaseFromTwoThreadsKeepTheListConsistent) {
    HeldKeys held;
    std::thread t([&] {
        for (int i = 0; i < 20000; ++i) {
            held.press(i % 100);
            held.release(i % 100);
        }
    });
    for (int i = 0; i < 20000; ++i) (void)held.snapshot();
    t.join();
    EXPECT_TRUE(held.snapshot().empty());
}

}  // namespace
}  // namespace tunecase

// Geometry and state of the toy-piano keyboard picture, without any drawing.
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

#include "controls/picture_controls.h"

namespace tunecase {

inline constexpr Rgb kKeyboardBackground{200, 200, 200};
inline constexpr Rgb kHeldWhiteKey{0, 255, 0};
inline constexpr Rgb kHeldBlackKey{0, 127, 0};

// Black keys are the notes whose pitch class is 1, 3, 6, 8 or 10.
bool isBlackKey(int note);

// One key's rectangle in the keyboard area. `right` and `bottom` are exclusive.
struct KeyRect {
    int note = 0;
    bool black = false;
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

// The width of the range in white keys: one per white key, plus a half for a black key
// at either end of the range.
double whiteKeyUnits(int firstNote, int lastNote);

// The keys firstNote..lastNote laid out in a width x height area, low to high. White
// keys take the full height; black keys the upper half, centred on the boundary between
// their neighbours (a black key at an end of the range is pushed in by half a white key
// first). Empty when the range or the area is empty.
std::vector<KeyRect> keyboardLayout(int firstNote, int lastNote, int width, int height);

// The notes held down on the keyboard. The player's timer thread presses and releases
// keys while the UI thread paints, hence the lock.
class HeldKeys {
public:
    static constexpr size_t kCapacity = 128;

    // Appends the note; ignored once the list is full.
    void press(int note);
    // Removes one occurrence of the note, if held.
    void release(int note);
    void releaseAll();
    bool isHeld(int note) const;
    std::vector<int> snapshot() const;

private:
    mutable std::mutex mutex_;
    std::vector<int> notes_;
};

}  // namespace tunecase

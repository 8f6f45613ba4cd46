// Everything the plate view computes, without drawing: window sizes per plate type, pin
// positions on the disk and the paper, the spindle, and the turning angle shared with
// the player's timer thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "base/records.h"
#include "controls/picture_controls.h"

namespace tunecase {

// ---- Sizes --------------------------------------------------------------------------------

// Plate radius in pixels: 100 for the large disk and the paper, 50 for the small disk,
// 0 for the others.
int plateRadius(int32_t plateType);

struct PixelSize {
    int width = 0;
    int height = 0;
    bool operator==(const PixelSize&) const = default;
};

// The back buffer every plate is drawn into before it is copied to the window.
inline constexpr PixelSize kPlateBufferSize{300, 300};

// The fixed outer size of a toy-piano window (caption included), and its keyboard area.
inline constexpr PixelSize kToyPianoLargeOuter{400, 100};
inline constexpr PixelSize kToyPianoSmallOuter{200, 100};
inline constexpr int kKeyboardAreaHeight = 70;

using KeyRange = NoteRange;

// The keys shown for a toy piano (48..97 large, 60..85 small); empty for other plates.
KeyRange keyboardRange(int32_t plateType);

// How the plate window is sized and whether it shows.
struct PlateLayout {
    int radius = 0;
    PixelSize client;     // (2R + 20) square for disks and paper; the keyboard area for pianos
    PixelSize outer;      // the pianos' fixed outer size; {0, 0} when the client size rules
    PixelSize keyboard;   // {0, 0} when there is no keyboard
    KeyRange keys;
    bool visible = false; // R > 0, or a toy piano
};

PlateLayout plateLayout(int32_t plateType);

// ---- Colours ------------------------------------------------------------------------------

inline constexpr Rgb kPlateFace{220, 220, 120};
inline constexpr Rgb kPinColour{100, 100, 50};
inline constexpr Rgb kSoundingPinColour{255, 100, 0};
inline constexpr Rgb kSpindleColour{200, 200, 0};
inline constexpr int kPlatePenWidth = 2;
inline constexpr int kPinSize = 2;          // ellipse around the pin's point
inline constexpr int kSoundingPinSize = 4;

// ---- Pins ---------------------------------------------------------------------------------

// A note-on of the loaded song at its absolute time (the sum of the deltas up to and
// including it). Only note-ons get pins.
struct PlateNote {
    int32_t time = 0;
    int32_t note = 0;
};

struct PinMark {
    int x = 0;
    int y = 0;
    bool sounding = false;
    bool operator==(const PinMark&) const = default;
};

// Radians per tick for a song of display length L: a whole turn per song. 0 when L is 0,
// so the angle stays finite for an empty song (which gets no pins).
double radiansPerTick(int32_t displayLength);

// The paper sheet: x = n * 2R / 128, y = t * (2R + 20) / L, both truncated; the pin at the
// current song time sounds unless that time is 0. No pins when L <= 0.
std::vector<PinMark> paperPins(const std::vector<PlateNote>& notes, int radius,
                               int32_t displayLength, int32_t songTime);

// The disk: pin at angle t * k - theta and radius n * R / 128 around m = R + 10; it
// sounds when its angle is exactly 0 while playing. No pins when L <= 0.
std::vector<PinMark> diskPins(const std::vector<PlateNote>& notes, int radius,
                              int32_t displayLength, double theta, bool playing);

struct PlateLine {
    int x1 = 0;
    int y1 = 0;
    int x2 = 0;
    int y2 = 0;
    bool operator==(const PlateLine&) const = default;
};

// The spindle cross: one diameter at radius R / 8 through angles pi - theta and -theta,
// the other at radius R / 10 through pi/2 - theta and 3pi/2 - theta.
std::vector<PlateLine> spindleLines(int radius, double theta);

// ---- Turning ------------------------------------------------------------------------------

// Ticks in 100 ms at the song's tempo, without the speed factor.
int64_t ticksPer100ms(int division, int tempoBpm);

// The plate state shared by the UI thread and the player's timer thread. Plain atomics:
// a reader may see an angle one event old, which only costs one misplaced frame.
struct PlateMotion {
    std::atomic<double> theta{0.0};
    std::atomic<double> previousAngle{0.0};
    std::atomic<double> k{0.0};
    std::atomic<int32_t> displayLength{0};
    std::atomic<int32_t> songTime{0};
    std::atomic<int32_t> isPlaying{0};

    // A new song: its length fixes k; the angle and the time start again from 0.
    void setDisplayLength(int32_t length);
    // A sounded note-on (the last of its chord) turns the plate so its pin is at the bottom.
    void noteSounded(int32_t time);
    // One 100 ms step: when no note moved the plate since the last step, turn it by the
    // ticks of 100 ms. Returns the new angle.
    double advance(int64_t ticks);
    // Playback stopped or a song was loaded: back to the start orientation.
    void resetAngle();
};

// What one sent event does to the plate.
enum class PlateEventKind { NoteOn, NoteOff, Other };

struct PlateEventEffect {
    int pressKey = -1;    // a note to press on the keyboard, or -1
    int releaseKey = -1;  // a note to release, or -1
    bool turn = false;    // set theta from the event's time and redraw
};

// A note-on presses a key on a toy piano; elsewhere it turns the plate unless the next
// event is a note-on at the same time (the chord turns the plate once, on its last note).
// A note-off releases the key on a toy piano.
PlateEventEffect plateEventEffect(int32_t plateType, PlateEventKind kind, int note,
                                  bool nextIsNoteOnSameTime);

}  // namespace tunecase

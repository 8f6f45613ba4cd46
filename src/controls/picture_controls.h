// The display-free rules of the picture controls: reported ids, button groups, the
// off-screen picture's error box, and the busy ring's pixels.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>
#include "base/translation.h"

namespace tunecase {

// A control outside a numbered group reports its own id; one inside reports
// group * 256 + id, so one handler can serve several groups.
int reportedControlId(int id, int group);

struct Rgb {
    int r = 0;
    int g = 0;
    int b = 0;
    bool operator==(const Rgb&) const = default;
};

// Label colours of the picture buttons.
inline constexpr Rgb kButtonTextEnabled{0, 100, 0};
inline constexpr Rgb kButtonTextDisabled{100, 100, 50};

// The label's box inside a button: one line, left-aligned, vertically centred.
inline constexpr int kLabelLeft = 2;
inline constexpr int kLabelTop = 2;
inline constexpr int kLabelRight = 210;
inline constexpr int kLabelBottom = 28;

// Face pictures of the buttons, by their historic resource numbers.
enum ButtonFace : int {
    FacePressed = 130,
    FacePlain = 131,
    FaceTransport = 137,
    FaceHide = 138,
};

// Limits of a multi-group button picture.
inline constexpr int kMaxButtonGroups = 16;
inline constexpr int kMaxButtonsPerGroup = 31;

// Wiring faults of the windows' pictures, said in plain words.
inline constexpr const char* kButtonPictureErrorText = N_("A button of this window could not be set up.");
inline constexpr const char* kMultiModalButtonErrorText = N_("A group of buttons of this window could not be set up.");
inline constexpr const char* kKeyboardPictureErrorText = N_("The keyboard picture was closed in the wrong order.");
inline constexpr const char* kKeyboardCallbackErrorText = N_("A click on the keyboard picture could not be handled.");

// Off-screen picture errors (OSPC). Code 0 re-arms the drawing error, which is shown
// only once until then; code 1 is the drawing error; other codes show the general text.
namespace ospc {
inline constexpr uint32_t ClearDrawingError = 0;
inline constexpr uint32_t DrawingError = 1;
}  // namespace ospc
void offScreenPictureError(uint32_t code);

// ---- Busy ring ----------------------------------------------------------------------------

struct BusyRingColours {
    Rgb background;
    Rgb ring;
    Rgb head;
    Rgb centre;
};

// The colours the player uses: a cream face, a brass ring, a bright gold head.
inline constexpr BusyRingColours kBusyRingColours{
    {244, 238, 222}, {150, 118, 60}, {255, 196, 70}, {176, 120, 40}};

struct RingPixel {
    int x = 0;
    int y = 0;
    Rgb colour;
};

// One frame of the busy ring for phase 0..99 in a width x height picture.
struct BusyRingFrame {
    std::vector<RingPixel> pixels;  // three per angle step, in drawing order
    bool centreDot = false;         // phase mod 30 in 16..29
    int centreX = 0;
    int centreY = 0;
    int centreRadius = 0;           // width / 4 - 2, at least 1
};

// The head angle in degrees for a phase: (180 - phase * 3.6) mod 360, in [0, 360).
double busyHeadAngle(int phase);

// Computes the frame. `jitter` draws the random 0..64 added to each channel; by default
// the program's random helper.
BusyRingFrame busyRingFrame(int width, int height, int phase, const BusyRingColours& colours,
                            const std::function<int()>& jitter = {});

}  // namespace tunecase

#include "controls/picture_controls.h"

#include <algorithm>
#include <atomic>
#include <cmath>

#include "base/reporter.h"
#include "base/utilities.h"
#include "base/translation.h"

namespace tunecase {

int reportedControlId(int id, int group) {
    return group == -1 ? id : group * 256 + id;
}

namespace {

const MessageTable kOffScreenTable{
    "OSPC",
    {{ospc::DrawingError, N_("Drawing error.")}},
    N_("An error occurred while drawing a picture.")};

// A failing picture would otherwise raise the same box on every frame.
std::atomic<bool> drawingErrorShown{false};

constexpr double kDegree = 3.14159265358979323846 / 180.0;

}  // namespace

void offScreenPictureError(uint32_t code) {
    if (code == ospc::ClearDrawingError) {
        drawingErrorShown = false;
        return;
    }
    if (code == ospc::DrawingError && drawingErrorShown.exchange(true)) return;
    reportCoded(kOffScreenTable, code);
}

double busyHeadAngle(int phase) {
    double h = std::fmod(180.0 - phase * 3.6, 360.0);
    if (h < 0) h += 360.0;
    return h;
}

BusyRingFrame busyRingFrame(int width, int height, int phase, const BusyRingColours& colours,
                            const std::function<int()>& jitter) {
    auto draw = [&jitter] { return jitter ? jitter() : randomBetween(0, 64); };
    BusyRingFrame frame;
    const double cx = width / 2;
    const double cy = height / 2;
    const double head = busyHeadAngle(phase);
    static constexpr double kRadii[3] = {14.5, 15.0, 15.5};
    frame.pixels.reserve(120 * 3);
    for (int a = 0; a < 360; a += 3) {
        // Angle from the head, folded into -179..180.
        double d = a - head;
        while (d > 180.0) d -= 360.0;
        while (d <= -180.0) d += 360.0;
        const bool inHead = d >= 0.0 && d <= 60.0;
        for (double r : kRadii) {
            RingPixel p;
            p.x = static_cast<int>(cx + r * std::sin(a * kDegree));
            p.y = static_cast<int>(cy + r * std::cos(a * kDegree));
            double c[3];
            if (inHead) {
                const double scale = (60.0 - d) / 60.0;
                c[0] = (colours.head.r + draw()) * scale;
                c[1] = (colours.head.g + draw()) * scale;
                c[2] = (colours.head.b + draw()) * scale;
            } else {
                c[0] = colours.ring.r + draw();
                c[1] = colours.ring.g + draw();
                c[2] = colours.ring.b + draw();
            }
            for (double& v : c) v = std::min(255.0, v * 0.8);
            p.colour = {static_cast<int>(c[0]), static_cast<int>(c[1]), static_cast<int>(c[2])};
            frame.pixels.push_back(p);
        }
    }
    const int cycle = ((phase % 30) + 30) % 30;
    frame.centreDot = cycle >= 16 && cycle <= 29;
    frame.centreX = width / 2;
    frame.centreY = height / 2;
    frame.centreRadius = std::max(1, width / 4 - 2);
    return frame;
}

}  // namespace tunecase

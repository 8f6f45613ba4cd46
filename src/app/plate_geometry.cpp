#include "app/plate_geometry.h"

#include <cmath>

namespace tunecase {

namespace {

// The turning constants, kept to the digits the plate has always used so that angles
// computed here and by the player agree to the last bit.
constexpr double kTurn = 6.283185307;
constexpr double kPi = 3.1415926535;
constexpr double kHalfPi = 1.57079632675;
constexpr double kThreeHalfPi = 4.71238898025;

PixelSize square(int side) { return {side, side}; }

// A point at angle alpha and radius rho around (m, m); angle 0 points straight down.
void polar(int m, double alpha, int rho, int& x, int& y) {
    x = m + static_cast<int>(rho * std::sin(alpha));
    y = m + static_cast<int>(rho * std::cos(alpha));
}

}  // namespace

int plateRadius(int32_t plateType) {
    switch (plateType) {
        case PlateLargeDisk:
        case PlatePaper: return 100;
        case PlateSmallDisk: return 50;
        default: return 0;
    }
}

KeyRange keyboardRange(int32_t plateType) {
    return isToyPiano(plateType) ? mechanismRange(plateType) : KeyRange{};
}

PlateLayout plateLayout(int32_t plateType) {
    PlateLayout layout;
    layout.radius = plateRadius(plateType);
    if (isToyPiano(plateType)) {
        layout.outer = plateType == PlateToyPianoLarge ? kToyPianoLargeOuter : kToyPianoSmallOuter;
        layout.keyboard = {layout.outer.width, kKeyboardAreaHeight};
        layout.client = layout.keyboard;
        layout.keys = keyboardRange(plateType);
        layout.visible = true;
        return layout;
    }
    layout.client = square(2 * layout.radius + 20);
    layout.visible = layout.radius > 0;
    return layout;
}

double radiansPerTick(int32_t displayLength) {
    return displayLength > 0 ? kTurn / displayLength : 0.0;
}

std::vector<PinMark> paperPins(const std::vector<PlateNote>& notes, int radius,
                               int32_t displayLength, int32_t songTime) {
    std::vector<PinMark> pins;
    if (displayLength <= 0) return pins;
    pins.reserve(notes.size());
    const int64_t width = 2 * radius;
    const int64_t height = 2 * radius + 20;
    for (const PlateNote& n : notes) {
        PinMark p;
        p.x = static_cast<int>(n.note * width / 128);
        p.y = static_cast<int>(static_cast<int64_t>(n.time) * height / displayLength);
        p.sounding = n.time == songTime && n.time != 0;
        pins.push_back(p);
    }
    return pins;
}

std::vector<PinMark> diskPins(const std::vector<PlateNote>& notes, int radius,
                              int32_t displayLength, double theta, bool playing) {
    std::vector<PinMark> pins;
    if (displayLength <= 0) return pins;
    pins.reserve(notes.size());
    const double k = radiansPerTick(displayLength);
    const int m = radius + 10;
    for (const PlateNote& n : notes) {
        const double phi = n.time * k - theta;
        const int rho = n.note * radius / 128;
        PinMark p;
        p.x = m + static_cast<int>(std::sin(phi) * rho);
        p.y = m + static_cast<int>(std::cos(phi) * rho);
        p.sounding = phi == 0.0 && playing;
        pins.push_back(p);
    }
    return pins;
}

std::vector<PlateLine> spindleLines(int radius, double theta) {
    const int m = radius + 10;
    PlateLine first;
    PlateLine second;
    polar(m, kPi - theta, radius / 8, first.x1, first.y1);
    polar(m, -theta, radius / 8, first.x2, first.y2);
    polar(m, kHalfPi - theta, radius / 10, second.x1, second.y1);
    polar(m, kThreeHalfPi - theta, radius / 10, second.x2, second.y2);
    return {first, second};
}

int64_t ticksPer100ms(int division, int tempoBpm) {
    return static_cast<int64_t>(division) * tempoBpm * 100 / 60000;
}

void PlateMotion::setDisplayLength(int32_t length) {
    displayLength = length;
    k = radiansPerTick(length);
    resetAngle();
}

void PlateMotion::noteSounded(int32_t time) {
    theta = time * k.load();
}

double PlateMotion::advance(int64_t ticks) {
    double t = theta.load();
    if (t == previousAngle.load()) {
        t += static_cast<double>(ticks) * k.load();
        theta = t;
    }
    previousAngle = t;
    return t;
}

void PlateMotion::resetAngle() {
    theta = 0.0;
    previousAngle = 0.0;
}

PlateEventEffect plateEventEffect(int32_t plateType, PlateEventKind kind, int note,
                                  bool nextIsNoteOnSameTime) {
    PlateEventEffect effect;
    const bool piano = isToyPiano(plateType);
    if (kind == PlateEventKind::NoteOn) {
        if (piano) effect.pressKey = note;
        else effect.turn = !nextIsNoteOnSameTime;
    } else if (kind == PlateEventKind::NoteOff && piano) {
        effect.releaseKey = note;
    }
    return effect;
}

}  // namespace tunecase

#include "controls/keyboard_geometry.h"

#include <algorithm>

namespace tunecase {

bool isBlackKey(int note) {
    switch (((note % 12) + 12) % 12) {
        case 1: case 3: case 6: case 8: case 10: return true;
        default: return false;
    }
}

double whiteKeyUnits(int firstNote, int lastNote) {
    if (lastNote < firstNote) return 0.0;
    double units = 0.0;
    for (int n = firstNote; n <= lastNote; ++n)
        if (!isBlackKey(n)) units += 1.0;
    if (isBlackKey(firstNote)) units += 0.5;
    if (lastNote != firstNote && isBlackKey(lastNote)) units += 0.5;
    return units;
}

std::vector<KeyRect> keyboardLayout(int firstNote, int lastNote, int width, int height) {
    std::vector<KeyRect> keys;
    const double units = whiteKeyUnits(firstNote, lastNote);
    if (units <= 0.0 || width <= 0 || height <= 0) return keys;
    const double w = width / units;
    double s = 0.0;
    keys.reserve(static_cast<size_t>(lastNote - firstNote + 1));
    for (int n = firstNote; n <= lastNote; ++n) {
        KeyRect key;
        key.note = n;
        key.black = isBlackKey(n);
        if (!key.black) {
            s += w;
            key.left = static_cast<int>(s - w);
            key.right = static_cast<int>(s);
            key.bottom = height;
        } else {
            // Pushed in at either end: the first starts at the left edge, the last ends at the
            // right one (its half unit lies after the last white key).
            if (n == firstNote) s += w / 2;
            key.left = static_cast<int>(s - w / 2);
            key.right = std::min(width, static_cast<int>(s + w / 2));
            key.bottom = height / 2;
            if (n == lastNote && n != firstNote) s += w / 2;
        }
        // Rounding must not leave the last column blank.
        if (n == lastNote) key.right = width;
        keys.push_back(key);
    }
    return keys;
}

void HeldKeys::press(int note) {
    std::lock_guard lock(mutex_);
    if (notes_.size() < kCapacity) notes_.push_back(note);
}

void HeldKeys::release(int note) {
    std::lock_guard lock(mutex_);
    auto it = std::find(notes_.begin(), notes_.end(), note);
    if (it != notes_.end()) notes_.erase(it);
}

void HeldKeys::releaseAll() {
    std::lock_guard lock(mutex_);
    notes_.clear();
}

bool HeldKeys::isHeld(int note) const {
    std::lock_guard lock(mutex_);
    return std::find(notes_.begin(), notes_.end(), note) != notes_.end();
}

std::vector<int> HeldKeys::snapshot() const {
    std::lock_guard lock(mutex_);
    return notes_;
}

}  // namespace tunecase

#include "compose/part_effects.h"

#include <algorithm>
#include <memory>

#include "compose/compose_errors.h"
#include "compose/melody_settings.h"
#include "midi/midi_f1_track_data.h"

namespace tunecase {

namespace {

constexpr int kSemitone = 8191 / 12;  // bend units per semitone at the parts' sensitivity of 12
constexpr int kQuarterTone = kSemitone / 4;
constexpr int kLongNote = 192;
constexpr int kOrnamentNote = 96;
constexpr int kCopyHighest = 115;

}  // namespace

NoteEffect::NoteEffect(PartWriter& w, int effect, int64_t songStart, int measure)
    : w_(w), effect_(effect), songStart_(songStart), measure_(measure > 0 ? measure : 384) {}

void NoteEffect::Note(int64_t at, int pitch, int velocity, int length, int gate, bool connected, int copyVelocity) {
    const auto plain = [&] {
        w_.Note(at, pitch, velocity, gate);
        if (copyVelocity > 0 && pitch <= kCopyHighest) w_.Note(at, pitch + 12, copyVelocity, gate);
    };
    const bool longNote = length >= kLongNote;
    switch (effect_) {
    case 1:
        if (connected) gate = length;
        plain();
        break;
    case 2:
        if (!started_) {
            w_.Control(at, 5, 20);
            w_.Control(at, 65, 127);
        }
        if (connected) gate = length;
        plain();
        break;
    case 3:
        plain();
        if (longNote) {
            int sign = 1;
            for (int64_t t = at + length / 2; t < at + length - 24; t += 24, sign = -sign)
                w_.Bend(t, kBendCentre + sign * kQuarterTone);
            w_.Bend(at + length - 12, kBendCentre);
        }
        break;
    case 4:
        if (length >= kOrnamentNote && pitch > 125) ReportComposeError(zemc::Abbellimenti);
        if (length >= kOrnamentNote && pitch <= 125) {
            w_.Bend(at, kBendCentre + 2 * kSemitone);
            plain();
            w_.Bend(at + 12, kBendCentre);
        } else {
            plain();
        }
        break;
    case 6:
        if (longNote) {
            w_.Control(at, 11, 80);
            plain();
            w_.Control(at + length / 3, 11, 104);
            w_.Control(at + 2 * length / 3, 11, 127);
        } else {
            plain();
        }
        break;
    case 7:
        w_.Control(at, 1, 0);
        plain();
        if (longNote) w_.Control(at + length / 2, 1, 64);
        break;
    case 11:
        plain();
        if (!connected && length >= 144) {
            for (int k = 1; k <= 4; ++k) w_.Bend(at + length - 60 + 12 * k, kBendCentre - k * kSemitone / 4);
            w_.Bend(at + length - 1, kBendCentre);
        }
        break;
    case 14:
        if (length >= kOrnamentNote) {
            w_.Bend(at, kBendCentre - kSemitone);
            plain();
            w_.Bend(at + 8, kBendCentre - kSemitone * 2 / 3);
            w_.Bend(at + 16, kBendCentre - kSemitone / 3);
            w_.Bend(at + 24, kBendCentre);
        } else {
            plain();
        }
        break;
    case 15:
        gate = std::min(gate, std::max(length / 2, 12));
        plain();
        break;
    case 16:
        if ((at - songStart_) % measure_ == 0) velocity = std::min(velocity + 16, 127);
        plain();
        break;
    case 17:
        gate = std::max(length - 1, 1);
        plain();
        break;
    case 19:
        plain();
        if (longNote) {
            bool up = true;
            for (int64_t t = at + 24; t < at + length / 2; t += 24, up = !up)
                w_.Bend(t, up ? kBendCentre + 2 * kSemitone : kBendCentre);
            w_.Bend(at + length / 2, kBendCentre);
        }
        break;
    default: plain(); break;
    }
    started_ = true;
    lastEnd_ = at + length;
}

void NoteEffect::Finish(int64_t end) {
    if (effect_ == 2 && started_) w_.Control(std::max(end, lastEnd_), 65, 0);
}

void ApplyPartEffect(MidiTrackData& track, int channel, int effect) {
    auto* part = dynamic_cast<MidiF1TrackData*>(&track);
    if (!part || part->state() != MidiTrackData::NoteEvents) return;
    const auto atTheEnd = [&](int controller, int value) {
        auto e = std::make_unique<MidiEvent>();
        e->makeControlChange(channel, controller, value);
        part->insertAtTime(-1, std::move(e), 1);
    };
    switch (effect) {
    case 5: part->addGlide(48, 4, 2); break;
    case 10: part->addDelayedModulation(192); break;
    case 13: part->addExpressionSwell(96, 4); break;
    case 17: part->setLegato(kLongestMelodyNote); break;
    case 18: atTheEnd(11, 127); break;
    case 19: part->addGlide(96, 8, 2); break;
    case 20: atTheEnd(121, 0); break;
    case 21: part->addExpressionSwell(192, 8); break;
    case 22: part->addDelayedModulation(96); break;
    default: break;
    }
}

}  // namespace tunecase

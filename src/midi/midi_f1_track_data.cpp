#include "midi/midi_f1_track_data.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <unordered_set>

#include "midi/midi_file_messages.h"
#include "midi/midi_messages.h"

namespace tunecase {

namespace {

constexpr int kBendCentre = 8192;

bool isNoteStart(const MidiEvent& e) {
    return e.status == ev::Note || (e.status == ev::NoteOn && e.velocity > 0);
}

bool isNoteEnd(const MidiEvent& e) {
    return e.status == ev::NoteOff || (e.status == ev::NoteOn && e.velocity == 0);
}

bool isEndOfTrack(const MidiEvent& e) { return e.status == ev::Meta && e.type == meta::EndOfTrack; }

bool isController(const MidiEvent& e, uint32_t number) { return e.status == ev::ControlChange && e.type == number; }

std::unique_ptr<MidiEvent> controlChange(int channel, int controller, int value, int delta) {
    auto e = std::make_unique<MidiEvent>(delta);
    e->makeControlChange(channel, controller, value);
    e->channel = channel;
    return e;
}

std::unique_ptr<MidiEvent> pitchBend(int channel, int value, int delta) {
    auto e = std::make_unique<MidiEvent>(delta);
    e->status = ev::PitchBend;
    e->channel = channel;
    e->setPitchBendValue(value);
    return e;
}

}  // namespace

MidiF1TrackData::MidiF1TrackData(int capacity, int state) : MidiTrackData(std::max(capacity, 0) / 2, state) {
    f1TrackWarning(0);
}

MidiF1TrackData::MidiF1TrackData(const uint8_t* data, int totalLength, int position, int yieldDelayMs, int capacity)
    : MidiTrackData(data, totalLength, position, yieldDelayMs, std::max(capacity, 0) / 2) {
    f1TrackWarning(0);
}

MidiF1TrackData::MidiF1TrackData(const MidiTrackData& source, int capacity)
    : MidiTrackData(source, std::max(capacity, 0) / 2) {
    f1TrackWarning(0);
}

bool MidiF1TrackData::requireNotes() const {
    if (state_ == NoteEvents) return true;
    f1TrackError(mdtk::InternalError);
    return false;
}

int64_t MidiF1TrackData::noteLength(size_t index) const {
    const MidiEvent& note = *events_[index];
    if (note.status == ev::Note) return note.duration;
    int64_t t = 0;
    for (size_t j = index + 1; j < events_.size(); ++j) {
        const MidiEvent& e = *events_[j];
        t += e.delta;
        if (isNoteEnd(e) && e.channel == note.channel && e.data1 == note.data1) return t;
    }
    return -1;
}

int MidiF1TrackData::bendSensitivity() const {
    int result = kDefaultBendSensitivity;
    int found = 0;
    for (size_t i = 0; i + 2 < events_.size(); ++i) {
        const MidiEvent& a = *events_[i];
        const MidiEvent& b = *events_[i + 1];
        const MidiEvent& c = *events_[i + 2];
        if (isController(a, 101) && a.value == 0 && isController(b, 100) && b.value == 0 && isController(c, 6)) {
            result = c.value;
            ++found;
        }
    }
    if (found > 1) f1TrackWarning(m1tk::TwoBendSensitivities);
    return result;
}

int MidiF1TrackData::insertBendSensitivity(int semitones) {
    if (!requireNotes()) return 0;
    const int channel = firstChannel();
    // A CC without a channel could not be written; a track without channel events has no
    // notes to bend anyway.
    if (channel < 0 || channel > 15) return 0;
    if (insertAtTimeAfter(0, controlChange(channel, 101, 0, 0)) < 0) return 0;
    if (insertAtTimeAfter(0, controlChange(channel, 100, 0, 0)) < 0) return 0;
    if (insertAtTimeAfter(0, controlChange(channel, 6, semitones, 0)) < 0) return 0;
    return 1;
}

int MidiF1TrackData::removeBendSensitivity() {
    int msb[16], lsb[16];
    std::fill(std::begin(msb), std::end(msb), -1);
    std::fill(std::begin(lsb), std::end(lsb), -1);
    int marked = 0;
    for (auto& e : events_) {
        if (e->status != ev::ControlChange || e->channel < 0 || e->channel > 15) continue;
        const int ch = e->channel;
        switch (e->type) {
            case 101: msb[ch] = e->value; break;
            case 100: lsb[ch] = e->value; break;
            case 98:
            case 99: msb[ch] = lsb[ch] = -1; break;  // an NRPN takes the data entries
            case 6:
                if (msb[ch] == 0 && lsb[ch] == 0) {
                    e->status = ev::Deleted;
                    ++marked;
                }
                break;
            default: break;
        }
    }
    if (marked) compact();
    return marked;
}

int MidiF1TrackData::thinPitchBends() {
    if (state_ == NoteEvents) {
        splitNotes();
        const int removed = thinPitchBends();
        joinNotes();
        return removed;
    }
    if (state_ != MidiEvents) {
        f1TrackError(mdtk::InternalError);
        return 0;
    }
    bool sounding[128] = {};
    int soundingCount = 0;
    bool noteSince = false;  // a note started since the last remembered bend
    MidiEvent* beforeLast = nullptr;
    MidiEvent* last = nullptr;
    int marked = 0;
    for (auto& ptr : events_) {
        MidiEvent& e = *ptr;
        const bool keyOk = e.data1 >= 0 && e.data1 < 128;
        if (isNoteStart(e)) {
            if (keyOk && !sounding[e.data1]) {
                sounding[e.data1] = true;
                ++soundingCount;
            }
            noteSince = true;
        } else if (isNoteEnd(e)) {
            if (keyOk && sounding[e.data1]) {
                sounding[e.data1] = false;
                --soundingCount;
            }
        } else if (e.status == ev::PitchBend) {
            if (noteSince || soundingCount > 0 || !beforeLast) {
                noteSince = false;
                beforeLast = last;
                last = &e;
                continue;
            }
            const int a = beforeLast->pitchBendValue();
            const int b = last->pitchBendValue();
            const int c = e.pitchBendValue();
            if ((a <= b && b <= c) || (a >= b && b >= c)) {
                last->status = ev::Deleted;  // on the way from A to C anyway
                ++marked;
                beforeLast = last = nullptr;
            } else {
                beforeLast = last;
                last = &e;
            }
        }
    }
    bool havePrevious = false;
    int previous = 0;
    for (auto& e : events_) {
        if (e->status != ev::PitchBend) continue;
        const int v = e->pitchBendValue();
        if (havePrevious && v == previous) {
            e->status = ev::Deleted;
            ++marked;
        }
        havePrevious = true;
        previous = v;
    }
    if (marked) compact();
    return marked;
}

void MidiF1TrackData::bendsToNotes(int range) {
    if (!requireNotes()) return;
    if (range < 1 || 8191 / range < 1) {
        f1TrackWarning(m1tk::BendRangeTooLarge);
        return;
    }
    const int units = 8191 / range;
    auto stepOf = [units](int bend) { return (bend - kBendCentre) / units; };
    auto bentKey = [](int key, int step) {
        int k = key + step;
        if (k > 127 || k < 0) {
            f1TrackWarning(m1tk::NoteToBend);
            k = std::clamp(k, 0, 127);
        }
        return k;
    };

    // Only bends that reach another semitone matter; modulation cannot be played either.
    int previousStep = 0;
    removeWhere([&](const MidiEvent& e) {
        if (e.status == ev::PitchBend) {
            const int s = stepOf(e.pitchBendValue());
            const bool same = s == previousStep;
            previousStep = s;
            return same;
        }
        return isController(e, 1);
    });

    std::unordered_set<const MidiEvent*> segments;
    int current = kBendCentre;
    for (size_t i = 0; i < events_.size(); ++i) {
        MidiEvent& note = *events_[i];
        if (note.status == ev::PitchBend) {
            current = note.pitchBendValue();
            continue;
        }
        if (note.status != ev::Note || segments.count(&note)) continue;
        const int unbentKey = note.data1;
        const int unbentVelocity = note.velocity;
        const int key = bentKey(unbentKey, stepOf(current));
        if (key != unbentKey) note.velocity = decayVelocity(unbentVelocity, std::abs(key - unbentKey));
        note.data1 = key;

        const int64_t end = note.duration;
        MidiEvent* segment = &note;
        int64_t segmentStart = 0;
        int64_t t = 0;
        for (size_t j = i + 1; j < events_.size(); ++j) {
            t += events_[j]->delta;
            if (t >= end) break;
            if (events_[j]->status != ev::PitchBend) continue;
            const int step = stepOf(events_[j]->pitchBendValue());
            segment->duration = clampTicks(t - segmentStart);
            if (segment->duration < 1) f1TrackError(mdtk::SegmentTooShort);
            auto next = std::make_unique<MidiEvent>(0);
            next->status = ev::Note;
            next->channel = note.channel;
            next->data1 = bentKey(unbentKey, step);
            next->velocity = decayVelocity(unbentVelocity, std::abs(step));
            next->duration = clampTicks(end - t);
            next->value = 0;
            MidiEvent* raw = next.get();
            if (insertEvent(static_cast<int>(j), 1, std::move(next)) < 0) break;
            segments.insert(raw);
            segment = raw;
            segmentStart = t;
            ++j;  // past the new segment (delta 0, so t stays)
        }
    }
    removeWhere([](const MidiEvent& e) {
        return (e.status == ev::Note && e.duration == 0) || e.status == ev::PitchBend;
    });
}

void MidiF1TrackData::setLegato(int longest) {
    if (!requireNotes()) return;
    const auto times = eventTimes();
    const int64_t endTime = times.empty() ? 0 : times.back();
    for (size_t i = 0; i < events_.size(); ++i) {
        MidiEvent& note = *events_[i];
        if (note.status != ev::Note) continue;
        int64_t gap = endTime - times[i];
        for (size_t j = i + 1; j < events_.size(); ++j) {
            const MidiEvent& e = *events_[j];
            // Notes of the same chord do not end each other.
            if (isEndOfTrack(e) || (e.status == ev::Note && times[j] > times[i])) {
                gap = times[j] - times[i];
                break;
            }
        }
        note.duration = clampTicks(std::min<int64_t>(longest, gap));
    }
}

void MidiF1TrackData::addExpressionSwell(int length, int steps) {
    if (steps <= 0 || length <= 0) {
        f1TrackError(0x0D000022);
        return;
    }
    const int spacing = length / steps;
    if (length % steps) f1TrackError(0x0D000022);
    for (size_t i = 0; i < events_.size(); ++i) {
        const MidiEvent& note = *events_[i];
        if (!isNoteStart(note)) continue;
        if (noteLength(i) <= length) continue;
        if (i + 1 >= events_.size() || events_[i + 1]->delta <= length) continue;
        if (!hasRoom(static_cast<size_t>(steps))) {
            trackError(mdtk::LargeData);
            return;
        }
        const int channel = note.channel;
        for (int k = 0; k < steps; ++k) {
            const int value = std::clamp(135 - 8 * steps + 8 * k, 0, 127);
            insertEvent(static_cast<int>(i) + k, 1, controlChange(channel, 11, value, k == 0 ? 0 : spacing));
        }
        i += static_cast<size_t>(steps);
        events_[i + 1]->delta -= spacing * (steps - 1);
    }
}

void MidiF1TrackData::addDelayedModulation(int delay) {
    if (delay < 0) {
        f1TrackError(mdtk::InvalidParameter);
        return;
    }
    for (size_t i = 0; i < events_.size(); ++i) {
        MidiEvent& note = *events_[i];
        if (!isNoteStart(note)) continue;
        auto reset = controlChange(note.channel, 1, 0, note.delta);
        note.delta = 0;
        if (insertEvent(static_cast<int>(i), 2, std::move(reset)) < 0) return;
        ++i;
    }
    for (size_t i = 0; i < events_.size(); ++i) {
        const MidiEvent& note = *events_[i];
        if (!isNoteStart(note)) continue;
        if (noteLength(i) <= delay) continue;
        if (i + 1 >= events_.size() || events_[i + 1]->delta <= delay) continue;
        if (insertEvent(static_cast<int>(i), 1, controlChange(note.channel, 1, 127, delay)) < 0) return;
        ++i;
        events_[i + 1]->delta -= delay;
    }
}

void MidiF1TrackData::addGlide(int length, int steps, int range) {
    if (!requireNotes()) return;
    if (steps <= 0 || length <= 0 || range <= 0 || length % steps) {
        f1TrackError(0x0D000023);
        return;
    }
    const int spacing = length / steps;
    for (size_t i = 0; i < events_.size(); ++i) {
        MidiEvent& note = *events_[i];
        if (note.status != ev::Note) continue;
        auto centre = pitchBend(note.channel, kBendCentre, note.delta);
        note.delta = 0;
        if (insertEvent(static_cast<int>(i), 2, std::move(centre)) < 0) return;
        ++i;
    }
    for (size_t i = 0; i < events_.size(); ++i) {
        const MidiEvent& note = *events_[i];
        if (note.status != ev::Note || note.duration <= length) continue;
        if (i + 1 >= events_.size()) continue;
        const int64_t gap = events_[i + 1]->delta;
        if (gap <= length) continue;
        int target = note.data1;
        for (size_t j = i + 1; j < events_.size(); ++j) {
            if (events_[j]->status == ev::Note) {
                target = events_[j]->data1;
                break;
            }
            if (isEndOfTrack(*events_[j])) {
                target = note.data1 - range;
                break;
            }
        }
        if (target == note.data1) continue;
        if (!hasRoom(static_cast<size_t>(steps))) {
            trackError(mdtk::LargeData);
            return;
        }
        const int difference = std::clamp(target - note.data1, -range, range);
        const int unit = (8191 / range) * difference / steps;
        const int64_t firstDelta = gap - length;
        if (firstDelta < 0) {
            f1TrackError(mdtk::NegativeDelta);
            continue;
        }
        const int channel = note.channel;
        for (int k = 0; k < steps; ++k)
            insertEvent(static_cast<int>(i) + k, 1,
                        pitchBend(channel, kBendCentre + k * unit, k == 0 ? clampTicks(firstDelta) : spacing));
        i += static_cast<size_t>(steps);
        events_[i + 1]->delta -= clampTicks(firstDelta + int64_t{spacing} * (steps - 1));
    }
    const int channel = firstChannel();
    if (events_.empty() || channel < 0 || channel > 15) return;
    MidiEvent& lastEvent = *events_.back();
    auto centre = pitchBend(channel, kBendCentre, lastEvent.delta);
    lastEvent.delta = 0;
    insertEvent(eventCount() - 1, 2, std::move(centre));
}

int MidiF1TrackData::decayVelocity(int velocity, int semitones) {
    int v = velocity;
    for (int i = 0; i < std::abs(semitones); ++i) v = v * 9 / 10;
    return v * 2 < velocity ? velocity : v;
}

int MidiF1TrackData::gmSystemOnToFront() {
    return moveToFrontOfGroups([](const MidiEvent& e) {
        return e.status == ev::SysEx && e.length == 7 && e.getData() && e.bufferSize() >= 7 &&
               std::memcmp(e.getData(), kGmSystemOnStored, 7) == 0;
    });
}

}  // namespace tunecase

// Removals and bulk edits of a track. Each one works in a single pass (or a sort) and
// closes the list up once with compact(), so a full track never pays one shift per
// removed event.
#include <algorithm>
#include <map>
#include <tuple>

#include "midi/midi_messages.h"
#include "midi/midi_track_data.h"
#include "midi/track_internal.h"

namespace tunecase {

using detail::isEndOfTrack;

namespace {

int foldIntoMidiRange(int64_t key) {
    if (key > 127) key -= ((key - 127 + 11) / 12) * 12;
    if (key < 0) key += ((-key + 11) / 12) * 12;
    return static_cast<int>(key);
}

int pitchClass(int key) { return ((key % 12) + 12) % 12; }

bool channelMatches(const MidiEvent& e, int channel) { return channel == -1 || e.channel == channel; }

// Calls fn(start, end) for each group that begins at an event with a non-zero delta:
// that event and the zero-delta events right behind it. Events before the first
// non-zero delta belong to no group.
template <typename Fn>
void forEachTimedGroup(const std::vector<std::unique_ptr<MidiEvent>>& events, Fn fn) {
    const size_t n = events.size();
    size_t i = 0;
    while (i < n && events[i]->delta == 0) ++i;
    while (i < n) {
        size_t end = i + 1;
        while (end < n && events[end]->delta == 0) ++end;
        fn(i, end);
        i = end;
    }
}

// Moves the note at `index` by target - position ticks, as shiftNoteStart describes.
// `lowest` receives the lowest index whose delta changed. Returns the ticks moved
// (negative when earlier).
int64_t shiftNote(std::vector<std::unique_ptr<MidiEvent>>& events, size_t index, int64_t position,
                  int64_t target, size_t& lowest) {
    lowest = index;
    const size_t n = events.size();
    int64_t shift = target - position;
    if (shift > 0) {
        events[index]->delta = clampTicks(int64_t{events[index]->delta} + shift);
        int64_t rest = shift;
        for (size_t j = index + 1; j < n && rest > 0; ++j) {
            const int64_t take = std::min<int64_t>(std::max(events[j]->delta, 0), rest);
            events[j]->delta = clampTicks(events[j]->delta - take);
            rest -= take;
        }
        return shift;
    }
    if (shift < 0) {
        int64_t rest = -shift;
        size_t j = index + 1;
        while (j-- > 0 && rest > 0) {
            const int64_t take = std::min<int64_t>(std::max(events[j]->delta, 0), rest);
            events[j]->delta = clampTicks(events[j]->delta - take);
            rest -= take;
            if (take > 0) lowest = j;
        }
        const int64_t taken = -shift - rest;
        if (index + 1 < n) events[index + 1]->delta = clampTicks(events[index + 1]->delta + taken);
        return -taken;
    }
    return 0;
}

}  // namespace

// ---- Removals ----------------------------------------------------------------------------

int MidiTrackData::removeControlChanges() {
    return removeWhere([](const MidiEvent& e) { return e.status == ev::ControlChange; });
}

int MidiTrackData::removeSysEx() {
    return removeWhere([](const MidiEvent& e) { return e.status == ev::SysEx || e.status == ev::EscapedSysEx; });
}

int MidiTrackData::removeFirstController(int number) {
    for (size_t i = 0; i < events_.size(); ++i)
        if (events_[i]->status == ev::ControlChange && events_[i]->type == static_cast<uint32_t>(number))
            return removeEvent(static_cast<int>(i));
    return 0;
}

int MidiTrackData::removeProgramChanges(int channel) {
    return removeWhere([channel](const MidiEvent& e) {
        return e.status == ev::ProgramChange && channelMatches(e, channel);
    });
}

int MidiTrackData::removePitchBends() {
    return removeWhere([](const MidiEvent& e) {
        return e.status == ev::PitchBend && e.channel >= 0 && e.channel < 16;
    });
}

int MidiTrackData::removeFirstSysExOfType(uint32_t type) {
    for (size_t i = 0; i < events_.size(); ++i)
        if (events_[i]->status == ev::SysEx && events_[i]->type == type) return removeEvent(static_cast<int>(i));
    return 0;
}

int MidiTrackData::removeChannel(int channel) {
    return removeWhere([channel](const MidiEvent& e) { return e.channel == channel; });
}

int MidiTrackData::removeMeta(uint32_t type, bool all) {
    if (all) return removeWhere([type](const MidiEvent& e) { return e.status == ev::Meta && e.type == type; });
    for (size_t i = 0; i < events_.size(); ++i)
        if (events_[i]->status == ev::Meta && events_[i]->type == type) return removeEvent(static_cast<int>(i));
    return 0;
}

int MidiTrackData::removeTrackNames() { return removeMeta(meta::TrackName, true); }

int MidiTrackData::removeMetaExceptTempoAndEnd() {
    return removeWhere([](const MidiEvent& e) {
        return e.status == ev::Meta && e.type != meta::Tempo && e.type != meta::EndOfTrack;
    });
}

int MidiTrackData::keepNotesOnly() {
    if (!requireState(NoteEvents)) return 0;
    return removeWhere([](const MidiEvent& e) { return e.status != ev::Note; });
}

// ---- Note edits --------------------------------------------------------------------------

int MidiTrackData::addToVelocities(int amount) {
    if (!requireState(NoteEvents)) return 0;
    int changed = 0;
    for (auto& e : events_) {
        if (e->status != ev::Note) continue;
        e->velocity = static_cast<int32_t>(std::clamp<int64_t>(int64_t{e->velocity} + amount, 0, 127));
        ++changed;
    }
    return changed;
}

int MidiTrackData::setDurationOfChannel(int channel, int ticks) {
    if (!requireState(NoteEvents)) return 0;
    int changed = 0;
    for (auto& e : events_)
        if (e->status == ev::Note && e->channel == channel && e->velocity != 0 && e->duration != 0) {
            e->duration = ticks;
            ++changed;
        }
    return changed;
}

int MidiTrackData::transposeNotes(int channel, int semitones) {
    int changed = 0;
    for (auto& e : events_) {
        if (!channelMatches(*e, channel)) continue;
        // Note offs of the event form move with their note ons so the pairs still match.
        const bool sounding = (e->status == ev::Note || e->status == ev::NoteOn) && e->velocity > 0;
        const bool pairedOff = state_ == MidiEvents && e->status == ev::NoteOff;
        if (!sounding && !pairedOff) continue;
        e->data1 = foldIntoMidiRange(int64_t{e->data1} + semitones);
        changed += sounding;
    }
    return changed;
}

int MidiTrackData::addTransposedCopies(int channel, int semitones) {
    size_t wanted = 0;
    for (const auto& e : events_)
        wanted += e->status == ev::Note && e->velocity > 0 && channelMatches(*e, channel);
    if (wanted == 0) return 0;
    size_t room = slotCount_ > static_cast<int>(events_.size()) ? slotCount_ - events_.size() : 0;
    if (room < wanted) trackError(mdtk::LargeData);
    std::vector<std::unique_ptr<MidiEvent>> out;
    out.reserve(events_.size() + std::min(room, wanted));
    int added = 0;
    for (auto& e : events_) {
        if (room > 0 && e->status == ev::Note && e->velocity > 0 && channelMatches(*e, channel)) {
            // The copy goes in front of the note at the note's own time.
            auto copy = std::make_unique<MidiEvent>(*e);
            copy->data1 = foldIntoMidiRange(int64_t{e->data1} + semitones);
            e->delta = 0;
            out.push_back(std::move(copy));
            --room;
            ++added;
        }
        out.push_back(std::move(e));
    }
    events_ = std::move(out);
    return added;
}

int MidiTrackData::rechannel(int from, int to) {
    if (from < 0 || from > 31 || to < 0 || to > 31) {
        trackError(mdtk::InvalidParameter);
        return 0;
    }
    const int target = to & 0x0F;
    int offset = 0;
    int changed = 0;
    for (auto& e : events_) {
        if (e->status == ev::Meta && e->type == meta::InstrumentName && e->isSecondPortMark()) offset = 16;
        if (e->channel < 0 || e->channel > 15 || e->channel + offset != from) continue;
        if (e->status == ev::SysEx && (e->type == sysex::GsRhythmPart || e->type == sysex::GsPartBlock))
            e->moveGsPart(target);
        e->channel = target;
        ++changed;
    }
    return changed;
}

int MidiTrackData::removeDuplicateNotes() {
    int removed = 0;
    struct Item {
        int32_t key, duration;
        uint32_t index;
    };
    std::vector<Item> items;
    forEachTimedGroup(events_, [&](size_t start, size_t end) {
        items.clear();
        for (size_t i = start; i < end; ++i)
            if (events_[i]->status == ev::Note)
                items.push_back({events_[i]->data1, events_[i]->duration, static_cast<uint32_t>(i)});
        if (items.size() < 2) return;
        std::sort(items.begin(), items.end(), [](const Item& a, const Item& b) {
            return std::tie(a.key, a.duration, a.index) < std::tie(b.key, b.duration, b.index);
        });
        for (size_t k = 1; k < items.size(); ++k)
            if (items[k].key == items[k - 1].key && items[k].duration == items[k - 1].duration) {
                events_[items[k].index]->status = ev::Deleted;
                ++removed;
            }
    });
    if (removed) compact();
    return removed;
}

namespace {

// The notes of one group, numbered 0..size-1 in list order.
struct GroupNotes {
    const std::vector<std::unique_ptr<MidiEvent>>& events;
    const std::vector<uint32_t>& at;  // event index of each note

    uint32_t size() const { return static_cast<uint32_t>(at.size()); }
    int32_t key(uint32_t k) const { return events[at[k]]->data1; }
    int32_t duration(uint32_t k) const { return events[at[k]]->duration; }
    bool gone(uint32_t k) const { return events[at[k]]->status == ev::Deleted; }
    void remove(uint32_t k) const { events[at[k]]->status = ev::Deleted; }
};

// A group's notes sorted by pitch class, duration, key and list order, so that the notes
// that can double a note are found without comparing every pair. A bucket holds the notes
// of one pitch class and duration; a run within it those of one key. Each run keeps a
// cursor at its first entry not yet passed, so every entry is visited once per group.
class DoublingIndex {
public:
    void build(const GroupNotes& g) {
        const uint32_t n = g.size();
        byClass_.resize(n);
        for (uint32_t k = 0; k < n; ++k) byClass_[k] = k;
        std::sort(byClass_.begin(), byClass_.end(), [&](uint32_t a, uint32_t b) {
            return std::make_tuple(pitchClass(g.key(a)), g.duration(a), g.key(a), a) <
                   std::make_tuple(pitchClass(g.key(b)), g.duration(b), g.key(b), b);
        });
        bucketOf_.assign(n, 0);
        runOf_.assign(n, 0);
        bucketStart_.assign(n, 0);
        cursor_.clear();
        runEnd_.clear();
        for (uint32_t p = 0; p < n; ++p) {
            const uint32_t k = byClass_[p];
            const bool newBucket = p == 0 || !sameBucket(g, byClass_[p - 1], k);
            bucketStart_[p] = newBucket ? p : bucketStart_[p - 1];
            bucketOf_[k] = bucketStart_[p];
            if (newBucket || g.key(byClass_[p - 1]) != g.key(k)) {
                cursor_.push_back(p);
                runEnd_.push_back(p);
            }
            runOf_[p] = static_cast<uint32_t>(cursor_.size() - 1);
            runEnd_.back() = p + 1;
        }
    }

    // Calls fn(runKey, cursor, runEnd) for each run of note k's bucket, in key order: the
    // run's entries from `cursor` to `runEnd` are still ahead; fn advances `cursor` past the
    // entries it is done with.
    template <typename Fn>
    void forEachRunOf(const GroupNotes& g, uint32_t k, Fn fn) {
        const uint32_t n = g.size();
        for (uint32_t p = bucketOf_[k]; p < n;) {
            const uint32_t first = byClass_[p];
            if (!sameBucket(g, first, k)) break;
            const uint32_t run = runOf_[p];
            fn(g.key(first), cursor_[run], runEnd_[run]);
            p = runEnd_[run];
        }
    }

    // The note at entry p of the sorted order.
    uint32_t noteAt(uint32_t p) const { return byClass_[p]; }

private:
    static bool sameBucket(const GroupNotes& g, uint32_t a, uint32_t b) {
        return pitchClass(g.key(a)) == pitchClass(g.key(b)) && g.duration(a) == g.duration(b);
    }

    std::vector<uint32_t> byClass_;      // note numbers in sorted order
    std::vector<uint32_t> bucketOf_;     // per note: where its bucket starts in byClass_
    std::vector<uint32_t> bucketStart_;  // per entry of byClass_: where its bucket starts
    std::vector<uint32_t> runOf_;        // per entry of byClass_: the run it belongs to
    std::vector<uint32_t> cursor_;       // per run: first entry still ahead
    std::vector<uint32_t> runEnd_;       // per run: one past its last entry
};

// How many live notes of each key lie after the current note of a group.
class LiveKeys {
public:
    void reset(const GroupNotes& g) {
        counts_.clear();
        for (uint32_t k = 0; k < g.size(); ++k) ++counts_[g.key(k)];
    }
    void drop(int32_t key) {
        auto it = counts_.find(key);
        if (--it->second == 0) counts_.erase(it);
    }
    bool empty() const { return counts_.empty(); }
    int32_t highest() const { return counts_.rbegin()->first; }
    int32_t lowest() const { return counts_.begin()->first; }

private:
    std::map<int32_t, int> counts_;
};

// Removes the later notes of note k's pitch class and duration whose key is neither the
// highest nor the lowest of the live notes after k; returns how many.
int removeDoublingsOf(uint32_t k, const GroupNotes& g, DoublingIndex& index, LiveKeys& live) {
    int removed = 0;
    const int32_t highest = live.highest(), lowest = live.lowest();
    index.forEachRunOf(g, k, [&](int32_t runKey, uint32_t& cursor, uint32_t runEnd) {
        if (runKey == highest || runKey == lowest) return;
        for (; cursor < runEnd; ++cursor) {
            const uint32_t other = index.noteAt(cursor);
            if (other <= k || g.gone(other)) continue;
            g.remove(other);
            live.drop(runKey);
            ++removed;
        }
    });
    return removed;
}

}  // namespace

int MidiTrackData::removeOctaveDoublings() {
    int removed = 0;
    std::vector<uint32_t> notes;  // event indices of the group's notes, in list order
    DoublingIndex index;
    LiveKeys live;
    forEachTimedGroup(events_, [&](size_t start, size_t end) {
        notes.clear();
        for (size_t i = start; i < end; ++i)
            if (events_[i]->status == ev::Note) notes.push_back(static_cast<uint32_t>(i));
        // Something can only go when at least three notes follow a note.
        if (notes.size() < 4) return;
        const GroupNotes group{events_, notes};
        index.build(group);
        live.reset(group);
        for (uint32_t k = 0; k < group.size(); ++k) {
            if (group.gone(k)) continue;
            live.drop(group.key(k));
            if (!live.empty()) removed += removeDoublingsOf(k, group, index, live);
        }
    });
    if (removed) compact();
    return removed;
}

int MidiTrackData::keepTopNote(int channel) {
    if (!requireState(NoteEvents)) return 0;
    auto selected = [channel](const MidiEvent& e) {
        return e.status == ev::Note && (channel == 255 || e.channel == channel);
    };
    int removed = 0;
    const size_t n = events_.size();
    // Chords: the selected notes of each run of simultaneous events.
    for (size_t start = 0; start < n;) {
        size_t end = start + 1;
        while (end < n && events_[end]->delta == 0) ++end;
        int32_t top = INT32_MIN;
        for (size_t i = start; i < end; ++i)
            if (selected(*events_[i])) top = std::max(top, events_[i]->data1);
        for (size_t i = start; i < end; ++i)
            if (selected(*events_[i]) && events_[i]->data1 < top) {
                events_[i]->status = ev::Deleted;
                ++removed;
            }
        start = end;
    }
    compact();
    // Each kept note ends by the next kept note, the last one by the End of Track.
    const std::vector<int64_t> times = eventTimes();
    const bool closed = !events_.empty() && isEndOfTrack(*events_.back());
    const int64_t trackEnd = times.empty() ? 0 : times.back();
    size_t previous = SIZE_MAX;
    auto limit = [&](size_t note, int64_t until) {
        MidiEvent& e = *events_[note];
        if (int64_t{e.duration} > until - times[note]) e.duration = clampTicks(until - times[note]);
        if (e.duration <= 0) {
            e.status = ev::Deleted;
            ++removed;
        }
    };
    for (size_t i = 0; i < events_.size(); ++i) {
        if (!selected(*events_[i])) continue;
        if (previous != SIZE_MAX) limit(previous, times[i]);
        previous = i;
    }
    if (previous != SIZE_MAX && closed) limit(previous, trackEnd);
    compact();
    return removed;
}

void MidiTrackData::foldVolumeIntoVelocity() {
    int32_t factor[16], volume[16];
    std::fill(factor, factor + 16, 127);
    std::fill(volume, volume + 16, 127);
    for (auto& e : events_) {
        if (e->channel < 0 || e->channel > 15) continue;
        const int ch = e->channel;
        if (e->status == ev::ControlChange && e->type == 7) {
            volume[ch] = e->value;
        } else if (e->status == ev::ControlChange && e->type == 11) {
            factor[ch] = clampTicks(int64_t{e->value} * volume[ch] / 127);
        } else if (e->status == ev::Note || e->status == ev::NoteOn) {
            e->velocity = static_cast<int32_t>(std::clamp<int64_t>(int64_t{e->velocity} * factor[ch] / 127, 0, 127));
        }
    }
    removeWhere([](const MidiEvent& e) {
        return e.status == ev::ControlChange && (e.type == 7 || e.type == 11 || e.type == 39 || e.type == 43);
    });
    if (!hasRoom(32)) {
        trackError(mdtk::LargeData);
        return;
    }
    std::vector<std::unique_ptr<MidiEvent>> out;
    out.reserve(events_.size() + 32);
    for (int ch = 0; ch < 16; ++ch)
        for (int controller : {11, 7}) {
            auto e = std::make_unique<MidiEvent>();
            e->makeControlChange(ch, controller, 127);
            out.push_back(std::move(e));
        }
    for (auto& e : events_) out.push_back(std::move(e));
    events_ = std::move(out);
}

bool MidiTrackData::rescaleTime(int oldDivision, int newDivision, bool dropShort) {
    if (!requireState(NoteEvents)) return false;
    if (oldDivision <= 0 || newDivision <= 0) {
        trackError(mdtk::InvalidParameter);
        return false;
    }
    bool anyZero = false;
    int64_t carry = 0;  // remainder of the scaled time, kept so that times never drift
    for (auto& e : events_) {
        const int64_t scaled = int64_t{e->delta} * newDivision + carry;
        e->delta = clampTicks(scaled / oldDivision);
        carry = scaled % oldDivision;
        if (e->status != ev::Note) continue;
        e->duration = clampTicks(int64_t{e->duration} * newDivision / oldDivision);
        if (e->duration <= 0) {
            anyZero = true;
            if (dropShort) e->status = ev::Deleted;
            else e->duration = 1;
        }
    }
    compact();
    return anyZero;
}

int MidiTrackData::moveToFrontOfSlot(int32_t status, int64_t type, std::string_view text) {
    const size_t star = text.find('*');
    if (star != std::string_view::npos) text = text.substr(0, star);
    return moveToFrontOfGroups([&](const MidiEvent& e) {
        if (e.status != status) return false;
        if (type != -1 && int64_t{e.type} != type) return false;
        return text.empty() || e.text().find(text) != std::string_view::npos;
    });
}

int MidiTrackData::sysExToFrontOfSlot() {
    return moveToFrontOfGroups(
        [](const MidiEvent& e) { return e.status == ev::SysEx || e.status == ev::EscapedSysEx; });
}

int MidiTrackData::validateNotes() {
    if (!requireState(NoteEvents)) return 0;
    for (auto& e : events_) {
        if (e->status != ev::Note) continue;
        const bool sound = e->data1 >= 0 && e->data1 <= 127 && e->delta >= 0 && e->duration >= 0 &&
                           e->velocity >= 0 && e->velocity <= 127;
        if (sound) continue;
        e->data1 = std::clamp(e->data1, 0, 127);
        e->velocity = std::clamp(e->velocity, 0, 127);
        e->delta = std::max(e->delta, 0);
        e->duration = std::max(e->duration, 0);
        return 1;
    }
    return 0;
}

int MidiTrackData::insertProgramChangeForChannel(int channel, int program) {
    if (channel < 0 || channel > 15) {
        trackError(mdtk::ChannelData);
        return 0;
    }
    for (size_t i = 0; i < events_.size(); ++i) {
        if (events_[i]->channel != channel) continue;
        auto e = std::make_unique<MidiEvent>(events_[i]->delta);
        e->status = ev::ProgramChange;
        e->channel = channel;
        e->value = program;
        if (!hasRoom()) {
            trackError(mdtk::LargeData);
            return 0;
        }
        events_[i]->delta = 0;
        events_.insert(events_.begin() + static_cast<std::ptrdiff_t>(i), std::move(e));
        return 1;
    }
    return 0;
}

int64_t MidiTrackData::shiftNoteStart(int index, int64_t time, int64_t position, int64_t target) {
    if (index < 0 || index >= eventCount()) return time;
    size_t lowest = 0;
    return time + shiftNote(events_, static_cast<size_t>(index), position, target, lowest);
}

void MidiTrackData::tripletGroove(int window) {
    if (!requireState(NoteEvents)) return;
    if (window <= 0) {
        trackError(mdtk::InvalidParameter);
        return;
    }
    const int64_t L = window;
    const size_t n = events_.size();
    std::vector<int64_t> times(n);
    auto recompute = [&](size_t from, size_t to) {  // times[from..to] from the deltas
        for (size_t j = from; j <= to && j < n; ++j) times[j] = (j ? times[j - 1] : 0) + events_[j]->delta;
    };
    auto firstHalf = [&](size_t i) { return (times[i] % L) * 2 < L; };
    std::vector<size_t> notes;
    // Applies the moves of one window; returns the lowest index whose delta changed.
    auto apply = [&](size_t upTo) -> size_t {
        size_t lowest = SIZE_MAX;
        if (notes.empty()) return lowest;
        size_t touched = 0;
        const size_t first = notes[0];
        if (notes.size() == 1) {
            const int64_t target = firstHalf(first) ? 0 : 2 * L / 3;
            shiftNote(events_, first, times[first] % L, target, touched);
            return touched;
        }
        const size_t second = notes[1], last = notes.back();
        const bool lastInFirstHalf = firstHalf(last);
        const int64_t firstTarget = (firstHalf(first) || lastInFirstHalf) ? 0 : L / 3;
        const int64_t secondTarget = lastInFirstHalf ? L / 3 : 2 * L / 3;
        shiftNote(events_, first, times[first] % L, firstTarget, touched);
        lowest = touched;
        recompute(lowest, std::max(second, upTo));
        shiftNote(events_, second, times[second] % L, secondTarget, touched);
        return std::min(lowest, touched);
    };
    int64_t windowEnd = L;
    for (size_t i = 0; i < n; ++i) {
        times[i] = (i ? times[i - 1] : 0) + events_[i]->delta;
        if (times[i] >= windowEnd) {
            const size_t lowest = apply(i);
            if (lowest != SIZE_MAX) recompute(lowest, i);
            windowEnd += L;
            notes.clear();
        }
        if (events_[i]->status == ev::Note) notes.push_back(i);
    }
    if (!notes.empty()) apply(n ? n - 1 : 0);
}

}  // namespace tunecase

// Track lifetime, state changes (joining and splitting notes), the editing primitives,
// queries and builders. Bulk edits are in midi_track_edits.cpp, the chunk codec in
// track_chunk_codec.cpp.
#include "midi/midi_track_data.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <queue>
#include <unordered_map>

#include "midi/midi_messages.h"
#include "midi/track_internal.h"

namespace tunecase {

using detail::isEndOfTrack;
using detail::isNoteStart;

namespace {

std::atomic<int> gYieldDelay{0};

std::unique_ptr<MidiEvent> newEvent(int32_t status, int channel, int delta = 0) {
    auto e = std::make_unique<MidiEvent>(delta);
    e->status = status;
    e->channel = channel;
    return e;
}

std::unique_ptr<MidiEvent> newMeta(uint32_t type, const uint8_t* bytes, int length, int delta = 0) {
    auto e = newEvent(ev::Meta, 255, delta);
    e->type = type;
    e->setData(bytes, length);
    return e;
}

std::unique_ptr<MidiEvent> newSysEx(const uint8_t* bytes, int length, int delta = 0) {
    auto e = newEvent(ev::SysEx, 255, delta);
    e->setData(bytes, length);
    e->classifySysEx();
    return e;
}

uint8_t gsChecksumOf(const uint8_t* bytes, size_t n) {
    int sum = 0;
    for (size_t i = 0; i < n; ++i) sum += bytes[i];
    return static_cast<uint8_t>((128 - sum % 128) % 128);
}

}  // namespace

void setTrackYieldDelay(int milliseconds) { gYieldDelay.store(std::max(milliseconds, 0)); }
int trackYieldDelay() { return gYieldDelay.load(); }

// ---- Lifetime ----------------------------------------------------------------------------

MidiTrackData::MidiTrackData(int capacity, int state)
    : MidiByteBuffer(capacity), state_(state), slotCount_(std::min(std::max(capacity, 0) / 3, kMaxTrackEvents)) {}

MidiTrackData::MidiTrackData(const uint8_t* data, int totalLength, int position, int yieldDelayMs, int capacity)
    : MidiTrackData(capacity) {
    setTrackYieldDelay(yieldDelayMs);
    trackWarning(0);
    const int64_t total = data ? std::max(totalLength, 0) : 0;
    const int64_t pos = position;
    if (pos < 0 || pos + 4 > total) {
        trackError(mdtk::NotMidi);
        return;
    }
    const uint8_t* id = data + pos;
    if (std::memcmp(id, "MTrk", 4) != 0 && std::memcmp(id, "XFIH", 4) != 0 && std::memcmp(id, "XFKM", 4) != 0) {
        trackError(mdtk::NotMidi);
        return;
    }
    if (pos + 8 > total) {
        trackError(mdtk::InternalError);
        return;
    }
    const int64_t chunkLength = (int64_t{id[4]} << 24) | (int64_t{id[5]} << 16) | (int64_t{id[6]} << 8) | id[7];
    if (pos + 8 + chunkLength > total) {
        trackError(mdtk::InternalError);
        return;
    }
    if (8 + chunkLength > capacity_) {
        trackError(mdtk::LargeData);
        return;
    }
    assign(id, static_cast<int>(8 + chunkLength));
    readEvents(bytes_.data(), static_cast<size_t>(byteLength_));
    state_ = MidiEvents;
}

MidiTrackData::MidiTrackData(const MidiTrackData& source, int capacity) : MidiTrackData(capacity) {
    if (source.state_ != NoteEvents) {
        trackError(mdtk::InternalError);
        return;
    }
    if (source.events_.size() > static_cast<size_t>(slotCount_)) trackError(mdtk::LargeData);
    const size_t n = std::min(source.events_.size(), static_cast<size_t>(slotCount_));
    events_.reserve(n);
    for (size_t i = 0; i < n; ++i) events_.push_back(std::make_unique<MidiEvent>(*source.events_[i]));
    state_ = NoteEvents;
}

MidiTrackData::~MidiTrackData() { destroyEvents(true); }

void MidiTrackData::destroyEvents(bool report) {
    if (report)
        for (const auto& e : events_)
            if (e->length >= 256 && e->type != sysex::ManufacturerMessage) trackError(mdtk::CantAddData);
    events_.clear();
}

void MidiTrackData::clearEvents() { destroyEvents(false); }

std::vector<std::unique_ptr<MidiEvent>> MidiTrackData::cloneEvents() const {
    std::vector<std::unique_ptr<MidiEvent>> out;
    out.reserve(events_.size());
    for (const auto& e : events_) out.push_back(std::make_unique<MidiEvent>(*e));
    return out;
}

// ---- Access ------------------------------------------------------------------------------

MidiEvent* MidiTrackData::event(int index) {
    return index >= 0 && index < eventCount() ? events_[static_cast<size_t>(index)].get() : nullptr;
}

const MidiEvent* MidiTrackData::event(int index) const {
    return index >= 0 && index < eventCount() ? events_[static_cast<size_t>(index)].get() : nullptr;
}

std::vector<int64_t> MidiTrackData::eventTimes() const {
    std::vector<int64_t> times(events_.size());
    int64_t t = 0;
    for (size_t i = 0; i < events_.size(); ++i) times[i] = t += events_[i]->delta;
    return times;
}

int64_t MidiTrackData::timeOf(int index) const {
    int64_t t = 0;
    for (int i = 0; i <= index && i < eventCount(); ++i) t += events_[static_cast<size_t>(i)]->delta;
    return t;
}

bool MidiTrackData::requireState(int wanted) const {
    if (state_ == wanted) return true;
    trackError(mdtk::InternalError);
    return false;
}

bool MidiTrackData::hasRoom(size_t extra) const {
    return events_.size() + extra <= static_cast<size_t>(slotCount_);
}

bool MidiTrackData::pushEvent(std::unique_ptr<MidiEvent> event) {
    if (!event) return false;
    if (!hasRoom()) {
        trackError(mdtk::LargeData);
        return false;
    }
    events_.push_back(std::move(event));
    return true;
}

// ---- State changes -----------------------------------------------------------------------

namespace {

// The note offs of each channel and key in list order, with a cursor: a note on takes the
// first unused note off after it. Offs left behind the cursor can never be used by a later
// note on, so one pass over each list suffices. The lists are threaded through one array
// (each note off points to the next of its channel and key), so building the index costs
// no allocation per key.
class NoteOffIndex {
public:
    explicit NoteOffIndex(const std::vector<std::unique_ptr<MidiEvent>>& events) : next_(events.size()) {
        for (size_t i = events.size(); i-- > 0;) {
            if (events[i]->status != ev::NoteOff) continue;
            uint32_t& first = firstFor(*events[i]);
            next_[i] = first;
            first = static_cast<uint32_t>(i + 1);
        }
    }

    // Sets `off` to the index of the first unused note off after index `i` with the channel
    // and key of `on`, and uses it up; false when there is none.
    bool takeAfter(const MidiEvent& on, size_t i, size_t& off) {
        uint32_t& first = firstFor(on);
        while (first != kNone && first - 1 < i) first = next_[first - 1];
        if (first == kNone) return false;
        off = first - 1;
        first = next_[off];
        return true;
    }

private:
    // Links hold an index plus one, so that a zero-filled table is a table of empty lists.
    static constexpr uint32_t kNone = 0;

    // The link to the first unused note off of the event's channel and key.
    uint32_t& firstFor(const MidiEvent& e) {
        if (e.channel >= 0 && e.channel < 16 && e.data1 >= 0 && e.data1 < 128)
            return common_[static_cast<size_t>(e.channel * 128 + e.data1)];
        const uint64_t key = (uint64_t{static_cast<uint32_t>(e.channel)} << 32) | static_cast<uint32_t>(e.data1);
        return unusual_[key];
    }

    std::array<uint32_t, 16 * 128> common_{};
    std::vector<uint32_t> next_;                      // the link after each note off
    std::unordered_map<uint64_t, uint32_t> unusual_;  // channels or keys outside MIDI's range
};

// Whether a join leaves the event out: a note off (a note on before it would have taken it,
// and no later one can), or a note that found no note off (a negative duration is reported).
bool leftUnpaired(MidiEvent& e) {
    if (e.status == ev::NoteOff) return true;
    if (e.status != ev::Note || e.duration > 0) return false;
    if (e.duration < 0) trackError(mdtk::InternalError);
    return true;
}

}  // namespace

void MidiTrackData::joinNotes() {
    if (!requireState(MidiEvents)) return;
    const size_t n = events_.size();
    std::vector<int64_t> times(n);
    int64_t t = 0;
    bool anyNote = false, anyDeleted = false;
    for (size_t i = 0; i < n; ++i) {
        MidiEvent& e = *events_[i];
        if (e.status == ev::NoteOn && e.velocity == 0) e.status = ev::NoteOff;
        anyNote = anyNote || e.status == ev::NoteOn || e.status == ev::NoteOff || e.status == ev::Note;
        anyDeleted = anyDeleted || e.status == ev::Deleted;
        times[i] = t += e.delta;
    }
    if (anyNote) {
        NoteOffIndex offs(events_);
        // Event i is settled once the walk reaches it: a note on takes its note off now, and
        // a note off not taken by then can no longer be taken.
        for (size_t i = 0; i < n; ++i) {
            detail::yieldEvery(i, 300);
            MidiEvent& e = *events_[i];
            if (e.status == ev::NoteOn) {
                e.status = ev::Note;
                size_t off = 0;
                if (offs.takeAfter(e, i, off)) {
                    e.duration = clampTicks(times[off] - times[i]);
                    events_[off]->status = ev::Deleted;
                } else {
                    e.duration = 0;
                }
            }
            if (leftUnpaired(e)) e.status = ev::Deleted;
        }
    }
    if (anyNote || anyDeleted) compact();
    state_ = NoteEvents;
}

namespace {

// Events with their absolute times, while a track is rebuilt in time order.
struct TimedEvents {
    std::vector<std::unique_ptr<MidiEvent>> events;
    std::vector<int64_t> times;

    void add(MidiEvent* e, int64_t time) {
        events.emplace_back(e);
        times.push_back(time);
    }
};

size_t countNotes(const std::vector<std::unique_ptr<MidiEvent>>& events) {
    size_t notes = 0;
    for (const auto& e : events) notes += e->status == ev::Note;
    return notes;
}

// Takes the events (at `times`, `notes` of them 0x10 notes) and gives them back with every
// note split into a note on and a note off of velocity 64. A note off goes in front of the
// first event at or after the note's end (a note of duration 0 or less right behind its
// note on); among note offs ending together the later note's comes first.
TimedEvents withNoteOffs(std::vector<std::unique_ptr<MidiEvent>>& events, const std::vector<int64_t>& times,
                         size_t notes) {
    // Note offs not yet placed, the earliest end first and, among equal ends, the later
    // note's first.
    struct Pending {
        int64_t end;
        size_t order;
        MidiEvent* off;
    };
    auto later = [](const Pending& a, const Pending& b) {
        if (a.end != b.end) return a.end > b.end;
        return a.order < b.order;
    };
    std::priority_queue<Pending, std::vector<Pending>, decltype(later)> pending(later);

    const size_t n = events.size();
    TimedEvents out;
    out.events.reserve(n + notes);
    out.times.reserve(n + notes);
    size_t order = 0;
    for (size_t i = 0; i < n; ++i) {
        const int64_t t = times[i];
        while (!pending.empty() && pending.top().end <= t) {
            out.add(pending.top().off, pending.top().end);
            pending.pop();
        }
        MidiEvent* e = events[i].release();
        out.add(e, t);
        if (e->status != ev::Note) continue;
        e->status = ev::NoteOn;
        const int64_t d = std::max(e->duration, 0);
        e->duration = 0;
        MidiEvent* off = newEvent(ev::NoteOff, e->channel).release();
        off->data1 = e->data1;
        off->velocity = 64;
        if (d == 0) out.add(off, t);
        else pending.push({t + d, order++, off});
    }
    while (!pending.empty()) {
        out.add(pending.top().off, pending.top().end);
        pending.pop();
    }
    events.clear();
    return out;
}

// Moves the first End of Track, unless it is already last, to the end of the list at the
// time of the event that was last.
void moveFirstEndOfTrackLast(TimedEvents& t) {
    for (size_t i = 0; i + 1 < t.events.size(); ++i) {
        if (!isEndOfTrack(*t.events[i])) continue;
        auto eot = std::move(t.events[i]);
        t.events.erase(t.events.begin() + static_cast<std::ptrdiff_t>(i));
        t.times.erase(t.times.begin() + static_cast<std::ptrdiff_t>(i));
        t.events.push_back(std::move(eot));
        t.times.push_back(t.times.back());
        return;
    }
}

// The events with their deltas set from their times.
std::vector<std::unique_ptr<MidiEvent>> withDeltasFromTimes(TimedEvents& t) {
    int64_t previous = 0;
    for (size_t i = 0; i < t.events.size(); ++i) {
        t.events[i]->delta = clampTicks(t.times[i] - previous);
        previous = t.times[i];
    }
    return std::move(t.events);
}

}  // namespace

void MidiTrackData::splitNotes() {
    if (!requireState(NoteEvents)) return;
    removeWhere([](const MidiEvent& e) { return e.status == ev::Note && (e.duration == 0 || e.velocity == 0); });
    const size_t notes = countNotes(events_);
    dropNotesBeyondSlots(notes);
    TimedEvents split = withNoteOffs(events_, eventTimes(), notes);
    moveFirstEndOfTrackLast(split);
    events_ = withDeltasFromTimes(split);
    state_ = MidiEvents;
    noteOffsBeforeNoteOns();
}

void MidiTrackData::dropNotesBeyondSlots(size_t notes) {
    // Every note needs a second slot for its note off.
    if (events_.size() + notes <= static_cast<size_t>(slotCount_)) return;
    trackError(mdtk::LargeData);
    const size_t excess = events_.size() + notes - static_cast<size_t>(slotCount_);
    size_t drop = (excess + 1) / 2;
    for (size_t i = events_.size(); i-- > 0 && drop > 0;)
        if (events_[i]->status == ev::Note) {
            events_[i]->status = ev::Deleted;
            --drop;
        }
    compact();
}

void MidiTrackData::noteOffsBeforeNoteOns() {
    const size_t n = events_.size();
    std::vector<std::unique_ptr<MidiEvent>> offs, rest;
    size_t start = 0;
    while (start < n) {
        size_t end = start + 1;
        while (end < n && events_[end]->delta == 0) ++end;
        size_t firstOn = end;
        bool offAfterOn = false;
        for (size_t i = start; i < end; ++i) {
            if (events_[i]->status == ev::NoteOn && firstOn == end) firstOn = i;
            else if (events_[i]->status == ev::NoteOff && firstOn != end) offAfterOn = true;
        }
        if (offAfterOn) {
            const int32_t groupDelta = events_[start]->delta;
            offs.clear();
            rest.clear();
            for (size_t i = firstOn; i < end; ++i)
                (events_[i]->status == ev::NoteOff ? offs : rest).push_back(std::move(events_[i]));
            size_t w = firstOn;
            for (auto& e : offs) events_[w++] = std::move(e);
            for (auto& e : rest) events_[w++] = std::move(e);
            for (size_t i = start; i < end; ++i) events_[i]->delta = 0;
            events_[start]->delta = groupDelta;
        }
        start = end;
    }
}

void MidiTrackData::prepareForWriting() {
    if (!requireState(MidiEvents)) return;
    moveToFrontOfGroups([](const MidiEvent& e) {
        return e.status != ev::NoteOn && e.status != ev::NoteOff && !isEndOfTrack(e);
    });
    noteOffsBeforeNoteOns();
}

// ---- Editing primitives ------------------------------------------------------------------

int MidiTrackData::insertEvent(int index, int mode, std::unique_ptr<MidiEvent> event) {
    const int64_t at = mode == 2 ? int64_t{index} : int64_t{index} + 1;
    if (!event || at < 0 || at > eventCount()) {
        trackError(mdtk::InternalError);
        return -1;
    }
    if (!hasRoom()) {
        trackError(mdtk::LargeData);
        return -1;
    }
    events_.insert(events_.begin() + at, std::move(event));
    return static_cast<int>(at);
}

int MidiTrackData::removeEvent(int index) {
    if (index < 0 || index >= eventCount()) return 0;
    const size_t i = static_cast<size_t>(index);
    if (i + 1 < events_.size())
        events_[i + 1]->delta = clampTicks(int64_t{events_[i + 1]->delta} + events_[i]->delta);
    events_.erase(events_.begin() + index);
    return 1;
}

int MidiTrackData::appendEvent(std::unique_ptr<MidiEvent> event) {
    if (!event) {
        trackError(mdtk::InternalError);
        return -1;
    }
    return pushEvent(std::move(event)) ? eventCount() - 1 : -1;
}

void MidiTrackData::swapEvents(int i, int j) {
    if (i < 0 || j < 0 || i >= eventCount() || j >= eventCount() || i == j) return;
    auto& a = events_[static_cast<size_t>(i)];
    auto& b = events_[static_cast<size_t>(j)];
    std::swap(a, b);
    std::swap(a->delta, b->delta);
}

int MidiTrackData::compact() {
    size_t write = 0;
    int64_t carry = 0;
    const size_t n = events_.size();
    for (size_t read = 0; read < n; ++read) {
        auto& e = events_[read];
        if (e->status == ev::Deleted) {
            carry += e->delta;
            continue;
        }
        if (carry != 0) {
            e->delta = clampTicks(carry + e->delta);
            carry = 0;
        }
        if (write != read) events_[write] = std::move(e);
        ++write;
    }
    const int removed = static_cast<int>(n - write);
    events_.resize(write);
    return removed;
}

int MidiTrackData::insertAtTime(int64_t time, std::unique_ptr<MidiEvent> event, int mode) {
    if (!event) {
        trackError(mdtk::InternalError);
        return -1;
    }
    if (time < -1) {
        trackError(mdtk::InvalidParameter);
        return -1;
    }
    if (!hasRoom()) {
        trackError(mdtk::LargeData);
        return -1;
    }
    const size_t n = events_.size();
    if (n == 0) {
        event->delta = clampTicks(std::max<int64_t>(time, 0));
        events_.push_back(std::move(event));
        return 0;
    }
    if (time == -1) {
        MidiEvent& last = *events_.back();
        event->delta = last.delta;
        last.delta = 0;
        events_.insert(events_.end() - 1, std::move(event));
        return static_cast<int>(n - 1);
    }
    auto nonNegative = [](int64_t d) {
        if (d >= 0) return d;
        trackError(mdtk::NegativeDelta);
        return int64_t{0};
    };
    const std::vector<int64_t> times = eventTimes();
    size_t i = 0;
    while (i < n && (isEndOfTrack(*events_[i]) || times[i] < time)) ++i;
    if (i < n) {
        size_t at = i;
        if (mode == 1)
            while (at < n && times[at] == time && !isEndOfTrack(*events_[at])) ++at;
        const int64_t previous = at > 0 ? times[at - 1] : 0;
        const int64_t d = nonNegative(time - previous);
        event->delta = clampTicks(d);
        if (at < n) events_[at]->delta = clampTicks(std::max<int64_t>(times[at] - (previous + d), 0));
        events_.insert(events_.begin() + static_cast<std::ptrdiff_t>(at), std::move(event));
        return static_cast<int>(at);
    }
    // Every event but possibly a final End of Track lies before `time`.
    MidiEvent& last = *events_.back();
    const int64_t lastTime = times[n - 1];
    const int64_t beforeLast = n >= 2 ? times[n - 2] : 0;
    if (isEndOfTrack(*event)) {
        if (isEndOfTrack(last)) {
            last.delta = clampTicks(nonNegative(time - beforeLast));
            return static_cast<int>(n - 1);
        }
        event->delta = clampTicks(nonNegative(time - lastTime));
        events_.push_back(std::move(event));
        return static_cast<int>(n);
    }
    if (!isEndOfTrack(last)) {
        // Without a closing End of Track the final event keeps its time.
        event->delta = clampTicks(nonNegative(time - lastTime));
        events_.push_back(std::move(event));
        return static_cast<int>(n);
    }
    const int64_t d = nonNegative(time - beforeLast);
    const int64_t at = beforeLast + d;
    event->delta = clampTicks(d);
    last.delta = clampTicks(std::max(lastTime, at) - at);
    events_.insert(events_.end() - 1, std::move(event));
    return static_cast<int>(n - 1);
}

// ---- Queries -----------------------------------------------------------------------------

int MidiTrackData::programOfChannel(int channel) const {
    int program = -1;
    for (const auto& e : events_)
        if (e->status == ev::ProgramChange && e->channel == channel) program = e->value;
    return program;
}

int MidiTrackData::xgProgramOfPart(int part) const {
    int program = -1;
    for (const auto& e : events_) {
        if (e->status != ev::SysEx || e->length < 10) continue;
        const uint8_t* b = e->getData();
        if (b[0] == 0xF0 && b[1] == 0x08 && b[2] == 0x43 && b[3] == 0x10 && b[4] == 0x4C && b[5] == 0x08 &&
            b[6] == part && b[7] == 0x03 && b[9] == 0xF7)
            program = b[8];
    }
    return program;
}

int MidiTrackData::instrumentOf(int channel) const {
    const int program = programOfChannel(channel);
    return program != -1 ? program : xgProgramOfPart(channel);
}

bool MidiTrackData::isNotKeyboardSound(int channel) const {
    const int instrument = instrumentOf(channel);
    return instrument > 15 && instrument != 99;
}

int MidiTrackData::metaText(uint32_t type, std::string& destination) const {
    for (const auto& e : events_) {
        if (e->status != ev::Meta || e->type != type) continue;
        const uint8_t* b = e->getData();
        const int n = b ? std::clamp(e->length, 0, e->bufferSize()) : 0;
        destination.assign(reinterpret_cast<const char*>(b), static_cast<size_t>(n));
        return 1;
    }
    destination.clear();
    return 0;
}

int MidiTrackData::timeSignatureCode(int& out) const {
    for (const auto& e : events_)
        if (e->status == ev::Meta && e->type == meta::TimeSignature) {
            out = e->value;
            return 1;
        }
    return 0;
}

int MidiTrackData::tempoValue(int& out) const {
    for (const auto& e : events_)
        if (e->status == ev::Meta && e->type == meta::Tempo) {
            out = e->value;
            return 1;
        }
    return 0;
}

int MidiTrackData::firstChannel() const {
    for (const auto& e : events_)
        if (e->channel != 255 && e->status != ev::SysEx && e->status != ev::EscapedSysEx) return e->channel;
    return 255;
}

bool MidiTrackData::isDrumChannel(int channel) const {
    const MidiEvent* rhythm = nullptr;
    for (const auto& e : events_)
        if (e->status == ev::SysEx && e->type == sysex::GsRhythmPart && e->channel == channel) rhythm = e.get();
    if (rhythm) return rhythm->peekByte(9) != 0;
    return channel == 9;
}

int MidiTrackData::masterVolume() const {
    int volume = -1;
    bool found = false;
    for (const auto& e : events_) {
        if (e->status != ev::SysEx || e->type != sysex::MasterVolume) continue;
        if (found) trackWarning(mdtk::MultipleMasterVolumes);
        found = true;
        volume = e->value;
    }
    return volume;
}

int64_t MidiTrackData::lengthInTicks() const {
    int64_t t = 0, longest = 0;
    for (const auto& e : events_) {
        t += e->delta;
        longest = std::max(longest, t);
        if (e->status == ev::Note) longest = std::max(longest, t + e->duration);
    }
    return longest;
}

int64_t MidiTrackData::totalTicks() const {
    int64_t t = 0;
    if (state_ != NoteEvents) {
        for (const auto& e : events_) t += e->delta;
        return t;
    }
    // The split form ends at the last event or at the last note off, whichever is later
    // (notes that splitting drops do not count).
    int64_t end = 0;
    for (const auto& e : events_) {
        t += e->delta;
        end = std::max(end, t);
        if (e->status == ev::Note && e->velocity != 0 && e->duration > 0) end = std::max(end, t + e->duration);
    }
    return end;
}

int MidiTrackData::firstNoteIndex() const {
    for (size_t i = 0; i < events_.size(); ++i)
        if (events_[i]->status == ev::Note) return static_cast<int>(i);
    return eventCount();
}

int64_t MidiTrackData::ticksToNextNote(int index) const {
    if (index < 0 || index >= eventCount()) return -1;
    int64_t ticks = 0;
    for (size_t i = static_cast<size_t>(index) + 1; i < events_.size(); ++i) {
        ticks += events_[i]->delta;
        if (isNoteStart(*events_[i])) return ticks;
    }
    return -1;
}

int64_t MidiTrackData::firstNoteTimeIn(int64_t from, int64_t to) const {
    int64_t t = 0;
    for (const auto& e : events_) {
        t += e->delta;
        if (t >= to) break;
        if (t >= from && isNoteStart(*e)) return t;
    }
    return -1;
}

int64_t MidiTrackData::lastNoteTimeIn(int64_t from, int64_t to) const {
    int64_t t = 0, last = 0;
    for (const auto& e : events_) {
        t += e->delta;
        if (t >= to) break;
        if (t >= from && isNoteStart(*e)) last = t;
    }
    return last;
}

int MidiTrackData::countNotesIn(int64_t from, int64_t to) const {
    int64_t t = 0;
    int count = 0;
    for (const auto& e : events_) {
        t += e->delta;
        if (t >= to) break;
        if (t >= from && e->status == ev::Note) ++count;
    }
    return count;
}

int MidiTrackData::averageDelta(int channel) const {
    // With every other event removed, a note's delta is the time since the previous note
    // of any channel (or since 0 for the first).
    int64_t t = 0, previousNote = 0, sum = 0, nonZero = 0;
    for (const auto& e : events_) {
        t += e->delta;
        if (e->status != ev::Note) continue;
        const int64_t d = t - previousNote;
        previousNote = t;
        if (e->channel != channel) continue;
        sum += d;
        nonZero += d != 0;
    }
    return nonZero ? clampTicks(sum / nonZero) : 0;
}

// ---- Builders ----------------------------------------------------------------------------

int MidiTrackData::addNote(int channel, int delta, int key, int velocity, int duration) {
    auto e = newEvent(ev::Note, channel, delta);
    e->data1 = key;
    e->velocity = velocity;
    e->duration = duration;
    return appendEvent(std::move(e));
}

int MidiTrackData::addProgramChange(int channel, int program) {
    auto e = newEvent(ev::ProgramChange, channel);
    e->value = program;
    return appendEvent(std::move(e));
}

int MidiTrackData::addControlChange(int channel, int controller, int value) {
    auto e = std::make_unique<MidiEvent>();
    e->makeControlChange(channel, controller, value);
    return appendEvent(std::move(e));
}

int MidiTrackData::insertControlChangeAtStart(int channel, int controller, int value) {
    auto e = std::make_unique<MidiEvent>();
    e->makeControlChange(channel, controller, value);
    return insertEvent(0, 2, std::move(e));
}

void MidiTrackData::addBankAndProgram(int channel, int bankMsb, int bankLsb, int program) {
    addControlChange(channel, 0, bankMsb);
    addControlChange(channel, 32, bankLsb);
    addProgramChange(channel, program);
}

void MidiTrackData::addBankMsbAndProgram(int channel, int bankMsb, int program) {
    addControlChange(channel, 0, bankMsb);
    addProgramChange(channel, program);
}

int MidiTrackData::addMeta(int delta, uint32_t type, const uint8_t* bytes, int length) {
    if (length >= 128) trackError(mdtk::AddingData);
    return appendEvent(newMeta(type, bytes, length, delta));
}

int MidiTrackData::addMarker(int delta, std::string_view text) {
    return addMeta(delta, meta::Marker, reinterpret_cast<const uint8_t*>(text.data()), static_cast<int>(text.size()));
}

int MidiTrackData::insertMetaTextAtStart(uint32_t type, std::string_view text) {
    static const uint8_t kEmpty[1] = {0};
    auto e = text.empty() ? newMeta(type, kEmpty, 1)
                          : newMeta(type, reinterpret_cast<const uint8_t*>(text.data()), static_cast<int>(text.size()));
    return insertAtTimeAfter(0, std::move(e));
}

int MidiTrackData::addTempo(int microsecondsPerQuarter) {
    auto e = std::make_unique<MidiEvent>();
    e->makeTempo(microsecondsPerQuarter);
    return appendEvent(std::move(e));
}

int MidiTrackData::insertTempoAt(int index, int microsecondsPerQuarter) {
    auto e = std::make_unique<MidiEvent>();
    e->makeTempo(microsecondsPerQuarter);
    return insertEvent(index, 2, std::move(e));
}

int MidiTrackData::addTimeSignature(int numerator, int secondByte) {
    const uint8_t bytes[4] = {static_cast<uint8_t>(numerator), static_cast<uint8_t>(secondByte), 0x12, 0x08};
    auto e = newMeta(meta::TimeSignature, bytes, 4);
    e->value = numerator * 256 + secondByte;
    return appendEvent(std::move(e));
}

int MidiTrackData::addKeySignature(int delta, int keyCode, int mode) {
    static constexpr int8_t kSharpsFlats[12] = {0, 7, 2, -3, 4, -1, 6, 1, -4, 3, -2, 5};
    if (keyCode < 0 || keyCode > 11) {
        trackError(mdtk::InvalidParameter);
        return -1;
    }
    const uint8_t bytes[2] = {static_cast<uint8_t>(kSharpsFlats[keyCode]), static_cast<uint8_t>(mode)};
    return appendEvent(newMeta(meta::KeySignature, bytes, 2, delta));
}

int MidiTrackData::addGmSystemOn() {
    return appendEvent(newSysEx(kGmSystemOnStored, sizeof kGmSystemOnStored));
}

int MidiTrackData::addGsReset() {
    static const uint8_t kBytes[] = {0xF0, 0x0A, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7};
    return appendEvent(newSysEx(kBytes, sizeof kBytes));
}

int MidiTrackData::addXgSystemOn() {
    static const uint8_t kBytes[] = {0xF0, 0x08, 0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7};
    return appendEvent(newSysEx(kBytes, sizeof kBytes));
}

int MidiTrackData::addXgDisplayText(int delta, std::string_view text) {
    if (text.size() > 32) {
        trackError(mdtk::AddingData);
        text = text.substr(0, 32);
    }
    std::vector<uint8_t> b = {0xF0, static_cast<uint8_t>(text.size() + 7), 0x43, 0x10, 0x4C, 0x06, 0x00, 0x00};
    b.insert(b.end(), text.begin(), text.end());
    b.push_back(0xF7);
    return appendEvent(newSysEx(b.data(), static_cast<int>(b.size()), delta));
}

int MidiTrackData::addGsDisplayText(int delta, std::string_view text) {
    if (text.size() > 32) {
        trackError(mdtk::AddingData);
        text = text.substr(0, 32);
    }
    std::vector<uint8_t> b = {0xF0, static_cast<uint8_t>(text.size() + 9), 0x41, 0x10, 0x45, 0x12, 0x10, 0x00, 0x00};
    b.insert(b.end(), text.begin(), text.end());
    b.push_back(gsChecksumOf(b.data() + 6, b.size() - 6));
    b.push_back(0xF7);
    return appendEvent(newSysEx(b.data(), static_cast<int>(b.size()), delta));
}

int MidiTrackData::insertMasterVolumeAt(int volume, int index) {
    if (volume < 0 || volume >= 128) {
        trackError(mdtk::InternalError);
        volume = std::clamp(volume, 0, 127);
    }
    auto e = std::make_unique<MidiEvent>();
    e->makeMasterVolume(volume);
    return insertEvent(index, 2, std::move(e));
}

void MidiTrackData::ensureEndOfTrack(int delta) {
    if (!events_.empty() && isEndOfTrack(*events_.back())) return;
    appendEvent(newMeta(meta::EndOfTrack, nullptr, 0, delta));
}

void MidiTrackData::ensureSingleEndOfTrack() {
    const size_t n = events_.size();
    for (size_t i = 0; i + 1 < n; ++i)
        if (isEndOfTrack(*events_[i])) events_[i]->status = ev::Deleted;
    compact();
    ensureEndOfTrack(0);
}

}  // namespace tunecase

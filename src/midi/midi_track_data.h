// One MIDI track: the bytes of its track chunk and the list of its events.
//
// A track is in one of three states: bytes only (0), MIDI events as in a file with separate
// note on and note off (1), or note events, each note one 0x10 event with a duration (2).
// All musical editing works in state 2. Events are kept in time order: an event's time is
// the sum of the deltas up to and including it, and events at the same time keep their
// list order. The operations below say where they put an event among equal times.
//
// Messages are "MDTK%08X %s" boxes (midi_messages.h). No operation throws.
#pragma once

#include <algorithm>
#include <cstdint>
#include <climits>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "midi/midi_byte_buffer.h"
#include "midi/midi_event.h"

namespace tunecase {

// Capacity of a track read from a file, in chunk bytes (one event slot per 3 bytes).
inline constexpr int kDefaultTrackCapacity = 0x60000;

// No track ever holds more events than this, whatever its capacity.
inline constexpr int kMaxTrackEvents = 0x20000;

// Milliseconds a long read, join or encode sleeps every few hundred events so that a
// loading thread leaves the processor to the user interface; 0 = never.
void setTrackYieldDelay(int milliseconds);
int trackYieldDelay();

class MidiTrackData : public MidiByteBuffer {
public:
    enum State : int { New = -1, BytesOnly = 0, MidiEvents = 1, NoteEvents = 2 };

    // ---- Lifetime -----------------------------------------------------------------------

    // An empty track: `capacity` zero bytes and capacity / 3 event slots (at most
    // kMaxTrackEvents).
    explicit MidiTrackData(int capacity = kDefaultTrackCapacity, int state = New);

    // Reads the chunk at `position` of `data` (`totalLength` bytes). The identifier must be
    // "MTrk", "XFIH" or "XFKM" (else MDTK 0x0D000007, empty track); a chunk running past the
    // data shows 0x0D000001 and one larger than `capacity` shows 0x0D000006 (empty track).
    // Sets the yield delay, resets the shown-once warnings and reads every event (state 1).
    // Never reads outside [position, position + chunk size) nor past totalLength.
    MidiTrackData(const uint8_t* data, int totalLength, int position, int yieldDelayMs,
                  int capacity = kDefaultTrackCapacity);

    // A deep copy of a state 2 track; another state shows 0x0D000001 and gives an empty
    // track in state -1.
    MidiTrackData(const MidiTrackData& source, int capacity);

    // Deletes every event; an event of 256 bytes or more whose type is not 127 shows
    // 0x0D00001A.
    ~MidiTrackData() override;

    MidiTrackData(const MidiTrackData&) = delete;
    MidiTrackData& operator=(const MidiTrackData&) = delete;

    // Deletes all events (state unchanged).
    void clearEvents();

    // Hands every event over to the caller, leaving the track without events (state
    // unchanged).
    std::vector<std::unique_ptr<MidiEvent>> takeEvents() { return std::exchange(events_, {}); }

    // Makes room for n events in all (never more than the slots), so that appending them
    // moves nothing.
    void reserveEvents(size_t n) { events_.reserve(std::min(n, static_cast<size_t>(slotCount_))); }

    // ---- Access ---------------------------------------------------------------------------

    int state() const { return state_; }
    int eventCount() const { return static_cast<int>(events_.size()); }
    // How many events the track can hold.
    int slotCount() const { return slotCount_; }
    // The event at `index`, or nullptr outside 0..eventCount-1.
    MidiEvent* event(int index);
    const MidiEvent* event(int index) const;
    const std::vector<std::unique_ptr<MidiEvent>>& events() const { return events_; }
    // Absolute time of every event, in list order.
    std::vector<int64_t> eventTimes() const;
    // Absolute time of the event at `index` (the sum of the deltas up to it).
    int64_t timeOf(int index) const;

    // ---- State changes ------------------------------------------------------------------

    // State 1 -> 2: pairs each note on with the first later note off of the same channel
    // and key (a velocity-0 note on counts as note off); the note off's delta passes on.
    // Unpaired note ons and offs disappear. Wrong state: 0x0D000001, nothing changes.
    void joinNotes();

    // State 2 -> 1: each note becomes a note on and a note off (velocity 64) placed in
    // front of the first event at or after its end; the first End of Track moves to the
    // end; note offs come before note ons within each group of simultaneous events.
    // Wrong state: 0x0D000001. If the split would not fit the slots, 0x0D000006 is shown
    // and the last notes are dropped whole.
    void splitNotes();

    // State 1: within each group of simultaneous events, every event that is not a note on,
    // note off or End of Track moves to the front (keeping its order), then note offs move
    // ahead of note ons. Wrong state: 0x0D000001.
    void prepareForWriting();

    // State 1 -> 0: encodes the events as a chunk with the given 4-character identifier
    // into the byte buffer and deletes the events. Needs End of Track as the last event
    // (else 0x0D000001, nothing changes). Stops with 0x0D00001A before an event that would
    // bring the chunk within 256 bytes of the capacity. Returns the chunk size in bytes
    // (header included), 0 on failure.
    int encodeChunk(std::string_view identifier = "MTrk");

    // The most bytes encodeChunk can write for the events as they are now, a closing End of
    // Track included whether or not it is there yet.
    size_t chunkSizeBound() const;
    // Whether the events, in any order within their groups and with End of Track made single
    // and last, surely encode without stopping short: then a writer need not keep a copy to
    // undo a failed encode.
    bool surelyEncodesWhole() const;

    // ---- Editing primitives (any state with events) ------------------------------------
    // Every insertion into a full track shows 0x0D000006 "Large data" and drops the event.

    // Mode 2 puts the event at `index` (in front of the event there); any other mode at
    // index + 1. Deltas are not changed. Returns the new event's index, or -1 (bad index
    // shows 0x0D000001).
    int insertEvent(int index, int mode, std::unique_ptr<MidiEvent> event);

    // Removes the event; the following event takes over its delta. Returns 1, or 0 for a
    // bad index.
    int removeEvent(int index);

    // Puts the event at the end with its delta unchanged. Returns its index or -1.
    int appendEvent(std::unique_ptr<MidiEvent> event);

    // Exchanges two events; each position keeps its delta, so the times do not change.
    void swapEvents(int i, int j);

    // Removes every event of status 0; each one's delta goes to the next event that stays
    // (a deleted event at the very end loses its delta). Returns the number removed.
    int compact();

    // Inserts at absolute `time` in front of the first event (End of Track excluded) at or
    // after it; the new event's delta is set and the event behind keeps the remainder.
    // Mode 2: in front of the events already at that time. Mode 1: behind them, but in
    // front of an End of Track. Beyond every event: an empty track just receives it (at
    // `time`); an End of Track moves the final End of Track to `time` (the new one is
    // dropped) or is appended at `time`; any other event goes just in front of the final
    // event, which moves to `time` if that is later. `time` -1 puts it in front of the final
    // event with that event's delta. A negative delta shows 0x0D000019 (taken as 0).
    // Returns the index of the inserted event, or -1.
    int insertAtTime(int64_t time, std::unique_ptr<MidiEvent> event, int mode);
    int insertAtTimeAfter(int64_t time, std::unique_ptr<MidiEvent> event) {
        return insertAtTime(time, std::move(event), 1);
    }

    // ---- Queries ------------------------------------------------------------------------

    // Value of the last program change of the channel, or -1.
    int programOfChannel(int channel) const;
    // Program set by the last XG message F0 08 43 10 4C 08 pp 03 vv F7 for the part, or -1.
    int xgProgramOfPart(int part) const;
    // programOfChannel, else xgProgramOfPart, else -1.
    int instrumentOf(int channel) const;
    // instrumentOf is above 15 and not 99.
    bool isNotKeyboardSound(int channel) const;
    // Text of the first meta event of that type: 1, or 0 with an empty text.
    int metaText(uint32_t type, std::string& destination) const;
    // `value` of the first time-signature / tempo meta event: 1 if found, else 0.
    int timeSignatureCode(int& out) const;
    int tempoValue(int& out) const;
    // Channel of the first event that has one and is not system exclusive; 255 if none.
    int firstChannel() const;
    // The last GS use-for-rhythm-part message of the channel decides (its byte 9 not 0);
    // without one, whether the channel is 9.
    bool isDrumChannel(int channel) const;
    // `value` of the last master-volume message, or -1. A second one shows the shown-once
    // warning 0x0D000011.
    int masterVolume() const;
    // The largest event time and note end (time + duration).
    int64_t lengthInTicks() const;
    // The sum of all deltas; a state 2 track is measured as if split (trailing note offs
    // count).
    int64_t totalTicks() const;
    // Index of the first 0x10 event; eventCount() when there is none.
    int firstNoteIndex() const;
    // Ticks from the event at `index` to the next note start after it (0x90 in state 1,
    // 0x10 otherwise); -1 when there is none.
    int64_t ticksToNextNote(int index) const;
    // Time of the first note starting in [from, to); -1 when there is none.
    int64_t firstNoteTimeIn(int64_t from, int64_t to) const;
    // Time of the last note starting in [from, to); 0 when there is none.
    int64_t lastNoteTimeIn(int64_t from, int64_t to) const;
    // Number of notes starting in [from, to).
    int countNotesIn(int64_t from, int64_t to) const;
    // Mean spacing of the channel's note starts, measured as if every other event were
    // removed: the sum of those note deltas divided by the number that are not 0; 0 if none.
    int averageDelta(int channel) const;

    // ---- Builders (appended at the end unless stated) -----------------------------------

    // A 0x10 note.
    int addNote(int channel, int delta, int key, int velocity, int duration);
    int addProgramChange(int channel, int program);
    int addControlChange(int channel, int controller, int value);
    // A control change at index 0 (delta 0).
    int insertControlChangeAtStart(int channel, int controller, int value);
    // Controller 0, controller 32, program change.
    void addBankAndProgram(int channel, int bankMsb, int bankLsb, int program);
    // Controller 0, program change.
    void addBankMsbAndProgram(int channel, int bankMsb, int program);
    // A meta event; a length of 128 or more shows 0x0D000028 (the event is still added).
    int addMeta(int delta, uint32_t type, const uint8_t* bytes, int length);
    // Meta type 6 with the text.
    int addMarker(int delta, std::string_view text);
    // A meta text at time 0 behind the events already there (an empty text is 1 zero byte).
    int insertMetaTextAtStart(uint32_t type, std::string_view text);
    int addTempo(int microsecondsPerQuarter);
    // A tempo event at `index` (mode 2, delta 0).
    int insertTempoAt(int index, int microsecondsPerQuarter);
    // Meta 0x58 with numerator, second byte, 0x12, 0x08; value = numerator * 256 + second.
    int addTimeSignature(int numerator, int secondByte);
    // Meta 0x59: sharps/flats of the key code 0..11 and `mode` (0 major, 1 minor). A key
    // code outside 0..11 shows 0x0D000010 and adds nothing.
    int addKeySignature(int delta, int keyCode, int mode = 0);
    int addGmSystemOn();
    int addGsReset();
    int addXgSystemOn();
    // XG display text; a text longer than 32 shows 0x0D000028 and is cut to 32.
    int addXgDisplayText(int delta, std::string_view text);
    // GS display text with its checksum; longer than 32 shows 0x0D000028 and is cut to 32.
    int addGsDisplayText(int delta, std::string_view text);
    // A master-volume message at `index` (mode 2); a volume outside 0..127 shows
    // 0x0D000001 and is clamped.
    int insertMasterVolumeAt(int volume, int index);
    // Appends End of Track with that delta unless the last event already is one.
    void ensureEndOfTrack(int delta);
    // Removes every End of Track but a final one; appends one if the last event is not.
    void ensureSingleEndOfTrack();

    // ---- Removal and bulk edits (each returns the number of events removed or changed
    // unless stated). Operations marked "state 2" show 0x0D000001 in another state. -----

    int removeControlChanges();
    int removeSysEx();
    // The first control change with that controller number: 1 if one was removed.
    int removeFirstController(int number);
    // Program changes of the channel, or of all channels with -1.
    int removeProgramChanges(int channel);
    // Every pitch bend of channels 0..15.
    int removePitchBends();
    // The first system exclusive with that classification: 1 if one was removed.
    int removeFirstSysExOfType(uint32_t type);
    // Every event whose channel is that value.
    int removeChannel(int channel);
    // Meta events of that type: all of them, or only the first.
    int removeMeta(uint32_t type, bool all);
    int removeTrackNames();
    int removeMetaExceptTempoAndEnd();
    // State 2: everything but 0x10 notes.
    int keepNotesOnly();
    // State 2: velocity + amount, clamped to 0..127; returns the notes changed.
    int addToVelocities(int amount);
    // State 2: every sounding note (velocity and duration not 0) of the channel.
    int setDurationOfChannel(int channel, int ticks);
    // Notes (0x10, and note on/off pairs in state 1) of the channel or all (-1) with
    // velocity above 0: key + semitones, folded by octaves into 0..127.
    int transposeNotes(int channel, int semitones);
    // For every such 0x10 note, a transposed copy in front of it at the same time.
    int addTransposedCopies(int channel, int semitones);
    // Events of channel `from` get channel `to`. After an instrument-name meta event that
    // names a second port, channels count from 16, so `from` 16..31 addresses such a part.
    // Classified GS part messages get their part byte and checksum rewritten. Channels
    // outside 0..31 show 0x0D000010.
    int rechannel(int from, int to);
    // Within each group that begins at an event with a non-zero delta, every note with the
    // key and duration of an earlier note of the group.
    int removeDuplicateNotes();
    // Within the same groups: for each note, the later notes of its pitch class and
    // duration that are neither the highest nor the lowest key among the notes after it.
    int removeOctaveDoublings();
    // State 2: keeps the highest note of each chord of the channel (255 = all) and shortens
    // each kept note to end by the next kept note (or the end of the track).
    int keepTopNote(int channel);
    // Folds channel volume (7) and expression (11) into note velocities, removes
    // controllers 7, 11, 39 and 43 and sets 11 = 127 and 7 = 127 at the start of each of
    // the 16 channels.
    void foldVolumeIntoVelocity();
    // State 2: deltas and durations scaled by newDivision / oldDivision, the rounding
    // remainder carried to the next event. A note shortened to 0 is removed (dropShort) or
    // lengthened to 1. Returns whether any note became 0.
    bool rescaleTime(int oldDivision, int newDivision, bool dropShort);
    // Every event of that status (and type unless -1, and containing `text` cut at '*'
    // unless empty) moves to the front of its group of simultaneous events.
    int moveToFrontOfSlot(int32_t status, int64_t type, std::string_view text = {});
    int sysExToFrontOfSlot();
    // State 2: repairs the first unsound note (key or velocity outside 0..127, negative
    // delta or duration) and returns 1; 0 when all are sound.
    int validateNotes();
    // A program change in front of the first event of the channel, at its time. A channel
    // above 15 shows 0x0D000020. Returns 1 if inserted.
    int insertProgramChangeForChannel(int channel, int program);
    // Moves the note at `index` (at absolute `time`) from `position` to `target` within its
    // window and returns the note's new time.
    int64_t shiftNoteStart(int index, int64_t time, int64_t position, int64_t target);
    // State 2: triplet feel. Windows of `window` ticks are walked from time 0 (a new window
    // each time an event reaches the end of the current one, at most one per event). A
    // window with one note moves it to 0 (first half) or to 2/3 of the window; with more
    // notes the first moves to 0 when the first or last note lies in the first half, else
    // to 1/3, and the second to 1/3 when the last note lies in the first half, else to 2/3.
    void tripletGroove(int window);

protected:
    void setState(int state) { state_ = state; }
    // Appends without any check but the slot limit (shows "Large data" when full).
    bool pushEvent(std::unique_ptr<MidiEvent> event);
    bool hasRoom(size_t extra = 1) const;
    // Marks events for which `pred` holds as deleted and compacts; returns the count.
    template <typename Pred>
    int removeWhere(Pred pred);
    // Reorders each group of simultaneous events: events for which `front` holds go first.
    template <typename Pred>
    int moveToFrontOfGroups(Pred front);
    // Within each group of simultaneous events, note offs move ahead of the note ons
    // before them.
    void noteOffsBeforeNoteOns();
    // A deep copy of every event (any state).
    std::vector<std::unique_ptr<MidiEvent>> cloneEvents() const;

    std::vector<std::unique_ptr<MidiEvent>> events_;
    int state_ = New;
    int slotCount_ = 0;

private:
    // Reads every event of the chunk `chunk` (`size` bytes, header included) into the
    // event list; stops with a message at the first event that does not fit or runs past
    // the end.
    void readEvents(const uint8_t* chunk, size_t size);
    bool requireState(int wanted) const;
    // Before a split of `notes` notes: when the notes' note offs would not fit the slots,
    // shows 0x0D000006 and drops whole notes from the end until they do.
    void dropNotesBeyondSlots(size_t notes);
    void destroyEvents(bool report);
};

// Clamps a tick count to the int32 range that deltas and durations are stored in.
inline int32_t clampTicks(int64_t ticks) {
    if (ticks > INT32_MAX) return INT32_MAX;
    if (ticks < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(ticks);
}

template <typename Pred>
int MidiTrackData::removeWhere(Pred pred) {
    int marked = 0;
    for (auto& e : events_)
        if (e->status != ev::Deleted && pred(*e)) {
            e->status = ev::Deleted;
            ++marked;
        }
    if (marked) compact();
    return marked;
}

template <typename Pred>
int MidiTrackData::moveToFrontOfGroups(Pred front) {
    int moved = 0;
    const size_t n = events_.size();
    std::vector<std::unique_ptr<MidiEvent>> head, tail;
    size_t start = 0;
    while (start < n) {
        size_t end = start + 1;
        while (end < n && events_[end]->delta == 0) ++end;
        // Only groups where something actually has to move are rebuilt.
        bool seenOther = false, needed = false;
        for (size_t i = start; i < end && !needed; ++i) {
            if (front(*events_[i])) needed = seenOther;
            else seenOther = true;
        }
        if (needed) {
            const int32_t groupDelta = events_[start]->delta;
            head.clear();
            tail.clear();
            for (size_t i = start; i < end; ++i) {
                if (front(*events_[i])) {
                    head.push_back(std::move(events_[i]));
                    ++moved;
                } else {
                    tail.push_back(std::move(events_[i]));
                }
            }
            size_t w = start;
            for (auto& e : head) events_[w++] = std::move(e);
            for (auto& e : tail) events_[w++] = std::move(e);
            for (size_t i = start; i < end; ++i) events_[i]->delta = 0;
            events_[start]->delta = groupDelta;
        }
        start = end;
    }
    return moved;
}

}  // namespace tunecase

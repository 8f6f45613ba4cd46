#include "midi/midi_f1_data.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

#include "base/utilities.h"
#include "midi/midi_f0_data.h"
#include "midi/midi_file_messages.h"
#include "midi/midi_messages.h"
#include "midi/smf_bytes.h"

namespace tunecase {

namespace {

using namespace smf;



bool isEndOfTrack(const MidiEvent& e) { return e.status == ev::Meta && e.type == meta::EndOfTrack; }

void yieldBetweenTracks(int index) {
    const int delay = trackYieldDelay();
    if (delay > 0 && index > 0) std::this_thread::sleep_for(std::chrono::milliseconds(delay));
}

}  // namespace

// ---- Construction ----------------------------------------------------------------------------

MidiF1Data::MidiF1Data(int capacity) : MidiByteBuffer(capacity) { format1Warning(0); }

std::unique_ptr<MidiF1Data> MidiF1Data::openFile(std::string_view path, int capacity) {
    auto file = std::make_unique<MidiF1Data>(capacity);
    file->state_ = NoteEvents;  // with no tracks until something reads
    if (fileSize(path) > file->capacity()) {
        format1Error(m1dt::TooLarge);
        return file;
    }
    if (!file->loadFile(path)) return file;  // the loader has said why
    if (const int smpte = smpteDivisionOf(file->bytes(), file->byteLength())) {
        reportSmpteDivision(path, smpte);
        return file;
    }
    int length = file->byteLength();
    const int format = MidiF0Data::fileFormatOf(file->bytes(), length);
    file->setByteLength(length);
    if (format == 0) {
        // One attempt through the format 0 reader, which does not come back here.
        auto song = MidiF0Data::fromBytes(file->bytes(), file->byteLength());
        if (song->isLoaded()) file->splitFromFormat0(*song);
    } else {
        file->state_ = BytesOnly;
        file->readFormat1();
    }
    if (file->loaded_) file->ensureMasterVolume(false);
    return file;
}

std::unique_ptr<MidiF1Data> MidiF1Data::fromBytes(const uint8_t* bytes, int length, bool showMessage,
                                                  int capacity) {
    auto file = std::make_unique<MidiF1Data>(capacity);
    if (length > file->capacity()) {
        format1Error(m1dt::TooLarge);
        file->state_ = NoteEvents;
        return file;
    }
    file->assign(bytes, std::max(length, 0));
    if (file->readFormat1()) file->ensureMasterVolume(showMessage);
    return file;
}

std::unique_ptr<MidiF1Data> MidiF1Data::fromTracks(const MidiTrackData* const* tracks, int count, int division,
                                                   int capacity) {
    auto file = std::make_unique<MidiF1Data>(capacity);
    if (count > kMaxF1Tracks) {
        format1Error(m1dt::TooManyTracks);
        count = kMaxF1Tracks;
    }
    count = std::max(count, 0);
    for (int i = 0; i < count; ++i) {
        std::unique_ptr<MidiF1TrackData> copy;
        if (tracks && tracks[i]) copy = std::make_unique<MidiF1TrackData>(*tracks[i], capacity);
        else trackError(mdtk::InternalError);
        if (!copy || copy->state() != MidiTrackData::NoteEvents)
            copy = std::make_unique<MidiF1TrackData>(capacity, MidiTrackData::NoteEvents);
        file->tracks_[static_cast<size_t>(i)] = std::move(copy);
    }
    file->trackCount_ = count;
    file->division_ = division;
    file->state_ = NoteEvents;
    file->loaded_ = true;
    return file;
}

std::unique_ptr<MidiF1Data> MidiF1Data::fromFormat0(const MidiF0Data& song, int capacity) {
    auto file = std::make_unique<MidiF1Data>(capacity);
    file->splitFromFormat0(song);
    return file;
}

MidiF1TrackData* MidiF1Data::track(int index) {
    return index >= 0 && index < trackCount_ ? tracks_[static_cast<size_t>(index)].get() : nullptr;
}

const MidiF1TrackData* MidiF1Data::track(int index) const {
    return index >= 0 && index < trackCount_ ? tracks_[static_cast<size_t>(index)].get() : nullptr;
}

bool MidiF1Data::requireState(int wanted) const {
    if (state_ == wanted) return true;
    format1Error(m1dt::InternalError);
    return false;
}

void MidiF1Data::deleteTracks() {
    for (auto& t : tracks_) t.reset();
}

std::unique_ptr<MidiF1TrackData> MidiF1Data::cloneTrack(const MidiF1TrackData& source) const {
    auto copy = std::make_unique<MidiF1TrackData>(capacity_, source.state());
    for (const auto& e : source.events()) copy->appendEvent(std::make_unique<MidiEvent>(*e));
    return copy;
}

// ---- Reading ---------------------------------------------------------------------------------

int MidiF1Data::readFormat1() {
    deleteTracks();
    trackCount_ = 0;
    if (!readHeader()) {
        state_ = NoteEvents;  // an empty file rather than a half-read one
        loaded_ = false;
        return 0;
    }
    // A chunk cut short has said so and stays empty; the complete tracks still play.
    readTracksAsNotes();
    loaded_ = true;
    return 1;
}

int MidiF1Data::readHeader() {
    if (byteLength_ <= 0 || bytes_.empty()) return 0;
    const int position = readPosition_;
    if (!hasMThd(bytes_.data(), byteLength_, position)) {
        if (!hasMThd(bytes_.data(), byteLength_, position + kMacBinarySize)) {
            format1Error(m1dt::NotMidi);
            return 0;
        }
        std::memmove(bytes_.data() + position, bytes_.data() + position + kMacBinarySize,
                     static_cast<size_t>(byteLength_ - position - kMacBinarySize));
        byteLength_ -= kMacBinarySize;
    }
    if (position + kHeaderSize > byteLength_) {
        format1Error(m1dt::NotMidi);
        return 0;
    }
    const uint8_t* h = bytes_.data() + position;
    if (readBe16(h + 8) != 1) {
        format1Error(m1dt::NotFormat1);
        return 0;
    }
    const int division = readBe16(h + 12);
    if (division == 0) {
        // Every time calculation divides by the division: refuse the file here.
        format1Error(m1dt::InternalDataInvalid);
        return 0;
    }
    if (isSmpteDivision(division)) {
        // Time counted in frames, not quarter notes: nothing here could play it right.
        reportSmpteDivision({}, division);
        return 0;
    }
    int count = readBe16(h + 10);
    if (count >= kTooManyTracks) {
        format1Error(m1dt::TooManyTracks);
        count = kTracksReadOfTooMany;
    }
    trackCount_ = count;
    division_ = division;
    readPosition_ = position + kHeaderSize;
    return 1;
}

int MidiF1Data::readTracks() { return readEachTrack(false, nullptr); }

int MidiF1Data::readTracksAsNotes(std::vector<int>* eventsAsRead) { return readEachTrack(true, eventsAsRead); }

int MidiF1Data::readEachTrack(bool join, std::vector<int>* eventsAsRead) {
    if (!requireState(BytesOnly)) return 0;
    deleteTracks();
    if (eventsAsRead) eventsAsRead->clear();
    const int declared = std::clamp(trackCount_, 0, kMaxF1Tracks);
    int read = 0;
    for (int i = 0; i < declared; ++i) {
        const int position = readPosition_;
        if (position >= byteLength_) {
            format1Error(m1dt::General);
            break;
        }
        auto t = std::make_unique<MidiF1TrackData>(bytes_.data(), byteLength_, position, trackYieldDelay(), capacity_);
        // A chunk that did not read (the track has said why) counts as an empty track.
        if (t->state() != MidiTrackData::MidiEvents)
            t = std::make_unique<MidiF1TrackData>(capacity_, MidiTrackData::MidiEvents);
        int64_t next = int64_t{byteLength_} + 1;
        if (int64_t{position} + 8 <= byteLength_) next = position + 8 + readBe32(bytes_.data() + position + 4);
        readPosition_ = static_cast<int>(std::min<int64_t>(next, byteLength_));
        if (eventsAsRead) eventsAsRead->push_back(t->eventCount());
        if (join) {
            yieldBetweenTracks(i);
            t->joinNotes();
        }
        tracks_[static_cast<size_t>(i)] = std::move(t);
        ++read;
    }
    trackCount_ = read;
    state_ = join ? NoteEvents : MidiEvents;
    return 1;
}

int MidiF1Data::toNotes() {
    if (!requireState(MidiEvents)) return 0;
    for (int i = 0; i < trackCount_; ++i) {
        yieldBetweenTracks(i);
        tracks_[static_cast<size_t>(i)]->joinNotes();
    }
    state_ = NoteEvents;
    return 1;
}

int MidiF1Data::toMidi() {
    if (!requireState(NoteEvents)) return 0;
    for (int i = 0; i < trackCount_; ++i) {
        yieldBetweenTracks(i);
        tracks_[static_cast<size_t>(i)]->splitNotes();
    }
    state_ = MidiEvents;
    return 1;
}

// ---- Writing ---------------------------------------------------------------------------------

int MidiF1Data::encode() {
    if (!requireState(MidiEvents)) return 0;
    // Copies to put back if the file does not fit; not needed when it surely does.
    size_t bound = kHeaderSize;
    bool sure = true;
    for (int i = 0; i < trackCount_ && sure; ++i) {
        const MidiF1TrackData& t = *tracks_[static_cast<size_t>(i)];
        sure = t.surelyEncodesWhole();
        bound += t.chunkSizeBound();
    }
    sure = sure && bound <= static_cast<size_t>(capacity_);
    std::array<std::unique_ptr<MidiF1TrackData>, kMaxF1Tracks> backup;
    if (!sure)
        for (int i = 0; i < trackCount_; ++i) backup[static_cast<size_t>(i)] = cloneTrack(*tracks_[static_cast<size_t>(i)]);
    auto restore = [&] {
        for (int i = 0; i < trackCount_; ++i) {
            auto& t = tracks_[static_cast<size_t>(i)];
            // Without copies (the bound said it would fit, wrongly) the file is at least left
            // in a state it can be used in.
            if (backup[static_cast<size_t>(i)]) t = std::move(backup[static_cast<size_t>(i)]);
            else if (t->state() != MidiTrackData::MidiEvents) t = std::make_unique<MidiF1TrackData>(capacity_, MidiTrackData::MidiEvents);
        }
    };
    if (capacity_ < kHeaderSize) {
        format1Error(m1dt::TooLarge);
        return 0;
    }
    const uint8_t head[kHeaderSize] = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1,
                                       static_cast<uint8_t>(trackCount_ >> 8),
                                       static_cast<uint8_t>(trackCount_ & 0xFF),
                                       static_cast<uint8_t>((division_ >> 8) & 0xFF),
                                       static_cast<uint8_t>(division_ & 0xFF)};
    std::vector<uint8_t> image(head, head + kHeaderSize);
    int64_t position = kHeaderSize;
    for (int i = 0; i < trackCount_; ++i) {
        MidiF1TrackData& t = *tracks_[static_cast<size_t>(i)];
        t.ensureSingleEndOfTrack();
        const int chunk = t.encodeChunk("MTrk");
        const uint8_t* c = t.bytes();
        const bool whole = chunkIsWhole(c, chunk, t.capacity());
        if (!whole || position + chunk > capacity_) {
            if (whole) format1Error(m1dt::TooLarge);
            restore();
            return 0;
        }
        image.insert(image.end(), c, c + chunk);
        position += chunk;
    }
    assign(std::move(image));
    deleteTracks();
    state_ = BytesOnly;
    return 1;
}

int MidiF1Data::saveBytes(std::vector<uint8_t>& out) {
    return saveImage(*this, out, [this] { return encode(); },
                     [this] {
                         readPosition_ = kHeaderSize;
                         readTracks();
                     });
}

int MidiF1Data::saveFile(std::string_view path) {
    std::vector<uint8_t> image;
    if (!saveBytes(image)) return 0;
    std::string reason;
    if (!writeWhole(path, image.data(), image.size(), &reason)) {
        format1Error(m1dt::CantOpenFile, reason);
        return 0;
    }
    return 1;
}

// ---- Song-level operations -------------------------------------------------------------------

int MidiF1Data::splitFromFormat0(const MidiF0Data& song) {
    const MidiTrackData* source = song.track();
    if (song.state() != MidiF0Data::NoteEvents || !source) {
        format1Error(m1dt::InternalError);
        return 0;
    }
    deleteTracks();
    for (int i = 0; i < kSplitTracks; ++i)
        tracks_[static_cast<size_t>(i)] = std::make_unique<MidiF1TrackData>(capacity_, MidiTrackData::NoteEvents);
    int64_t lastTime[kSplitTracks] = {};
    bool full[kSplitTracks] = {};
    bool channelReported = false;
    auto put = [&](int t, const MidiEvent& e, int64_t now) {
        if (full[t]) return;
        auto copy = std::make_unique<MidiEvent>(e);
        copy->delta = clampTicks(now - lastTime[t]);
        if (tracks_[static_cast<size_t>(t)]->appendEvent(std::move(copy)) < 0) {
            full[t] = true;  // reported once by the track; the rest of this part is dropped
            return;
        }
        lastTime[t] = now;
    };
    int64_t now = 0;
    for (const auto& e : source->events()) {
        now += e->delta;
        if (isEndOfTrack(*e)) {
            for (int t = 0; t < kSplitTracks; ++t) put(t, *e, now);
            continue;
        }
        int t = 1;
        if (e->status == ev::Meta) t = 0;
        else if (e->channel >= 0 && e->channel <= 15) t = e->channel + 1;
        else if (e->channel != 255 && !channelReported) {
            format1Error(m1dt::ChannelInvalid);  // kept, with the system exclusive
            channelReported = true;
        }
        put(t, *e, now);
    }
    trackCount_ = kSplitTracks;
    division_ = song.division();
    state_ = NoteEvents;
    loaded_ = true;
    return 1;
}

namespace {

using EventList = std::vector<std::unique_ptr<MidiEvent>>;

// Appends the events of `lists` to `target` in merge order: while several lists have events
// left, the smallest pending delta is found and every list whose next event is due at it
// gives that event, in list order (the first with the delta, the rest with 0), while the
// others have it taken off their pending delta; a last list left gives its events as they
// are. `take(list, index)` is the event to append: a copy, or the event itself. False when
// the target is full (it has said so).
//
// A list's pending delta is kept as the absolute time its next event is due (the merged
// time plus the pending delta), so a round that gives one event touches no other list.
template <class Take>
bool mergeRounds(const std::vector<const EventList*>& lists, MidiTrackData& target, Take take) {
    struct Cursor {
        size_t list;
        size_t index;
        size_t end;
        int64_t due;  // when the next event is due
    };
    std::vector<Cursor> active;  // lists with events left, in list order
    size_t total = target.eventCount();
    for (size_t k = 0; k < lists.size(); ++k) {
        total += lists[k]->size();
        if (!lists[k]->empty()) active.push_back({k, 0, lists[k]->size(), (*lists[k])[0]->delta});
    }
    target.reserveEvents(total + 1);  // and a closing End of Track
    int64_t now = 0;
    // Appends the cursor's next event at the merged time `at`; false when the target is full.
    auto append = [&](Cursor& c, int64_t at) {
        std::unique_ptr<MidiEvent> e = take(c.list, c.index);
        e->delta = clampTicks(at - now);
        now = at;
        if (++c.index < c.end) c.due += (*lists[c.list])[c.index]->delta;
        return target.appendEvent(std::move(e)) >= 0;
    };
    auto dropFinished = [&] {
        active.erase(std::remove_if(active.begin(), active.end(), [](const Cursor& c) { return c.index >= c.end; }),
                     active.end());
    };

    while (!active.empty()) {
        size_t first = 0, dueCount = 0;
        int64_t soonest = active[0].due;
        for (size_t i = 0; i < active.size(); ++i) {
            const int64_t d = active[i].due;
            if (d < soonest) {
                soonest = d;
                first = i;
                dueCount = 1;
            } else if (d == soonest) {
                if (dueCount == 0) first = i;
                ++dueCount;
            }
        }
        if (dueCount == 1) {
            if (!append(active[first], soonest)) return false;
        } else {
            const size_t n = active.size();
            // Each list due this round gives one event, even when its next one is due now
            // too; a list's due time changes only as it gives, so each is checked as found.
            for (size_t i = first; i < n; ++i)
                if (active[i].due == soonest && !append(active[i], soonest)) return false;
        }
        if (active[first].index >= active[first].end || dueCount > 1) dropFinished();
    }
    return true;
}

}  // namespace

MidiTrackData* MidiF1Data::mergeTarget(MidiF0Data& song) const {
    if (!requireState(NoteEvents)) return nullptr;
    if (trackCount_ <= 0) {
        trackError(mdtk::Track);
        return nullptr;
    }
    if (!song.track() || song.state() != MidiF0Data::NoteEvents)
        song.setTrack(std::make_unique<MidiTrackData>(kDefaultSongCapacity, MidiTrackData::NoteEvents),
                      MidiF0Data::NoteEvents);
    song.track()->clearEvents();
    return song.track();
}

int MidiF1Data::finishMerge(MidiF0Data& song, bool ok) const {
    // A full target has already said "Large data"; what fitted is kept.
    song.track()->ensureSingleEndOfTrack();
    song.setDivision(division_);
    return ok ? 1 : 0;
}

std::string MidiF1Data::songTitle() const {
    std::string name;
    if (trackCount_ > 0 && tracks_[0]) tracks_[0]->metaText(meta::TrackName, name);
    return name;
}

int MidiF1Data::mergeInto(MidiF0Data& song) const {
    MidiTrackData* target = mergeTarget(song);
    if (!target) return 0;
    song.setTitle(songTitle());
    std::vector<const EventList*> lists;
    for (int i = 0; i < trackCount_; ++i) lists.push_back(&tracks_[static_cast<size_t>(i)]->events());
    const bool ok = mergeRounds(lists, *target, [&](size_t k, size_t index) {
        return std::make_unique<MidiEvent>(*(*lists[k])[index]);
    });
    return finishMerge(song, ok);
}

int MidiF1Data::moveMergedInto(MidiF0Data& song) {
    MidiTrackData* target = mergeTarget(song);
    if (!target) return 0;
    song.setTitle(songTitle());
    std::vector<EventList> taken;
    std::vector<const EventList*> lists;
    taken.reserve(static_cast<size_t>(trackCount_));
    int oversized = 0;
    for (int i = 0; i < trackCount_; ++i) {
        taken.push_back(tracks_[static_cast<size_t>(i)]->takeEvents());
        lists.push_back(&taken.back());
        for (const auto& e : taken.back()) oversized += e->length >= 256 && e->type != sysex::ManufacturerMessage;
    }
    const bool ok = mergeRounds(lists, *target, [&](size_t k, size_t index) { return std::move(taken[k][index]); });
    const int result = finishMerge(song, ok);
    // Deleting a track reports each such event; the events taken out are reported as the
    // tracks would have reported them.
    for (int i = 0; i < oversized; ++i) trackError(mdtk::CantAddData);
    return result;
}

int MidiF1Data::masterVolumeOfAll() const {
    int result = -1;
    for (int i = 0; i < trackCount_; ++i) {
        const int v = tracks_[static_cast<size_t>(i)]->masterVolume();
        if (v < 0) continue;
        if (result >= 0) {
            format1Error(m1dt::TwoMasterVolumes);
            break;
        }
        result = v;
    }
    return result;
}

void MidiF1Data::setMasterVolume(int volume) {
    if (trackCount_ <= 0) return;
    for (int i = 0; i < trackCount_; ++i) {
        MidiF1TrackData& t = *tracks_[static_cast<size_t>(i)];
        if (t.firstChannel() != 255) {
            t.insertMasterVolumeAt(volume, 0);
            return;
        }
    }
    tracks_[0]->insertMasterVolumeAt(volume, 0);
}

void MidiF1Data::ensureMasterVolume(bool showMessage) {
    if (trackCount_ <= 0 || masterVolumeOfAll() >= 0) return;
    if (showMessage) format1Error(m1dt::NoMasterVolume);
    setMasterVolume(127);
}

int MidiF1Data::gmOnToFront() {
    for (int i = 0; i < trackCount_; ++i) {
        MidiF1TrackData& t = *tracks_[static_cast<size_t>(i)];
        const auto& events = t.events();
        const bool onlyMeta = events.size() != 1 &&
                              std::all_of(events.begin(), events.end(), [](const auto& e) { return e->status == ev::Meta; });
        if (!onlyMeta) return t.gmSystemOnToFront();
    }
    return 0;
}

void MidiF1Data::foldVolumeIntoVelocityAll() {
    for (int i = 0; i < trackCount_; ++i) tracks_[static_cast<size_t>(i)]->foldVolumeIntoVelocity();
}

int MidiF1Data::removeMetaFromTracks(uint32_t type, bool all) {
    if (!requireState(NoteEvents)) return 0;
    for (int i = 0; i < trackCount_; ++i)
        if (tracks_[static_cast<size_t>(i)]->removeMeta(type, all) > 0) return 1;
    return 0;
}

int MidiF1Data::anyTrackRepaired() {
    if (!requireState(NoteEvents)) return 0;
    int repaired = 0;
    for (int i = 0; i < trackCount_; ++i)
        if (tracks_[static_cast<size_t>(i)]->validateNotes()) repaired = 1;
    return repaired;
}

}  // namespace tunecase

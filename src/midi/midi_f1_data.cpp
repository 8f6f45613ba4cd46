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
    readTracks();
    toNotes();
    loaded_ = true;
    return 1;
}

int MidiF1Data::readHeader() {
    if (byteLength_ <= 0 || !bytes_) return 0;
    const int position = readPosition_;
    if (!hasMThd(bytes_.get(), byteLength_, position)) {
        if (!hasMThd(bytes_.get(), byteLength_, position + kMacBinarySize)) {
            format1Error(m1dt::NotMidi);
            return 0;
        }
        std::memmove(bytes_.get() + position, bytes_.get() + position + kMacBinarySize,
                     static_cast<size_t>(byteLength_ - position - kMacBinarySize));
        byteLength_ -= kMacBinarySize;
    }
    if (position + kHeaderSize > byteLength_) {
        format1Error(m1dt::NotMidi);
        return 0;
    }
    const uint8_t* h = bytes_.get() + position;
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

int MidiF1Data::readTracks() {
    if (!requireState(BytesOnly)) return 0;
    deleteTracks();
    const int declared = std::clamp(trackCount_, 0, kMaxF1Tracks);
    int read = 0;
    for (int i = 0; i < declared; ++i) {
        const int position = readPosition_;
        if (position >= byteLength_) {
            format1Error(m1dt::General);
            break;
        }
        auto t = std::make_unique<MidiF1TrackData>(bytes_.get(), byteLength_, position, trackYieldDelay(), capacity_);
        // A chunk that did not read (the track has said why) counts as an empty track.
        if (t->state() != MidiTrackData::MidiEvents)
            t = std::make_unique<MidiF1TrackData>(capacity_, MidiTrackData::MidiEvents);
        int64_t next = int64_t{byteLength_} + 1;
        if (int64_t{position} + 8 <= byteLength_) next = position + 8 + readBe32(bytes_.get() + position + 4);
        readPosition_ = static_cast<int>(std::min<int64_t>(next, byteLength_));
        tracks_[static_cast<size_t>(i)] = std::move(t);
        ++read;
    }
    trackCount_ = read;
    state_ = MidiEvents;
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
    std::array<std::unique_ptr<MidiF1TrackData>, kMaxF1Tracks> backup;
    for (int i = 0; i < trackCount_; ++i) backup[static_cast<size_t>(i)] = cloneTrack(*tracks_[static_cast<size_t>(i)]);
    auto restore = [&] {
        for (int i = 0; i < trackCount_; ++i) tracks_[static_cast<size_t>(i)] = std::move(backup[static_cast<size_t>(i)]);
    };
    if (capacity_ < kHeaderSize) {
        format1Error(m1dt::TooLarge);
        return 0;
    }
    uint8_t* out = bytes_.get();
    static constexpr uint8_t kHead[] = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1};
    std::memcpy(out, kHead, sizeof kHead);
    out[10] = static_cast<uint8_t>(trackCount_ >> 8);
    out[11] = static_cast<uint8_t>(trackCount_ & 0xFF);
    out[12] = static_cast<uint8_t>((division_ >> 8) & 0xFF);
    out[13] = static_cast<uint8_t>(division_ & 0xFF);
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
        std::memcpy(out + position, c, static_cast<size_t>(chunk));
        position += chunk;
    }
    byteLength_ = static_cast<int>(position);
    readPosition_ = 0;
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

int MidiF1Data::mergeInto(MidiF0Data& song) const {
    if (!requireState(NoteEvents)) return 0;
    if (trackCount_ <= 0) {
        trackError(mdtk::Track);
        return 0;
    }
    if (!song.track() || song.state() != MidiF0Data::NoteEvents)
        song.setTrack(std::make_unique<MidiTrackData>(0x60000, MidiTrackData::NoteEvents), MidiF0Data::NoteEvents);
    MidiTrackData& target = *song.track();
    target.clearEvents();

    struct Cursor {
        const MidiTrackData* track;
        size_t index;
        int64_t pending;  // what is left of the next event's delta
    };
    std::vector<Cursor> cursors;
    for (int i = 0; i < trackCount_; ++i) {
        const MidiTrackData* t = tracks_[static_cast<size_t>(i)].get();
        cursors.push_back({t, 0, t->events().empty() ? 0 : t->events()[0]->delta});
    }
    auto hasMore = [](const Cursor& c) { return c.index < c.track->events().size(); };
    auto take = [&](Cursor& c, int64_t delta) {
        auto copy = std::make_unique<MidiEvent>(*c.track->events()[c.index]);
        copy->delta = clampTicks(delta);
        ++c.index;
        if (hasMore(c)) c.pending = c.track->events()[c.index]->delta;
        return target.appendEvent(std::move(copy)) >= 0;
    };

    bool ok = true;
    while (ok) {
        int left = 0;
        Cursor* only = nullptr;
        int64_t smallest = 0;
        for (auto& c : cursors) {
            if (!hasMore(c)) continue;
            if (left == 0 || c.pending < smallest) smallest = c.pending;
            ++left;
            only = &c;
        }
        if (left == 0) break;
        if (left == 1) {
            ok = take(*only, only->pending);
            continue;
        }
        bool first = true;
        for (auto& c : cursors) {
            if (!hasMore(c)) continue;
            if (c.pending == smallest) {
                ok = take(c, first ? smallest : 0) && ok;
                first = false;
                if (!ok) break;
            } else {
                c.pending -= smallest;
            }
        }
    }
    // A full target has already said "Large data"; what fitted is kept.
    target.ensureSingleEndOfTrack();
    song.setDivision(division_);
    return ok ? 1 : 0;
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

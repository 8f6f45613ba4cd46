#include "midi/midi_f0_data.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "base/utilities.h"
#include "midi/midi_f1_data.h"
#include "midi/midi_file_messages.h"
#include "midi/midi_messages.h"
#include "midi/smf_bytes.h"

namespace tunecase {

namespace {

using namespace smf;


bool isTempo(const MidiEvent* e) { return e && e->status == ev::Meta && e->type == meta::Tempo; }


// A deep copy of the events of a track in any state, for undoing a failed encode.
std::unique_ptr<MidiTrackData> cloneTrack(const MidiTrackData& source) {
    auto copy = std::make_unique<MidiTrackData>(source.capacity(), source.state());
    for (const auto& e : source.events()) copy->appendEvent(std::make_unique<MidiEvent>(*e));
    return copy;
}

}  // namespace

// ---- Construction ----------------------------------------------------------------------------

MidiF0Data::MidiF0Data(int capacity) : MidiByteBuffer(capacity) {}

MidiF0Data::MidiF0Data(const MidiF0Data& other) : MidiByteBuffer(other.capacity()) {
    division_ = other.division_;
    timeSignatureOverride_ = other.timeSignatureOverride_;
    titleKept_ = other.titleKept_;
    title_ = other.title_;
    if (other.state_ != NoteEvents || !other.track_) {
        format0Error(m0dt::InternalError);
        becomeEmptySong();
        return;
    }
    track_ = std::make_unique<MidiTrackData>(*other.track_, kDefaultSongCapacity);
    state_ = NoteEvents;
    loaded_ = other.loaded_;
}

std::unique_ptr<MidiF0Data> MidiF0Data::newSong(int capacity) {
    auto song = std::make_unique<MidiF0Data>(capacity);
    song->track_ = std::make_unique<MidiTrackData>(capacity, MidiTrackData::NoteEvents);
    song->state_ = NoteEvents;
    song->division_ = kNewSongDivision;
    song->loaded_ = true;
    return song;
}

std::unique_ptr<MidiF0Data> MidiF0Data::fromBytes(const uint8_t* bytes, int length) {
    auto song = std::make_unique<MidiF0Data>(kDefaultSongCapacity);
    if (length > song->capacity()) {
        format1Error(m1dt::TooLarge);
        song->becomeEmptySong();
        return song;
    }
    song->assign(bytes, std::max(length, 0));
    if (!song->readHeader(true)) {
        song->becomeEmptySong();
        return song;
    }
    const bool whole = song->readTrack();
    song->toNotes();
    if (!whole) song->becomeEmptySong();  // a file cut short is not played in part
    song->loaded_ = whole;
    return song;
}

std::unique_ptr<MidiF0Data> MidiF0Data::openFile(std::string_view path, int capacity) {
    auto song = std::make_unique<MidiF0Data>(capacity);
    // A larger file would be read cut short and its track would run past the data.
    if (fileSize(path) > song->capacity()) {
        format1Error(m1dt::TooLarge);
        song->becomeEmptySong();
        return song;
    }
    if (!song->loadFile(path)) {  // the loader has said why
        song->becomeEmptySong();
        return song;
    }
    // Read in quarter notes, SMPTE frames would play at a wrong speed, or not at all.
    if (const int smpte = smpteDivisionOf(song->bytes(), song->byteLength())) {
        reportSmpteDivision(path, smpte);
        song->becomeEmptySong();
        return song;
    }
    switch (song->probeHeader()) {
        case Header::Ok: {
            const bool whole = song->readTrack();
            song->toNotes();
            if (!whole) song->becomeEmptySong();  // a file cut short is not played in part
            song->loaded_ = whole;
            return song;
        }
        case Header::ZeroDivision:
            // Every time calculation divides by the division: refuse the file here.
            format0Error(m0dt::MusicalInformation);
            song->becomeEmptySong();
            return song;
        case Header::Empty:
            format1Error(m1dt::NotMidi);
            song->becomeEmptySong();
            return song;
        default: break;
    }
    // Not format 0: one attempt through the format 1 reader, which does not come back here.
    auto file = MidiF1Data::fromBytes(song->bytes(), song->byteLength(), false, capacity);
    song->becomeEmptySong();
    if (file->state() == MidiF1Data::NoteEvents && file->isLoaded()) {
        file->moveMergedInto(*song);
        song->loaded_ = true;
    }
    return song;
}

int MidiF0Data::fileFormatOf(uint8_t* bytes, int& length) {
    if (!bytes || length <= 0) return -1;
    if (!hasMThd(bytes, length, 0) && hasMThd(bytes, length, kMacBinarySize)) {
        std::memmove(bytes, bytes + kMacBinarySize, static_cast<size_t>(length - kMacBinarySize));
        length -= kMacBinarySize;
    }
    if (length < 10 || !hasMThd(bytes, length, 0)) return -1;
    if (bytes[8] == 0 && bytes[9] == 0) return 0;
    if (bytes[8] == 0 && bytes[9] == 1) return 1;
    return -1;
}

void MidiF0Data::setTrack(std::unique_ptr<MidiTrackData> track, int state) {
    titleKept_ = false;  // a new track brings its own name
    title_.clear();
    track_ = std::move(track);
    state_ = track_ ? state : BytesOnly;
}

std::string MidiF0Data::title() const {
    if (titleKept_) return title_;
    std::string name;
    if (track_) track_->metaText(meta::TrackName, name);
    return name;
}

void MidiF0Data::setTitle(std::string title) {
    title_ = std::move(title);
    titleKept_ = true;
}

void MidiF0Data::becomeEmptySong() {
    titleKept_ = false;
    title_.clear();
    track_ = std::make_unique<MidiTrackData>(kDefaultSongCapacity, MidiTrackData::NoteEvents);
    state_ = NoteEvents;
    loaded_ = false;
}

bool MidiF0Data::requireState(int wanted) const {
    if (state_ == wanted && (wanted == BytesOnly || track_)) return true;
    format0Error(m0dt::InternalError);
    return false;
}

// ---- Reading ---------------------------------------------------------------------------------

MidiF0Data::Header MidiF0Data::probeHeader() {
    if (byteLength_ <= 0 || bytes_.empty()) return Header::Empty;
    const int position = readPosition_;
    if (!hasMThd(bytes_.data(), byteLength_, position)) {
        if (!hasMThd(bytes_.data(), byteLength_, position + kMacBinarySize)) return Header::NotMidi;
        std::memmove(bytes_.data() + position, bytes_.data() + position + kMacBinarySize,
                     static_cast<size_t>(byteLength_ - position - kMacBinarySize));
        byteLength_ -= kMacBinarySize;
    }
    if (position + kHeaderSize > byteLength_) return Header::NotMidi;
    const uint8_t* h = bytes_.data() + position;
    const int format = readBe16(h + 8);
    if (format != 0) return format == 1 ? Header::Format1 : Header::WrongFormat;
    if (readBe16(h + 10) != 1) return Header::WrongTrackCount;
    const int division = readBe16(h + 12);
    if (division == 0) return Header::ZeroDivision;
    if (isSmpteDivision(division)) return Header::Smpte;
    division_ = division;
    readPosition_ = position + kHeaderSize;
    return Header::Ok;
}

int MidiF0Data::readHeader(bool showMessages) {
    const Header result = probeHeader();
    uint32_t code = 0;
    switch (result) {
        case Header::Ok: return 1;
        case Header::Empty: return 0;
        case Header::NotMidi: code = m0dt::NotMidi; break;
        case Header::WrongFormat:
        case Header::Format1: code = m0dt::NotFormat0; break;
        case Header::WrongTrackCount: code = m0dt::TrackCountInvalid; break;
        case Header::ZeroDivision: code = m0dt::MusicalInformation; break;
        case Header::Smpte:
            // The header is still at the read position.
            if (showMessages) reportSmpteDivision({}, readBe16(bytes_.data() + readPosition_ + 12));
            return 0;
    }
    if (showMessages) format0Error(code);
    return 0;
}

int MidiF0Data::readTrack() {
    if (!requireState(BytesOnly)) return 0;
    const int position = readPosition_;
    auto track = std::make_unique<MidiTrackData>(bytes_.data(), byteLength_, position, trackYieldDelay(),
                                                 kDefaultSongCapacity);
    // A chunk that did not read (the track has said why) leaves an empty song.
    if (track->state() != MidiTrackData::MidiEvents)
        track = std::make_unique<MidiTrackData>(kDefaultSongCapacity, MidiTrackData::MidiEvents);
    int64_t next = int64_t{byteLength_} + 1;
    if (int64_t{position} + 8 <= byteLength_) next = position + 8 + readBe32(bytes_.data() + position + 4);
    const bool truncated = next > byteLength_;
    readPosition_ = static_cast<int>(std::min<int64_t>(next, byteLength_));
    track_ = std::move(track);
    state_ = MidiEvents;
    return truncated ? 0 : 1;
}

int MidiF0Data::toNotes() {
    if (!requireState(MidiEvents)) return 0;
    track_->joinNotes();
    state_ = NoteEvents;
    return 1;
}

int MidiF0Data::toMidi() {
    if (!requireState(NoteEvents)) return 0;
    track_->splitNotes();
    state_ = MidiEvents;
    return 1;
}

// ---- Writing ---------------------------------------------------------------------------------

int MidiF0Data::encode(bool raw) {
    if (!requireState(MidiEvents)) return 0;
    // A copy to put back if the song does not fit; not needed when it surely does.
    std::unique_ptr<MidiTrackData> backup;
    if (!track_->surelyEncodesWhole() || kHeaderSize + track_->chunkSizeBound() > static_cast<size_t>(capacity_))
        backup = cloneTrack(*track_);
    if (!raw) {
        track_->prepareForWriting();
        track_->sysExToFrontOfSlot();
    }
    // A chunk can only be written with End of Track as its last event.
    track_->ensureSingleEndOfTrack();
    const int chunk = track_->encodeChunk("MTrk");
    const uint8_t* c = track_->bytes();
    const bool whole = chunkIsWhole(c, chunk, track_->capacity());
    if (!whole || kHeaderSize + chunk > capacity_) {
        if (chunk > 0 && whole) trackError(mdtk::CantAddData);
        // Without a copy (the bound said it would fit, wrongly) the song is at least left
        // in a state it can be used in.
        track_ = backup ? std::move(backup) : std::make_unique<MidiTrackData>(kDefaultSongCapacity, MidiEvents);
        return 0;
    }
    const uint8_t head[kHeaderSize] = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1,
                                       static_cast<uint8_t>((division_ >> 8) & 0xFF),
                                       static_cast<uint8_t>(division_ & 0xFF)};
    std::vector<uint8_t> image;
    image.reserve(static_cast<size_t>(kHeaderSize + chunk));
    image.insert(image.end(), head, head + kHeaderSize);
    image.insert(image.end(), c, c + chunk);
    assign(std::move(image));
    track_.reset();
    state_ = BytesOnly;
    return 1;
}

int MidiF0Data::saveBytes(std::vector<uint8_t>& out, bool raw) {
    return saveImage(*this, out, [&] { return encode(raw); },
                     [this] {
                         readPosition_ = kHeaderSize;
                         readTrack();
                     });
}

int MidiF0Data::saveFile(std::string_view path, bool raw) {
    std::vector<uint8_t> image;
    if (!saveBytes(image, raw)) return 0;
    std::string reason;
    if (!writeWhole(path, image.data(), image.size(), &reason)) {
        format0Error(m0dt::CantOpenFile, reason);
        return 0;
    }
    return 1;
}

// ---- Time and tempo --------------------------------------------------------------------------

int MidiF0Data::changeDivision(int newDivision) {
    if (!requireState(NoteEvents)) return 0;
    if (newDivision <= 0 || newDivision > 0x7FFF || division_ <= 0) {
        format0Error(m0dt::MusicalInformation);
        return 0;
    }
    track_->rescaleTime(division_, newDivision, false);
    division_ = newDivision;
    return 1;
}

void MidiF0Data::trimStart(int64_t ticks) {
    if (!track_ || ticks <= 0) return;
    int64_t total = 0;
    for (int i = 0; i < track_->eventCount(); ++i) {
        MidiEvent* e = track_->event(i);
        if (total + e->delta > ticks) {
            e->delta = clampTicks(total + e->delta - ticks);
            return;
        }
        total += e->delta;
        e->delta = 0;
    }
}

int64_t MidiF0Data::roundStartToMeasure() {
    if (state_ != MidiEvents && state_ != NoteEvents) {
        format0Error(m0dt::InternalError);
        return 0;
    }
    if (!track_) return 0;
    int64_t t = 0;
    for (int i = 0; i < track_->eventCount(); ++i) {
        const MidiEvent* e = track_->event(i);
        t += e->delta;
        if (e->status == ev::Note || (e->status == ev::NoteOn && e->velocity > 0)) {
            const int measure = measureTicks();
            const int64_t trimmed = t / measure * measure;
            trimStart(trimmed);
            return trimmed;
        }
    }
    return 0;
}

int MidiF0Data::timeSignatureCode(int& out) const {
    if (timeSignatureOverride_ != 0) {
        out = timeSignatureOverride_;
        return 1;
    }
    return track_ ? track_->timeSignatureCode(out) : 0;
}

int MidiF0Data::measureTicks() const {
    int code = 0;
    if (!timeSignatureCode(code) || division_ <= 0) return kDefaultMeasureTicks;
    const int numerator = (code >> 8) & 0xFF;
    const int denominator = code & 0xFF;
    // A measure of no ticks would stall every caller that counts measures.
    if (numerator == 0 || denominator == 0) return kDefaultMeasureTicks;
    const int64_t ticks = int64_t{4} * numerator * division_ / denominator;
    return ticks < 1 ? 1 : static_cast<int>(std::min<int64_t>(ticks, INT_MAX));
}

int64_t MidiF0Data::lengthInTicks() const {
    if (state_ != NoteEvents || !track_) {
        trackError(mdtk::InternalError);
        return 0;
    }
    return track_->lengthInTicks();
}

int MidiF0Data::tempoToFrontOfSlot() {
    if (!track_) return 0;
    int removed = 0;
    int groupStart = 0;
    for (int i = 0; i < track_->eventCount(); ++i) {
        MidiEvent* e = track_->event(i);
        if (i == 0 || e->delta != 0) groupStart = i;
        if (!isTempo(e) || i == groupStart) continue;
        MidiEvent* front = track_->event(groupStart);
        if (isTempo(front)) {  // the later tempo of the same moment wins
            front->status = ev::Deleted;
            ++removed;
        }
        track_->swapEvents(groupStart, i);
    }
    if (removed) track_->compact();
    return removed;
}

int MidiF0Data::removeTempos(int first, int last) {
    if (!track_) return 0;
    const int n = track_->eventCount();
    const int end = (last < 0 || last >= n) ? n - 1 : last;
    int removed = 0;
    for (int i = std::max(first, 0); i <= end; ++i) {
        MidiEvent* e = track_->event(i);
        if (isTempo(e)) {
            e->status = ev::Deleted;
            ++removed;
        }
    }
    if (removed) track_->compact();
    return removed;
}

int MidiF0Data::insertTempoAtFirstNote(int microsecondsPerQuarter) {
    if (!requireState(NoteEvents)) return 0;
    const int first = track_->firstNoteIndex();
    int inserted = 0;
    if (first < track_->eventCount()) {
        bool tempoFirst = false;
        for (int i = 0; i < first && !tempoFirst; ++i) tempoFirst = isTempo(track_->event(i));
        if (!tempoFirst) {
            int lastOfGroup = first;
            for (int i = first + 1; i < track_->eventCount() && track_->event(i)->delta == 0; ++i)
                if (track_->event(i)->status == ev::Note) lastOfGroup = i;
            inserted = track_->insertTempoAt(lastOfGroup, microsecondsPerQuarter) >= 0 ? 1 : 0;
        }
    }
    tempoToFrontOfSlot();
    return inserted;
}

int MidiF0Data::deleteChannel(int channel) { return track_ ? track_->removeChannel(channel) : 0; }

}  // namespace tunecase

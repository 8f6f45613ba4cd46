// The byte codec of a track chunk: reading every event of a chunk into the track and
// encoding the track's events back into a chunk. The reader checks every byte against the
// chunk end, so truncated or hostile chunks end with a message and never read past the data.
//
// Reading is one small reader per kind of event (channel voice messages, system exclusive,
// escaped data, meta events) under a loop that reads the delta and the status byte.
// Writing is a pure encoder per event (event in, bytes out, no messages) under a loop that
// adds the delta, reports what the encoder found and guards the capacity.
#include <algorithm>
#include <cstring>
#include <vector>

#include "midi/midi_messages.h"
#include "midi/midi_track_data.h"
#include "midi/track_internal.h"

namespace tunecase {

namespace {

// The chunk header: a 4-character identifier and the big-endian length of the data.
constexpr size_t kChunkHeaderSize = 8;

// The encoder keeps this many bytes of the capacity free; an event that would reach into
// them is not written.
constexpr size_t kEncoderReserve = 256;

// ---- Reading ------------------------------------------------------------------------------

bool isStatusByte(uint8_t b) { return (b >= 0x80 && b <= 0xEF) || b == 0xF0 || b == 0xF7 || b == 0xFF; }

// Payload sizes of the meta events that are read with a fixed size; -1 for the others.
int fixedMetaSize(uint8_t type) {
    switch (type) {
        case 0x00: return 2;
        case 0x20: return 1;
        case 0x2F: return 0;
        case 0x51: return 3;
        case 0x54: return 5;
        case 0x58: return 4;
        case 0x59: return 2;
        default: return -1;
    }
}

bool isKeptTextMeta(uint8_t type) { return (type >= 0x01 && type <= 0x07) || type == 0x7F || type == 0x09; }

// A cursor over [start, end) of a chunk's bytes. Callers check `has` before they take.
class ChunkReader {
public:
    ChunkReader(const uint8_t* bytes, size_t end, size_t start) : b_(bytes), end_(end), p_(start) {}

    bool atEnd() const { return p_ >= end_; }
    size_t remaining() const { return p_ < end_ ? end_ - p_ : 0; }
    bool has(size_t n) const { return p_ <= end_ && end_ - p_ >= n; }
    uint8_t peek() const { return b_[p_]; }
    uint8_t take() { return b_[p_++]; }
    const uint8_t* here() const { return b_ + p_; }
    void skip(size_t n) { p_ += n; }

    // A variable-length quantity of any number of bytes; values above INT32_MAX saturate.
    bool quantity(int64_t& out) {
        out = 0;
        while (p_ < end_) {
            const uint8_t c = b_[p_++];
            out = std::min<int64_t>((out << 7) | (c & 0x7F), INT32_MAX);
            if (!(c & 0x80)) return true;
        }
        return false;
    }

private:
    const uint8_t* b_;
    size_t end_;
    size_t p_;
};

// The status byte of the next event, or -1 when there is none. A status byte in hand is
// taken; any other byte stays in hand as the first data byte of `running` (the last status
// byte other than FF, -1 before the first).
int takeStatus(ChunkReader& in, int running) {
    if (isStatusByte(in.peek())) return in.take();
    return running;
}

// Sets the fields of a channel voice message of `kind` (80..E0) from its data bytes,
// repairing a key (note on and off) or program of 128 or more with its message.
void decodeChannelMessage(int kind, uint8_t d1, uint8_t d2, MidiEvent& e) {
    switch (kind) {
        case 0x80:
        case 0x90:
            e.status = (kind == 0x90 && d2 != 0) ? ev::NoteOn : ev::NoteOff;
            e.data1 = d1;
            e.velocity = d2;
            if (d1 >= 128) {
                trackWarning(mdtk::NoteNumberRepaired);
                e.data1 = 0;
                e.velocity = 0;
            }
            break;
        case 0xA0:
            e.status = ev::PolyPressure;
            e.data1 = d1;
            e.value = d2;
            break;
        case 0xB0:
            e.status = ev::ControlChange;
            e.type = d1;
            e.value = d2;
            break;
        case 0xC0:
            e.status = ev::ProgramChange;
            e.value = d1;
            if (d1 >= 128) {
                trackError(mdtk::WrongProgram);
                e.value = 0;
            }
            break;
        case 0xD0:
            e.status = ev::ChannelPressure;
            e.value = d1;
            break;
        default:  // 0xE0
            e.status = ev::PitchBend;
            e.data1 = d1;
            e.value = d2;
            break;
    }
}

// A channel voice message with status byte 80..EF (given, or running): its 1 or 2 data
// bytes. Keeps the status byte and the data bytes as the event's data. False when the data
// bytes run past the chunk end.
bool readChannelMessage(ChunkReader& in, int statusByte, MidiEvent& e) {
    const int kind = statusByte & 0xF0;
    e.channel = statusByte & 0x0F;
    const size_t dataBytes = (kind == 0xC0 || kind == 0xD0) ? 1 : 2;
    if (!in.has(dataBytes)) return false;
    uint8_t stored[3] = {static_cast<uint8_t>(statusByte), 0, 0};
    for (size_t k = 0; k < dataBytes; ++k) stored[1 + k] = in.take();
    e.setData(stored, static_cast<int>(1 + dataBytes));
    decodeChannelMessage(kind, stored[1], stored[2], e);
    return true;
}

// System exclusive after its F0: everything up to and including the next F7, whatever the
// stored length says. Keeps F0 and those bytes as the event's data and classifies them.
// False when no F7 comes before the chunk end.
bool readSysEx(ChunkReader& in, MidiEvent& e) {
    const uint8_t* from = in.here();
    const void* f7 = std::memchr(from, 0xF7, in.remaining());
    if (!f7) return false;
    const size_t n = static_cast<size_t>(static_cast<const uint8_t*>(f7) - from) + 1;
    in.skip(n);
    e.status = ev::SysEx;
    e.setData(0xF0, from, static_cast<int>(n));
    e.classifySysEx();
    return true;
}

// Escaped data after its F7: one length byte and that many bytes. Keeps F7, the length byte
// and the bytes as the event's data. False when they run past the chunk end.
bool readEscapedSysEx(ChunkReader& in, MidiEvent& e) {
    if (!in.has(1) || !in.has(1 + size_t{in.peek()})) return false;
    const size_t n = 1 + size_t{in.peek()};
    e.status = ev::EscapedSysEx;
    e.setData(0xF7, in.here(), static_cast<int>(n));
    in.skip(n);
    return true;
}

// Tempo from its 3 payload bytes; 0 is reported and read as 500,000.
void decodeTempo(const uint8_t* p, MidiEvent& e) {
    e.value = (p[0] << 16) | (p[1] << 8) | p[2];
    e.setData(p, 3);
    if (e.value == 0) {
        trackError(mdtk::TempoWrong);
        e.value = 500000;
    }
}

// Time signature from its 4 payload bytes: value = numerator * 256 + 2^exponent. A zero
// numerator or an exponent of 0 or above 7 is reported and read as 4/4.
void decodeTimeSignature(const uint8_t* p, MidiEvent& e) {
    uint8_t sig[4] = {p[0], p[1], p[2], p[3]};
    if (sig[0] == 0 || sig[1] == 0 || sig[1] > 7) {
        trackError(mdtk::TimeSign);
        sig[0] = 4;  // keep the bytes in step with the 4/4 now in use
        sig[1] = 2;
    }
    e.value = sig[0] * 256 + (1 << sig[1]);
    e.setData(sig, 4);
}

// A meta event of a type read with a fixed payload size: the stored length byte is skipped,
// not checked. Tempo, time and key signature keep their bytes; the others keep only the
// size. False when the payload runs past the chunk end.
bool readFixedMeta(ChunkReader& in, uint8_t type, int size, MidiEvent& e) {
    if (!in.has(1 + static_cast<size_t>(size))) return false;
    in.skip(1);
    const uint8_t* p = in.here();
    in.skip(static_cast<size_t>(size));
    if (type == meta::Tempo) {
        decodeTempo(p, e);
    } else if (type == meta::TimeSignature) {
        decodeTimeSignature(p, e);
    } else if (type == meta::KeySignature) {
        e.setData(p, 2);
    } else if (size > 0) {
        e.reserve(size);  // only the size is kept
        e.length = size;
    }
    return true;
}

// A meta event whose payload size is a variable-length quantity. Texts (01..07, 7F, and
// 09 stored as 04) keep their bytes; any other type is marked deleted. False when the size
// or the payload runs past the chunk end.
bool readSizedMeta(ChunkReader& in, uint8_t type, MidiEvent& e) {
    int64_t size = 0;
    if (!in.quantity(size) || !in.has(static_cast<size_t>(size))) return false;
    const uint8_t* p = in.here();
    in.skip(static_cast<size_t>(size));
    if (isKeptTextMeta(type)) {
        if (type == meta::DeviceName) e.type = meta::InstrumentName;
        e.setData(p, static_cast<int>(size));
    } else {
        e.status = ev::Deleted;  // an unknown meta type is dropped
    }
    return true;
}

// A meta event after its FF: the type byte, then the payload. False when it runs past the
// chunk end.
bool readMeta(ChunkReader& in, MidiEvent& e) {
    e.status = ev::Meta;
    if (in.atEnd()) return false;
    const uint8_t type = in.take();
    e.type = type;
    const int fixed = fixedMetaSize(type);
    return fixed >= 0 ? readFixedMeta(in, type, fixed, e) : readSizedMeta(in, type, e);
}

// The rest of an event whose status byte is `statusByte`, by its kind. False when the event
// runs past the chunk end.
bool readEventBody(ChunkReader& in, int statusByte, MidiEvent& e) {
    if (statusByte < 0xF0) return readChannelMessage(in, statusByte, e);
    if (statusByte == 0xF0) return readSysEx(in, e);
    if (statusByte == 0xF7) return readEscapedSysEx(in, e);
    return readMeta(in, e);
}

// ---- Writing ------------------------------------------------------------------------------

// Writes `v` as a variable-length quantity (7 bits a byte, most significant group first,
// the high bit set on every byte but the last) and returns the number of bytes, 1 to 5.
size_t putQuantity(uint32_t v, uint8_t out[5]) {
    uint8_t groups[5];
    size_t n = 0;
    do {
        groups[n++] = static_cast<uint8_t>(v & 0x7F);
        v >>= 7;
    } while (v != 0 && n < 5);
    for (size_t k = 0; k < n; ++k) out[k] = static_cast<uint8_t>(groups[n - 1 - k] | (k + 1 < n ? 0x80 : 0));
    return n;
}

void appendQuantity(std::vector<uint8_t>& out, uint32_t v) {
    uint8_t q[5];
    out.insert(out.end(), q, q + putQuantity(v, q));
}

uint8_t dataByte(int64_t v) { return static_cast<uint8_t>(std::clamp<int64_t>(v, 0, 127)); }

// System exclusive (F0) or escaped data (F7) from its stored bytes: the lead byte, the
// length as read (a variable-length quantity) and what followed it. The stored length can
// be wrong, since system exclusive is read up to its F7 whatever it says; the length written
// is always the count of the bytes written after it.
void appendSysEx(std::vector<uint8_t>& out, const MidiEvent& e) {
    const uint8_t* d = e.getData();
    if (!d) return;
    const size_t n = static_cast<size_t>(std::clamp(e.length, 0, e.bufferSize()));
    if (n == 0) return;
    // Skip the stored length: continuation bytes, then its last byte. An F7 ends the message
    // even where a length byte was expected.
    size_t payload = 1;
    while (payload < n && payload < 4 && (d[payload] & 0x80) && d[payload] != 0xF7) ++payload;
    if (payload < n && d[payload] != 0xF7) ++payload;
    out.push_back(d[0]);
    appendQuantity(out, static_cast<uint32_t>(n - payload));
    out.insert(out.end(), d + payload, d + n);
}

uint8_t log2Of(int denominator) {
    uint8_t exponent = 0;
    while (exponent < 7 && (1 << exponent) < denominator) ++exponent;
    return (1 << exponent) == denominator ? exponent : 2;
}

// What the encoder of one event found; the chunk writer turns it into a message.
enum class EncodeIssue {
    None,
    ChannelWrong,    // a channel message outside channels 0..15: nothing written
    UndefinedEvent,  // a status with no encoding: nothing written
    LongMeta,        // a meta event longer than 128 bytes (not 7F): written all the same
};

bool isChannelMessage(int32_t status) { return status >= 0x80 && status <= 0xE0 && (status & 0x0F) == 0; }

// A channel voice message: status byte with the channel, then its data bytes. A key
// outside 0..127 is written as 0, other data bytes are clamped to 0..127, and a note off
// always carries release velocity 64. Poly pressure as read keeps its stored bytes.
EncodeIssue encodeChannelMessage(const MidiEvent& e, std::vector<uint8_t>& out) {
    if (e.channel < 0 || e.channel > 15) return EncodeIssue::ChannelWrong;
    const uint8_t sb = static_cast<uint8_t>(e.status | e.channel);
    const uint8_t key = (e.data1 >= 0 && e.data1 <= 127) ? static_cast<uint8_t>(e.data1) : 0;
    switch (e.status) {
        case ev::NoteOff: out.insert(out.end(), {sb, key, 64}); break;
        case ev::NoteOn: out.insert(out.end(), {sb, key, dataByte(e.velocity)}); break;
        case ev::PolyPressure:
            // As read, the key and pressure are in the stored bytes; the status byte always
            // carries the event's own channel, which may have changed since.
            if (e.getData() && e.length >= 3 && e.bufferSize() >= 3)
                out.insert(out.end(), {sb, dataByte(e.getData()[1]), dataByte(e.getData()[2])});
            else
                out.insert(out.end(), {sb, dataByte(e.data1), dataByte(e.value)});
            break;
        case ev::ControlChange: out.insert(out.end(), {sb, dataByte(e.type), dataByte(e.value)}); break;
        case ev::ProgramChange: out.insert(out.end(), {sb, dataByte(e.value)}); break;
        case ev::ChannelPressure: out.insert(out.end(), {sb, dataByte(e.value)}); break;
        default: out.insert(out.end(), {sb, dataByte(e.data1), dataByte(e.value)}); break;  // pitch bend
    }
    return EncodeIssue::None;
}

// FF, the type, the payload's size as a variable-length quantity and the payload: the
// size written is always that of the bytes written.
void appendMeta(std::vector<uint8_t>& out, uint8_t type, const uint8_t* payload, size_t n) {
    out.insert(out.end(), {0xFF, type});
    appendQuantity(out, static_cast<uint32_t>(n));
    if (n > 0) out.insert(out.end(), payload, payload + n);
}

// A meta event. End of Track has no payload; a tempo is the 3 bytes of `value`; a time
// signature its 4 stored bytes (made from `value` when it has none); any other type its
// stored bytes.
EncodeIssue encodeMeta(const MidiEvent& e, std::vector<uint8_t>& out) {
    const uint8_t type = static_cast<uint8_t>(e.type);
    if (type == meta::EndOfTrack) {
        appendMeta(out, type, nullptr, 0);
    } else if (type == meta::Tempo) {
        const uint8_t tempo[3] = {static_cast<uint8_t>(e.value >> 16), static_cast<uint8_t>(e.value >> 8),
                                  static_cast<uint8_t>(e.value)};
        appendMeta(out, type, tempo, 3);
    } else if (type == meta::TimeSignature) {
        if (e.getData() && e.bufferSize() >= 4) {
            appendMeta(out, type, e.getData(), 4);
        } else {
            const uint8_t sig[4] = {static_cast<uint8_t>(e.value >> 8), log2Of(e.value & 0xFF), 0x12, 0x08};
            appendMeta(out, type, sig, 4);
        }
    } else {
        const int n = e.getData() ? std::clamp(e.length, 0, e.bufferSize()) : 0;
        appendMeta(out, type, e.getData(), static_cast<size_t>(n));
        if (n > 128 && type != meta::SequencerSpecific) return EncodeIssue::LongMeta;
    }
    return EncodeIssue::None;
}

// The bytes of one event without its delta, appended to `out`; nothing is appended when the
// event is not written (an issue says why, or it is system exclusive without bytes). Every
// length written is the length of the bytes written.
EncodeIssue encodeEvent(const MidiEvent& e, std::vector<uint8_t>& out) {
    if (isChannelMessage(e.status)) return encodeChannelMessage(e, out);
    switch (e.status) {
        case ev::SysEx:
        case ev::EscapedSysEx: appendSysEx(out, e); return EncodeIssue::None;
        case ev::Meta: return encodeMeta(e, out);
        default: return EncodeIssue::UndefinedEvent;
    }
}

void reportEncodeIssue(EncodeIssue issue) {
    switch (issue) {
        case EncodeIssue::None: break;
        case EncodeIssue::ChannelWrong: trackError(mdtk::ChannelWrong); break;
        case EncodeIssue::UndefinedEvent: trackError(mdtk::UndefinedEvent); break;
        case EncodeIssue::LongMeta: trackWarning(mdtk::EventTooLarge); break;
    }
}

// Writes a chunk of at most `capacity` bytes into `out`: events go behind the room held for
// the header, the header is written last.
class ChunkWriter {
public:
    ChunkWriter(std::vector<uint8_t>& out, size_t capacity, size_t expected) : out_(out), capacity_(capacity) {
        out_.clear();
        out_.reserve(std::min(expected, capacity));
        out_.resize(kChunkHeaderSize);
    }

    // Whether n more bytes leave the encoder's reserve free.
    bool fitsWithReserve(size_t n) const { return out_.size() + n + kEncoderReserve <= capacity_; }

    void put(const uint8_t* bytes, size_t n) { out_.insert(out_.end(), bytes, bytes + n); }

    // Closes a chunk that was cut short with End of Track, in the room that was held back.
    void closeCutChunk() {
        static constexpr uint8_t kEnd[4] = {0x00, 0xFF, 0x2F, 0x00};
        if (out_.size() + sizeof kEnd <= capacity_) put(kEnd, sizeof kEnd);
    }

    // Writes the identifier and the big-endian length of the data; returns the chunk size.
    size_t finish(std::string_view identifier) {
        std::memcpy(out_.data(), identifier.data(), 4);
        const uint32_t length = static_cast<uint32_t>(out_.size() - kChunkHeaderSize);
        out_[4] = static_cast<uint8_t>(length >> 24);
        out_[5] = static_cast<uint8_t>(length >> 16);
        out_[6] = static_cast<uint8_t>(length >> 8);
        out_[7] = static_cast<uint8_t>(length);
        return out_.size();
    }

private:
    std::vector<uint8_t>& out_;
    size_t capacity_;
};

}  // namespace

void MidiTrackData::readEvents(const uint8_t* chunk, size_t size) {
    events_.clear();
    // A note in running status takes 3 bytes with its delta: room for what the chunk can hold.
    events_.reserve(std::min(size / 3 + 1, static_cast<size_t>(slotCount_)));
    ChunkReader in(chunk, size, kChunkHeaderSize);
    int running = -1;      // the last status byte other than FF
    bool dropped = false;  // an unknown meta event is read and then dropped
    for (size_t count = 0; !in.atEnd(); ++count) {
        detail::yieldEvery(count, 300);
        int64_t delta = 0;
        if (!in.quantity(delta) || in.atEnd()) {
            trackError(mdtk::InternalError);
            break;
        }
        if (!hasRoom()) {
            trackError(mdtk::LargeData);
            break;
        }
        const int statusByte = takeStatus(in, running);
        if (statusByte < 0) {
            trackError(mdtk::UndefinedEvent);
            break;
        }
        if (statusByte != 0xFF) running = statusByte;
        auto e = std::make_unique<MidiEvent>(static_cast<int32_t>(delta));
        if (!readEventBody(in, statusByte, *e)) {
            trackError(mdtk::InternalError);
            break;
        }
        if (e->length >= 256 && e->type != sysex::ManufacturerMessage) trackWarning(mdtk::EventTooLarge);
        dropped = dropped || e->status == ev::Deleted;
        events_.push_back(std::move(e));
    }
    if (dropped) compact();
}

size_t MidiTrackData::chunkSizeBound() const {
    // Per event: a delta of at most 5 bytes, then 3 bytes for a channel message; anything
    // else is written from its stored bytes with at most a status, a type and a length of
    // up to 5 bytes besides, which 16 bytes more than it stores covers.
    constexpr size_t kDelta = 5, kChannel = 3, kBesidesStored = 16;
    size_t bound = kChunkHeaderSize + kDelta + 3;  // a closing End of Track
    for (const auto& e : events_) {
        const size_t stored = static_cast<size_t>(std::max(e->length, 0)) + static_cast<size_t>(e->bufferSize());
        bound += kDelta + std::max(kChannel, stored + kBesidesStored);
    }
    return bound;
}

bool MidiTrackData::surelyEncodesWhole() const {
    // A closing End of Track needs a slot of its own.
    return events_.size() < static_cast<size_t>(slotCount_) &&
           chunkSizeBound() + kEncoderReserve <= static_cast<size_t>(std::max(capacity_, 0));
}

int MidiTrackData::encodeChunk(std::string_view identifier) {
    if (state_ != MidiEvents || events_.empty() || !detail::isEndOfTrack(*events_.back()) ||
        identifier.size() != 4 || capacity_ < static_cast<int>(kChunkHeaderSize)) {
        trackError(mdtk::InternalError);
        return 0;
    }
    // Most events take 3 or 4 bytes with their delta.
    std::vector<uint8_t> chunk;
    ChunkWriter out(chunk, static_cast<size_t>(capacity_), kChunkHeaderSize + 4 * events_.size());
    int64_t carry = 0;  // ticks of events that produced no bytes
    std::vector<uint8_t> eventBytes;
    for (size_t i = 0; i < events_.size(); ++i) {
        detail::yieldEvery(i, 200);
        const MidiEvent& e = *events_[i];
        eventBytes.clear();
        reportEncodeIssue(encodeEvent(e, eventBytes));
        if (eventBytes.empty()) {
            carry += e.delta;
            continue;
        }
        uint8_t delta[5];
        const int64_t ticks = std::clamp<int64_t>(carry + e.delta, 0, 0x0FFFFFFF);
        const size_t deltaSize = putQuantity(static_cast<uint32_t>(ticks), delta);
        carry = 0;
        if (!out.fitsWithReserve(deltaSize + eventBytes.size())) {
            trackError(mdtk::CantAddData);
            out.closeCutChunk();  // keep the chunk well formed
            break;
        }
        out.put(delta, deltaSize);
        out.put(eventBytes.data(), eventBytes.size());
    }
    out.finish(identifier);
    assign(std::move(chunk));
    events_.clear();
    state_ = BytesOnly;
    return byteLength_;
}

}  // namespace tunecase

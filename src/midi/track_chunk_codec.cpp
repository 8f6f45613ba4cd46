// The byte codec of a track chunk: reading every event of a chunk into the track and
// encoding the track's events back into a chunk. The reader checks every byte against the
// chunk end, so truncated or hostile chunks end with a message and never read past the data.
#include <algorithm>
#include <cstring>
#include <vector>

#include "midi/midi_messages.h"
#include "midi/midi_track_data.h"
#include "midi/track_internal.h"

namespace tunecase {

namespace {

bool isStatusByte(uint8_t b) { return (b >= 0x80 && b <= 0xEF) || b == 0xF0 || b == 0xF7 || b == 0xFF; }

// Payload sizes of the meta events that are read with a fixed size.
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

class ChunkReader {
public:
    ChunkReader(const uint8_t* bytes, size_t end, size_t start) : b_(bytes), end_(end), p_(start) {}

    bool atEnd() const { return p_ >= end_; }
    size_t position() const { return p_; }
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

void appendQuantity(std::vector<uint8_t>& out, uint32_t v) {
    uint8_t groups[5];
    int n = 0;
    do {
        groups[n++] = static_cast<uint8_t>(v & 0x7F);
        v >>= 7;
    } while (v != 0 && n < 5);
    while (n-- > 0) out.push_back(static_cast<uint8_t>(groups[n] | (n > 0 ? 0x80 : 0)));
}

uint8_t dataByte(int64_t v) { return static_cast<uint8_t>(std::clamp<int64_t>(v, 0, 127)); }

void appendStored(std::vector<uint8_t>& out, const MidiEvent& e) {
    const uint8_t* d = e.getData();
    if (!d) return;
    const int n = std::clamp(e.length, 0, e.bufferSize());
    out.insert(out.end(), d, d + n);
}

uint8_t log2Of(int denominator) {
    uint8_t exponent = 0;
    while (exponent < 7 && (1 << exponent) < denominator) ++exponent;
    return (1 << exponent) == denominator ? exponent : 2;
}

}  // namespace

void MidiTrackData::readEvents() {
    events_.clear();
    const size_t end = static_cast<size_t>(std::clamp(byteLength_, 0, capacity_));
    ChunkReader in(bytes_.get(), end, 8);
    int running = -1;  // the last status byte other than FF
    size_t count = 0;
    while (!in.atEnd()) {
        detail::yieldEvery(count++, 300);
        int64_t delta = 0;
        if (!in.quantity(delta) || in.atEnd()) {
            trackError(mdtk::InternalError);
            break;
        }
        if (!hasRoom()) {
            trackError(mdtk::LargeData);
            break;
        }
        int statusByte;
        if (isStatusByte(in.peek())) {
            statusByte = in.take();
        } else if (running >= 0) {
            statusByte = running;  // the byte in hand is the first data byte
        } else {
            trackError(mdtk::UndefinedEvent);
            break;
        }
        if (statusByte != 0xFF) running = statusByte;

        auto e = std::make_unique<MidiEvent>(static_cast<int32_t>(delta));
        const int kind = statusByte < 0xF0 ? (statusByte & 0xF0) : statusByte;
        bool truncated = false;
        if (kind < 0xF0) {
            e->channel = statusByte & 0x0F;
            const size_t dataBytes = (kind == 0xC0 || kind == 0xD0) ? 1 : 2;
            if (!in.has(dataBytes)) {
                truncated = true;
            } else {
                uint8_t stored[3] = {static_cast<uint8_t>(statusByte), 0, 0};
                for (size_t k = 0; k < dataBytes; ++k) stored[1 + k] = in.take();
                e->setData(stored, static_cast<int>(1 + dataBytes));
                const uint8_t d1 = stored[1], d2 = stored[2];
                switch (kind) {
                    case 0x80:
                    case 0x90:
                        e->status = (kind == 0x90 && d2 != 0) ? ev::NoteOn : ev::NoteOff;
                        e->data1 = d1;
                        e->velocity = d2;
                        if (d1 >= 128) {
                            trackWarning(mdtk::NoteNumberRepaired);
                            e->data1 = 0;
                            e->velocity = 0;
                        }
                        break;
                    case 0xA0:
                        e->status = ev::PolyPressure;
                        e->data1 = d1;
                        e->value = d2;
                        break;
                    case 0xB0:
                        e->status = ev::ControlChange;
                        e->type = d1;
                        e->value = d2;
                        break;
                    case 0xC0:
                        e->status = ev::ProgramChange;
                        e->value = d1;
                        if (d1 >= 128) {
                            trackError(mdtk::WrongProgram);
                            e->value = 0;
                        }
                        break;
                    case 0xD0:
                        e->status = ev::ChannelPressure;
                        e->value = d1;
                        break;
                    default:  // 0xE0
                        e->status = ev::PitchBend;
                        e->data1 = d1;
                        e->value = d2;
                        break;
                }
            }
        } else if (kind == 0xF0) {
            // Everything up to and including the next F7, whatever the length byte says.
            const uint8_t* from = in.here();
            const size_t left = end - in.position();
            const void* f7 = std::memchr(from, 0xF7, left);
            if (!f7) {
                truncated = true;
            } else {
                const size_t n = static_cast<size_t>(static_cast<const uint8_t*>(f7) - from) + 1;
                std::vector<uint8_t> stored;
                stored.reserve(n + 1);
                stored.push_back(0xF0);
                stored.insert(stored.end(), from, from + n);
                in.skip(n);
                e->status = ev::SysEx;
                e->setData(stored.data(), static_cast<int>(stored.size()));
                e->classifySysEx();
            }
        } else if (kind == 0xF7) {
            if (!in.has(1) || !in.has(1 + size_t{in.peek()})) {
                truncated = true;
            } else {
                const size_t n = 1 + size_t{in.peek()};
                std::vector<uint8_t> stored;
                stored.reserve(n + 1);
                stored.push_back(0xF7);
                stored.insert(stored.end(), in.here(), in.here() + n);
                in.skip(n);
                e->status = ev::EscapedSysEx;
                e->setData(stored.data(), static_cast<int>(stored.size()));
            }
        } else {  // 0xFF meta event
            e->status = ev::Meta;
            if (in.atEnd()) {
                truncated = true;
            } else {
                const uint8_t type = in.take();
                e->type = type;
                const int fixed = fixedMetaSize(type);
                if (fixed >= 0) {
                    // The stored length byte is skipped, not checked.
                    if (!in.has(1 + static_cast<size_t>(fixed))) {
                        truncated = true;
                    } else {
                        in.skip(1);
                        const uint8_t* p = in.here();
                        in.skip(static_cast<size_t>(fixed));
                        if (type == 0x51) {
                            e->value = (p[0] << 16) | (p[1] << 8) | p[2];
                            e->setData(p, 3);
                            if (e->value == 0) {
                                trackError(mdtk::TempoWrong);
                                e->value = 500000;
                            }
                        } else if (type == 0x58) {
                            uint8_t sig[4] = {p[0], p[1], p[2], p[3]};
                            if (sig[0] == 0 || sig[1] == 0 || sig[1] > 7) {
                                trackError(mdtk::TimeSign);
                                sig[0] = 4;  // keep the bytes in step with the 4/4 now in use
                                sig[1] = 2;
                            }
                            e->value = sig[0] * 256 + (1 << sig[1]);
                            e->setData(sig, 4);
                        } else if (type == 0x59) {
                            e->setData(p, 2);
                        } else if (fixed > 0) {
                            e->reserve(fixed);  // only the size is kept
                            e->length = fixed;
                        }
                    }
                } else {
                    int64_t size = 0;
                    if (!in.quantity(size) || !in.has(static_cast<size_t>(size))) {
                        truncated = true;
                    } else {
                        const uint8_t* p = in.here();
                        in.skip(static_cast<size_t>(size));
                        if (isKeptTextMeta(type)) {
                            if (type == meta::DeviceName) e->type = meta::InstrumentName;
                            e->setData(p, static_cast<int>(size));
                        } else {
                            e->status = ev::Deleted;  // an unknown meta type is dropped
                        }
                    }
                }
            }
        }
        if (truncated) {
            trackError(mdtk::InternalError);
            break;
        }
        if (e->length >= 256 && e->type != sysex::ManufacturerMessage) trackWarning(mdtk::EventTooLarge);
        events_.push_back(std::move(e));
    }
    compact();
}

int MidiTrackData::encodeChunk(std::string_view identifier) {
    if (state_ != MidiEvents || events_.empty() || !detail::isEndOfTrack(*events_.back()) ||
        identifier.size() != 4 || capacity_ < 8) {
        trackError(mdtk::InternalError);
        return 0;
    }
    uint8_t* out = bytes_.get();
    const size_t capacity = static_cast<size_t>(capacity_);
    size_t w = 8;
    int64_t carry = 0;  // ticks of events that produced no bytes
    std::vector<uint8_t> eventBytes;
    std::vector<uint8_t> encoded;
    bool stopped = false;
    for (size_t i = 0; i < events_.size(); ++i) {
        detail::yieldEvery(i, 200);
        const MidiEvent& e = *events_[i];
        eventBytes.clear();
        const int kind = e.status;
        const bool channelMessage = kind >= 0x80 && kind <= 0xE0 && (kind & 0x0F) == 0;
        if (channelMessage && (e.channel < 0 || e.channel > 15)) {
            trackError(mdtk::ChannelWrong);
        } else if (channelMessage) {
            const uint8_t sb = static_cast<uint8_t>(kind | e.channel);
            const uint8_t key = (e.data1 >= 0 && e.data1 <= 127) ? static_cast<uint8_t>(e.data1) : 0;
            switch (kind) {
                case ev::NoteOff: eventBytes = {sb, key, 64}; break;
                case ev::NoteOn: eventBytes = {sb, key, dataByte(e.velocity)}; break;
                case ev::PolyPressure:
                    if (e.getData() && e.length > 0) appendStored(eventBytes, e);
                    else eventBytes = {sb, dataByte(e.data1), dataByte(e.value)};
                    break;
                case ev::ControlChange: eventBytes = {sb, dataByte(e.type), dataByte(e.value)}; break;
                case ev::ProgramChange: eventBytes = {sb, dataByte(e.value)}; break;
                case ev::ChannelPressure: eventBytes = {sb, dataByte(e.value)}; break;
                default: eventBytes = {sb, dataByte(e.data1), dataByte(e.value)}; break;
            }
        } else if (kind == ev::SysEx || kind == ev::EscapedSysEx) {
            appendStored(eventBytes, e);
        } else if (kind == ev::Meta) {
            const uint8_t type = static_cast<uint8_t>(e.type);
            eventBytes = {0xFF, type};
            if (type == meta::EndOfTrack) {
                eventBytes.push_back(0x00);
            } else if (type == meta::Tempo) {
                eventBytes.insert(eventBytes.end(), {0x03, static_cast<uint8_t>(e.value >> 16),
                                                     static_cast<uint8_t>(e.value >> 8), static_cast<uint8_t>(e.value)});
            } else if (type == meta::TimeSignature) {
                eventBytes.push_back(0x04);
                if (e.getData() && e.bufferSize() >= 4) {
                    eventBytes.insert(eventBytes.end(), e.getData(), e.getData() + 4);
                } else {
                    eventBytes.insert(eventBytes.end(), {static_cast<uint8_t>(e.value >> 8),
                                                         log2Of(e.value & 0xFF), 0x12, 0x08});
                }
            } else {
                // Every length is written as a variable-length quantity, which is the same
                // single byte below 128 and stays readable above it.
                const int n = e.getData() ? std::clamp(e.length, 0, e.bufferSize()) : 0;
                if (n > 128 && type != meta::SequencerSpecific) trackWarning(mdtk::EventTooLarge);
                appendQuantity(eventBytes, static_cast<uint32_t>(n));
                if (n > 0) eventBytes.insert(eventBytes.end(), e.getData(), e.getData() + n);
            }
        } else {
            trackError(mdtk::UndefinedEvent);
        }
        if (eventBytes.empty()) {
            carry += e.delta;
            continue;
        }
        encoded.clear();
        appendQuantity(encoded, static_cast<uint32_t>(std::clamp<int64_t>(carry + e.delta, 0, 0x0FFFFFFF)));
        carry = 0;
        encoded.insert(encoded.end(), eventBytes.begin(), eventBytes.end());
        if (w + encoded.size() + 256 > capacity) {
            trackError(mdtk::CantAddData);
            stopped = true;
            break;
        }
        std::memcpy(out + w, encoded.data(), encoded.size());
        w += encoded.size();
    }
    if (stopped && w + 4 <= capacity) {
        // Keep the chunk well formed: close it in the room that was held back.
        const uint8_t end[4] = {0x00, 0xFF, 0x2F, 0x00};
        std::memcpy(out + w, end, 4);
        w += 4;
    }
    std::memcpy(out, identifier.data(), 4);
    const uint32_t length = static_cast<uint32_t>(w - 8);
    out[4] = static_cast<uint8_t>(length >> 24);
    out[5] = static_cast<uint8_t>(length >> 16);
    out[6] = static_cast<uint8_t>(length >> 8);
    out[7] = static_cast<uint8_t>(length);
    byteLength_ = static_cast<int>(w);
    readPosition_ = 0;
    events_.clear();
    state_ = BytesOnly;
    return byteLength_;
}

}  // namespace tunecase

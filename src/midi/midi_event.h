// The event record that carries all music data, its owned data bytes, the builders of
// particular MIDI messages and the classification of system-exclusive messages.
//
// Events are plain records: a track owns its events and deletes them. Copying an event
// copies its data bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

namespace tunecase {

// Kinds of event held in `status` (the channel is never part of it).
namespace ev {
inline constexpr int32_t Deleted = 0x00;     // removed at the next compaction
inline constexpr int32_t Note = 0x10;        // note with duration (editing form)
inline constexpr int32_t NoteOff = 0x80;
inline constexpr int32_t NoteOn = 0x90;
inline constexpr int32_t PolyPressure = 0xA0;
inline constexpr int32_t ControlChange = 0xB0;
inline constexpr int32_t ProgramChange = 0xC0;
inline constexpr int32_t ChannelPressure = 0xD0;
inline constexpr int32_t PitchBend = 0xE0;
inline constexpr int32_t SysEx = 0xF0;
inline constexpr int32_t EscapedSysEx = 0xF7;
inline constexpr int32_t Meta = 0xFF;
}  // namespace ev

// Meta event types used by the program.
namespace meta {
inline constexpr uint32_t SequenceNumber = 0x00;
inline constexpr uint32_t Text = 0x01;
inline constexpr uint32_t Copyright = 0x02;
inline constexpr uint32_t TrackName = 0x03;
inline constexpr uint32_t InstrumentName = 0x04;
inline constexpr uint32_t Lyric = 0x05;
inline constexpr uint32_t Marker = 0x06;
inline constexpr uint32_t CuePoint = 0x07;
inline constexpr uint32_t DeviceName = 0x09;
inline constexpr uint32_t ChannelPrefix = 0x20;
inline constexpr uint32_t EndOfTrack = 0x2F;
inline constexpr uint32_t Tempo = 0x51;
inline constexpr uint32_t SmpteOffset = 0x54;
inline constexpr uint32_t TimeSignature = 0x58;
inline constexpr uint32_t KeySignature = 0x59;
inline constexpr uint32_t SequencerSpecific = 0x7F;
}  // namespace meta

// Classification codes of system-exclusive events (`type` of a 0xF0 event).
namespace sysex {
inline constexpr uint32_t Unclassified = 0;
inline constexpr uint32_t MasterVolume = 1;
inline constexpr uint32_t GmSystemOn = 9;
inline constexpr uint32_t GsRhythmPart = 18;
inline constexpr uint32_t GsSystemMode = 19;
inline constexpr uint32_t MasterBalance = 40;
inline constexpr uint32_t GsPartBlock = 69;
inline constexpr uint32_t ManufacturerMessage = 127;
}  // namespace sysex

// GM System On as a system-exclusive event stores it: F0, the length byte, then the body
// 7E 7F 09 01 F7. A device receives it without the length byte.
inline constexpr uint8_t kGmSystemOnStored[] = {0xF0, 0x05, 0x7E, 0x7F, 0x09, 0x01, 0xF7};

// Spare zero bytes allocated behind every data buffer, so text reads as zero-terminated.
inline constexpr int kEventDataSlack = 8;

class MusicEvent {
public:
    int32_t status = 0;     // kind of event (namespace ev)
    int32_t delta = 0;      // ticks since the previous event of the same track
    int32_t data1 = 0;      // key, or the low 7 bits of a pitch bend
    int32_t duration = 0;   // ticks of a 0x10 note
    int32_t velocity = 0;   // note velocity (release velocity as read for 0x80)
    uint32_t type = 0;      // controller number, meta type or sysex classification
    int32_t value = 0;      // controller value, program, pressure, bend high bits, tempo, ...
    int32_t length = 0;     // meaningful bytes in the data buffer

    MusicEvent() = default;
    explicit MusicEvent(int32_t deltaTicks) : delta(deltaTicks) {}
    MusicEvent(const MusicEvent& other) { copyFrom(other); }
    MusicEvent& operator=(const MusicEvent& other);
    MusicEvent(MusicEvent&& other) noexcept;
    MusicEvent& operator=(MusicEvent&& other) noexcept;
    ~MusicEvent() { releaseData(); }

    // Every field 0 and no buffer.
    void clear();

    // Frees the data buffer; `length` is left as it is.
    void releaseData();

    // Replaces the buffer by a zero-filled one of n + 8 bytes that starts with the first
    // `length` bytes of the old one. `length` is not changed.
    void reserve(int n);

    // Copies every field; the buffer is duplicated (none if `other` has none).
    void copyFrom(const MusicEvent& other);

    // Stores n bytes in a new buffer of n + 8 zero-filled bytes and sets `length` = n.
    // n <= 0 does nothing and returns 0; otherwise returns n. More than 256 bytes shows
    // MUEV 0x06000001, and the bytes are stored all the same.
    int setData(const uint8_t* bytes, int n);
    // The same for `lead` followed by the n bytes (which must not lie in this event's own
    // buffer): n + 1 bytes stored.
    int setData(uint8_t lead, const uint8_t* bytes, int n);

    // Writes one byte. A position at or beyond `length` + 8 first grows the buffer with
    // reserve(position + 1). Without a buffer MUEV 0x06000002 is shown and nothing is stored.
    void setByte(int position, uint8_t byte);

    // The byte at `position` when it lies inside the buffer and below `length` + 8;
    // otherwise MUEV 0x06000002 and 0.
    uint8_t getByte(int position) const;

    // As getByte, but never shows a message: anything outside the buffer reads as 0.
    uint8_t peekByte(int position) const;

    // A pointer to the byte at `position` under the same test as getByte, or nullptr
    // (after MUEV 0x06000002).
    uint8_t* bytePointer(int position);

    // Copies `length` bytes to `destination` (which must hold them) and returns `length`;
    // without a buffer shows MUEV 0x06000002 and returns 0.
    int copyDataTo(uint8_t* destination) const;

    // The buffer, or nullptr.
    uint8_t* getData() { return bufferSize_ == 0 ? nullptr : onHeap() ? heap_ : inline_; }
    const uint8_t* getData() const { return bufferSize_ == 0 ? nullptr : onHeap() ? heap_ : inline_; }

    // Bytes allocated for the buffer (length + 8 after setData), 0 without one.
    int bufferSize() const { return bufferSize_; }

    // The stored bytes up to `length` (and never past the buffer), as text: cut at the
    // first zero byte.
    std::string_view text() const;

private:
    // Buffers up to this size (a channel message, tempo, time or key signature, with their
    // slack) live inside the event, so most events take one allocation, not two.
    static constexpr int kInlineBytes = 16;

    bool onHeap() const { return bufferSize_ > kInlineBytes; }
    // Every field but the data buffer.
    void copyFields(const MusicEvent& other);
    // Makes the buffer `size` zero bytes, the first `keep` of them copied from `from`
    // (which may be the current buffer).
    void replaceBuffer(int size, const uint8_t* from, int keep);

    union {
        uint8_t* heap_;                       // owned, bufferSize_ bytes, when onHeap()
        uint8_t inline_[kInlineBytes] = {};  // otherwise
    };
    int bufferSize_ = 0;  // 0: no buffer
};

class MidiEvent : public MusicEvent {
public:
    int32_t channel = 255;  // 0..15 for channel messages, 255 when the event has none

    MidiEvent() = default;
    explicit MidiEvent(int32_t deltaTicks) : MusicEvent(deltaTicks) {}
    MidiEvent(const MidiEvent& other) = default;
    MidiEvent& operator=(const MidiEvent& other) = default;
    MidiEvent(MidiEvent&& other) noexcept = default;
    MidiEvent& operator=(MidiEvent&& other) noexcept = default;

    // A deep copy of `source`; a null source shows MDEV 0x00000000 and leaves the event
    // empty (channel 255).
    explicit MidiEvent(const MidiEvent* source);

    // Every field 0, no buffer, channel 255.
    void clear();

    // Control change: status 0xB0, `type` = controller, `value`.
    void makeControlChange(int ch, int controller, int val);

    // Tempo meta event (type 0x51), value and 3 data bytes (most significant first).
    void makeTempo(int microsecondsPerQuarter);

    // Universal real-time master volume F0 07 7F 7F 04 01 00 vv F7: status 0xF0, type 1.
    void makeMasterVolume(int volume);

    // value * 128 + data1 (0..16383, 8192 = centre).
    int pitchBendValue() const { return value * 128 + data1; }

    // Clamps v to 0..16383 and stores it; returns whether v was already inside the range.
    bool setPitchBendValue(int v);

    // True when the text names the second port of a two-port sound module.
    bool isSecondPortMark() const;

    // Sets `type`, `value` and for part messages `channel` from the stored bytes of a
    // 0xF0 event (classification table). Never reads past the buffer.
    void classifySysEx();

    // For a classified GS part message (types 18 and 69): moves it to channel `ch` by
    // rewriting its part byte and checksum, and sets `channel`. Returns false (after
    // MDSX 36000001) when the event has no buffer of 12 bytes.
    bool moveGsPart(int ch);
};

// The GS part byte for a channel: base 0x10 (rhythm-part block) or 0x40 (part block).
uint8_t gsPartByte(int channel, int base);

// The channel addressed by a GS part byte (low nibble 0 is channel 9).
int gsChannelOfPart(uint8_t partByte);

// Writes at byte 10 of a 12-byte GS message the checksum over bytes 6..9. Returns false
// after MDSX 36000001 when `bytes` is null or shorter than 11 bytes.
bool gsChecksum(uint8_t* bytes, size_t size);

// The classification of a system-exclusive effect parameter byte (GS 40 01 xx); 0 when
// the parameter is not classified.
uint32_t gsEffectType(uint8_t parameter);

}  // namespace tunecase

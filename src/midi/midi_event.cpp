#include "midi/midi_event.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "midi/meta_values.h"
#include "midi/midi_messages.h"

namespace tunecase {

// ---- MusicEvent ----------------------------------------------------------------------------

MusicEvent& MusicEvent::operator=(const MusicEvent& other) {
    if (this != &other) copyFrom(other);
    return *this;
}

MusicEvent::MusicEvent(MusicEvent&& other) noexcept { *this = std::move(other); }

MusicEvent& MusicEvent::operator=(MusicEvent&& other) noexcept {
    if (this != &other) {
        copyFields(other);
        releaseData();
        if (other.onHeap()) heap_ = other.heap_;
        else std::memcpy(inline_, other.inline_, sizeof inline_);
        bufferSize_ = std::exchange(other.bufferSize_, 0);  // the heap block, if any, is ours now
    }
    return *this;
}

void MusicEvent::copyFields(const MusicEvent& other) {
    status = other.status;
    delta = other.delta;
    data1 = other.data1;
    duration = other.duration;
    velocity = other.velocity;
    type = other.type;
    value = other.value;
    length = other.length;
}

void MusicEvent::clear() {
    status = delta = data1 = duration = velocity = value = length = 0;
    type = 0;
    releaseData();
}

void MusicEvent::releaseData() {
    if (onHeap()) delete[] heap_;
    bufferSize_ = 0;
}

void MusicEvent::replaceBuffer(int size, const uint8_t* from, int keep) {
    if (size <= kInlineBytes) {
        uint8_t fresh[kInlineBytes] = {};
        if (keep > 0) std::memcpy(fresh, from, static_cast<size_t>(keep));
        releaseData();
        std::memcpy(inline_, fresh, sizeof fresh);
    } else {
        auto* fresh = new uint8_t[static_cast<size_t>(size)]();  // zero-filled
        if (keep > 0) std::memcpy(fresh, from, static_cast<size_t>(keep));
        releaseData();
        heap_ = fresh;
    }
    bufferSize_ = size;
}

void MusicEvent::reserve(int n) {
    if (n < 0) n = 0;
    const int size = n + kEventDataSlack;
    const uint8_t* old = getData();
    const int keep = old ? std::min({std::max(length, 0), bufferSize_, size}) : 0;
    replaceBuffer(size, old, keep);
}

void MusicEvent::copyFrom(const MusicEvent& other) {
    if (this == &other) return;
    copyFields(other);
    if (other.bufferSize_ > 0) replaceBuffer(other.bufferSize_, other.getData(), other.bufferSize_);
    else releaseData();
}

int MusicEvent::setData(const uint8_t* bytes, int n) {
    if (n <= 0 || bytes == nullptr) return 0;
    if (n > 256) reportCoded(kMusicEventMessages, muev::DataTooLarge);
    replaceBuffer(n + kEventDataSlack, bytes, n);
    length = n;
    return n;
}

int MusicEvent::setData(uint8_t lead, const uint8_t* bytes, int n) {
    if (n < 0 || (n > 0 && bytes == nullptr)) return 0;
    const int total = n + 1;
    if (total > 256) reportCoded(kMusicEventMessages, muev::DataTooLarge);
    replaceBuffer(total + kEventDataSlack, nullptr, 0);
    uint8_t* d = getData();
    d[0] = lead;
    if (n > 0) std::memcpy(d + 1, bytes, static_cast<size_t>(n));
    length = total;
    return total;
}

void MusicEvent::setByte(int position, uint8_t byte) {
    if (bufferSize_ == 0 || position < 0) {
        reportCoded(kMusicEventMessages, muev::DataError);
        return;
    }
    if (position >= length + kEventDataSlack || position >= bufferSize_) reserve(position + 1);
    getData()[static_cast<size_t>(position)] = byte;
}

uint8_t MusicEvent::getByte(int position) const {
    if (bufferSize_ == 0 || position < 0 || position >= length + kEventDataSlack || position >= bufferSize_) {
        reportCoded(kMusicEventMessages, muev::DataError);
        return 0;
    }
    return getData()[static_cast<size_t>(position)];
}

uint8_t MusicEvent::peekByte(int position) const {
    if (bufferSize_ == 0 || position < 0 || position >= bufferSize_) return 0;
    return getData()[static_cast<size_t>(position)];
}

uint8_t* MusicEvent::bytePointer(int position) {
    if (bufferSize_ == 0 || position < 0 || position >= length + kEventDataSlack || position >= bufferSize_) {
        reportCoded(kMusicEventMessages, muev::DataError);
        return nullptr;
    }
    return getData() + position;
}

int MusicEvent::copyDataTo(uint8_t* destination) const {
    if (bufferSize_ == 0) {
        reportCoded(kMusicEventMessages, muev::DataError);
        return 0;
    }
    const int n = std::clamp(length, 0, bufferSize_);
    if (n > 0 && destination) std::memcpy(destination, getData(), static_cast<size_t>(n));
    return n;
}

std::string_view MusicEvent::text() const {
    if (bufferSize_ == 0) return {};
    const size_t n = static_cast<size_t>(std::clamp(length, 0, bufferSize_));
    const char* p = reinterpret_cast<const char*>(getData());
    const void* zero = std::memchr(p, 0, n);
    return std::string_view(p, zero ? static_cast<size_t>(static_cast<const char*>(zero) - p) : n);
}

// ---- MidiEvent -----------------------------------------------------------------------------

MidiEvent::MidiEvent(const MidiEvent* source) {
    if (!source) {
        reportCoded(kMidiEventMessages, mdev::MissingSource);
        return;
    }
    *this = *source;
}

void MidiEvent::clear() {
    MusicEvent::clear();
    channel = 255;
}

void MidiEvent::makeControlChange(int ch, int controller, int val) {
    status = ev::ControlChange;
    channel = ch;
    type = static_cast<uint32_t>(controller);
    value = val;
}

void MidiEvent::makeTempo(int microsecondsPerQuarter) {
    status = ev::Meta;
    channel = 255;
    type = meta::Tempo;
    value = microsecondsPerQuarter;
    const uint8_t bytes[3] = {static_cast<uint8_t>(microsecondsPerQuarter >> 16),
                              static_cast<uint8_t>(microsecondsPerQuarter >> 8),
                              static_cast<uint8_t>(microsecondsPerQuarter)};
    setData(bytes, 3);
}

void MidiEvent::makeMasterVolume(int volume) {
    status = ev::SysEx;
    channel = 255;
    type = sysex::MasterVolume;
    value = volume;
    const uint8_t bytes[9] = {0xF0, 0x07, 0x7F, 0x7F, 0x04, 0x01, 0x00,
                              static_cast<uint8_t>(volume & 0x7F), 0xF7};
    setData(bytes, 9);
}

bool MidiEvent::setPitchBendValue(int v) {
    const bool inside = v >= 0 && v <= 16383;
    v = std::clamp(v, 0, 16383);
    value = v >> 7;
    data1 = v & 0x7F;
    return inside;
}

bool MidiEvent::isSecondPortMark() const { return isSecondPortModule(text()) != 0; }

uint32_t gsEffectType(uint8_t parameter) {
    switch (parameter) {
        case 0x30: return 20;
        case 0x31: return 21;
        case 0x32: return 22;
        case 0x33: return 23;
        case 0x34: return 24;
        case 0x35: return 25;
        case 0x37: return 32;
        case 0x38: return 33;
        case 0x39: return 34;
        case 0x3A: return 35;
        case 0x3B: return 36;
        case 0x3C: return 37;
        case 0x3D: return 38;
        case 0x3E: return 39;
        case 0x3F: return 40;
        case 0x40: return 41;
        case 0x50: return 48;
        case 0x51: return 49;
        case 0x52: return 50;
        case 0x53: return 51;
        case 0x54: return 52;
        case 0x55: return 53;
        case 0x56: return 54;
        case 0x57: return 55;
        case 0x58: return 56;
        case 0x59: return 57;
        case 0x5A: return 64;
        default: return 0;
    }
}

int gsChannelOfPart(uint8_t partByte) {
    const int nibble = partByte & 0x0F;
    if (nibble == 0) return 9;
    if (nibble <= 9) return nibble - 1;
    return nibble;
}

uint8_t gsPartByte(int channel, int base) {
    if (channel < 9) return static_cast<uint8_t>(base + channel + 1);
    if (channel == 9) return static_cast<uint8_t>(base);
    return static_cast<uint8_t>(base + channel);
}

bool gsChecksum(uint8_t* bytes, size_t size) {
    if (!bytes || size < 11) {
        reportCoded(kSysExMessages, mdsx::NoBuffer);
        return false;
    }
    const int sum = bytes[6] + bytes[7] + bytes[8] + bytes[9];
    bytes[10] = static_cast<uint8_t>((128 - sum % 128) % 128);
    return true;
}

void MidiEvent::classifySysEx() {
    auto at = [this](int i) { return peekByte(i); };
    auto matches = [&](int from, std::initializer_list<uint8_t> expected) {
        int i = from;
        for (uint8_t b : expected)
            if (at(i++) != b) return false;
        return true;
    };
    type = sysex::Unclassified;
    if (matches(2, {0x7F, 0x7F, 0x04, 0x01}) && at(8) == 0xF7) {
        type = sysex::MasterVolume;
        value = at(7);
        return;
    }
    if (matches(2, {0x7F, 0x7F, 0x04, 0x02}) && at(8) == 0xF7) {
        type = sysex::MasterBalance;
        value = at(7);
        return;
    }
    if (matches(2, {0x41, 0x10, 0x42, 0x12, 0x40})) {
        const uint8_t b7 = at(7), b8 = at(8);
        if (b7 == 0x00 && b8 == 0x04) {
            type = sysex::MasterVolume;
            value = at(9);
            return;
        }
        const bool rhythmBlock = b7 >= 0x10 && b7 <= 0x1F;
        const bool partBlock = b7 >= 0x40 && b7 <= 0x4F;
        if (b7 == 0x01 || b7 == 0x02 || rhythmBlock || partBlock) {
            value = at(9);
            if (b7 == 0x01) {
                type = gsEffectType(b8);
            } else if (b7 == 0x02) {
                if (b8 <= 0x03) type = 65u + b8;
            } else if (rhythmBlock && b8 == 0x15) {
                type = sysex::GsRhythmPart;
                channel = gsChannelOfPart(b7);
            } else if (partBlock && b8 == 0x20) {
                type = sysex::GsPartBlock;
                channel = gsChannelOfPart(b7);
            }
            return;
        }
    }
    if (matches(2, {0x41, 0x10, 0x42, 0x12, 0x00, 0x00}) && at(8) == 0x7F) {
        type = sysex::GsSystemMode;
        return;
    }
    // GM System On, whatever its length byte says.
    bool gmSystemOn = true;
    for (int i = 2; i < static_cast<int>(sizeof kGmSystemOnStored); ++i)
        gmSystemOn = gmSystemOn && at(i) == kGmSystemOnStored[i];
    if (gmSystemOn) {
        type = sysex::GmSystemOn;
        return;
    }
    if (matches(2, {0x43, 0x79, 0x06, 0x7F}) && at(8) == 0xF7) {
        type = sysex::ManufacturerMessage;
        return;
    }
}

bool MidiEvent::moveGsPart(int ch) {
    uint8_t* bytes = getData();
    if (!bytes || bufferSize() < 12) {
        reportCoded(kSysExMessages, mdsx::NoBuffer);
        return false;
    }
    const int base = type == sysex::GsRhythmPart ? 0x10 : 0x40;
    bytes[7] = gsPartByte(ch, base);
    gsChecksum(bytes, static_cast<size_t>(bufferSize()));
    channel = ch;
    return true;
}

}  // namespace tunecase

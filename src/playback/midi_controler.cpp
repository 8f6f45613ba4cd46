#include "playback/midi_controler.h"

#include <array>

#include "midi/midi_event.h"
#include "base/translation.h"

namespace tunecase {

const MessageTable kMidiControlerErrors = {
    "MDCT",
    {
        {mdct::CantOpen, N_("Can not open Midi device!")},
        {mdct::CantClose, N_("Can not close Midi device!")},
        {mdct::CantChangeTone, N_("Can not change tone with Midi device!")},
        {mdct::CantSendSysEx, N_("Can not send system exclusive with midi device!")},
        {mdct::InvalidParameter, N_("Invalid parameter in Midi!")},
    },
    N_("Error occured in MidiControler!"),
};

std::atomic<int32_t> reportMissingMidiDevice{1};
std::atomic<int32_t> defaultMidiDeviceId{kMidiMapper};

const char* midiOpenErrorText(int result) {
    switch (result) {
        case midiresult::BadDeviceId: return N_("The MIDI device number is out of range.");
        case midiresult::Allocated: return N_("The MIDI device is already in use.");
        case midiresult::NoMemory: return N_("The system could not allocate or lock memory.");
        case midiresult::InvalidParam: return N_("An invalid parameter was passed to the MIDI device.");
        case midiresult::NoMapperPort:
            return N_("No MIDI port was found. This happens only when the default MIDI output is opened.");
        default: return "";
    }
}

MidiControler::MidiControler(int deviceId) {
    if (midiOutGetNumDevs() == 0) {
        int32_t expected = 1;
        if (reportMissingMidiDevice.compare_exchange_strong(expected, 0))
            reportCoded(kMidiControlerErrors, mdct::CantOpen);
        return;
    }
    int result = midiOutOpen(deviceId, device_);
    if (result == midiresult::NoError) return;
    reportText(midiOpenErrorText(result), BoxKind::Ok);
    std::string cause = midiOutOpenFailure();
    if (deviceId == kMidiMapper && midiOutOpen(0, device_) == midiresult::NoError) return;
    if (cause.empty()) cause = midiOutOpenFailure();
    device_.reset();
    reportCoded(kMidiControlerErrors, mdct::CantOpen, cause);
}

MidiControler::~MidiControler() {
    if (device_) close();
}

int MidiControler::close() {
    if (!device_) return 1;
    int ok = 1;
    if (device_->reset() != midiresult::NoError) {
        reportCoded(kMidiControlerErrors, mdct::CantClose);
        ok = 0;
    }
    if (device_->close() != midiresult::NoError) {
        reportCoded(kMidiControlerErrors, mdct::CantClose);
        ok = 0;
    }
    device_.reset();
    return ok;
}

int MidiControler::send(uint32_t packed) {
    if (!device_) return midiresult::InvalidHandle;
    return device_->sendShort(packed);
}

namespace {

uint32_t pack(int status, int data1, int data2) {
    return (static_cast<uint32_t>(status) & 0xFF) | ((static_cast<uint32_t>(data1) & 0xFF) << 8) |
           ((static_cast<uint32_t>(data2) & 0xFF) << 16);
}

}  // namespace

int MidiControler::noteOn(int note, int velocity, int channel) {
    int sent = (velocity & 0x80) ? 127 : (velocity & 0x7F);
    return send(pack(0x90 + channel, note, sent));
}

int MidiControler::noteOff(int note, int channel) { return send(pack(0x80 + channel, note, 0)); }

int MidiControler::sendShort(int data2, int data1, int status) { return send(pack(status, data1, data2)); }

int MidiControler::controlChange(int value, int controller, int channel) {
    return sendShort(value, controller, 0xB0 + channel);
}

int MidiControler::programChange(int program, int channel) {
    int result = send(pack(0xC0 + channel, program, 0));
    if (result != midiresult::NoError) reportCoded(kMidiControlerErrors, mdct::CantChangeTone);
    return result;
}

int MidiControler::sendSystemExclusive(size_t length, const uint8_t* bytes) {
    if (length > 0 && !bytes) {
        reportCoded(kMidiControlerErrors, mdct::InvalidParameter);
        return midiresult::InvalidParam;
    }
    // The send block holds 256 bytes; a longer message is refused rather than cut, since a
    // cut message would reach the device without its end byte.
    bool stored = length > 0 && bytes[0] == 0xF0;
    size_t sent = stored ? length - 1 : length;
    if (sent > kSysExBlockSize) {
        reportCoded(kMidiControlerErrors, mdct::InvalidParameter);
        return midiresult::InvalidParam;
    }
    std::array<uint8_t, kSysExBlockSize> block;
    if (stored) {
        block[0] = 0xF0;
        // Bytes 2..length-1 follow; the length byte (byte 1) is dropped.
        for (size_t i = 2; i < length; ++i) block[i - 1] = bytes[i];
    } else {
        for (size_t i = 0; i < length; ++i) block[i] = bytes[i];
    }
    // A failed send gives up quietly, as a failed note does.
    if (!device_) return midiresult::InvalidHandle;
    if (sent == 0) return midiresult::InvalidParam;
    return device_->sendLong(block.data(), sent);
}

void MidiControler::allNotesOff() {
    for (int channel = 0; channel < 16; ++channel) controlChange(0, 123, channel);
}

int MidiControler::sendGmSystemOn() { return sendSystemExclusive(sizeof kGmSystemOnStored, kGmSystemOnStored); }

}  // namespace tunecase

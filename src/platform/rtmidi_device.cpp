#include "platform/rtmidi_device.h"

#ifdef TUNECASE_HAVE_RTMIDI
#include <rtmidi/RtMidi.h>
#include <unistd.h>

#include <iostream>
#include <mutex>
#include <sstream>
#endif

namespace tunecase {

#ifndef TUNECASE_HAVE_RTMIDI

std::vector<std::string> rtMidiPortNames() { return {}; }

int openRtMidiPort(int, std::unique_ptr<MidiOutDevice>&) { return midiresult::BadDeviceId; }

#else

namespace {

constexpr const char* kClientName = "Tunecase";

// The library writes its warnings to std::cerr before a caller can install an error
// callback (while a client is being created). Our own messages never use std::cerr, so
// it is silenced for that moment.
class QuietCerr {
public:
    QuietCerr() : lock_(mutex()), saved_(std::cerr.rdbuf(sink_.rdbuf())) {}
    ~QuietCerr() { std::cerr.rdbuf(saved_); }

private:
    static std::mutex& mutex() {
        static std::mutex m;
        return m;
    }
    std::lock_guard<std::mutex> lock_;
    std::ostringstream sink_;
    std::streambuf* saved_;
};

void ignoreError(RtMidiError::Type, const std::string&, void*) {}

// The back ends to ask, in device order. The ALSA sequencer is skipped when this machine
// has no sequencer device: asking would only print the sound library's complaint.
std::vector<RtMidi::Api> apisToAsk() {
    std::vector<RtMidi::Api> compiled;
    RtMidi::getCompiledApi(compiled);
    std::vector<RtMidi::Api> apis;
    for (auto api : compiled) {
        if (api == RtMidi::LINUX_ALSA && access("/dev/snd/seq", R_OK | W_OK) != 0) continue;
        if (api == RtMidi::RTMIDI_DUMMY) continue;
        apis.push_back(api);
    }
    return apis;
}

std::unique_ptr<RtMidiOut> makeClient(RtMidi::Api api) {
    QuietCerr quiet;
    try {
        auto client = std::make_unique<RtMidiOut>(api, kClientName);
        client->setErrorCallback(ignoreError, nullptr);
        return client;
    } catch (const RtMidiError&) {
        return nullptr;
    }
}

struct PortRef {
    RtMidi::Api api;
    unsigned index;
    std::string name;
};

std::vector<PortRef> listPorts() {
    std::vector<PortRef> ports;
    for (auto api : apisToAsk()) {
        auto client = makeClient(api);
        if (!client) continue;
        QuietCerr quiet;
        try {
            unsigned count = client->getPortCount();
            for (unsigned i = 0; i < count; ++i) ports.push_back({api, i, client->getPortName(i)});
        } catch (const RtMidiError&) {
        }
    }
    return ports;
}

class RtMidiDevice final : public MidiOutDevice {
public:
    explicit RtMidiDevice(std::unique_ptr<RtMidiOut> client) : client_(std::move(client)) {
        client_->setErrorCallback(noteError, this);
    }
    ~RtMidiDevice() override { close(); }

    int sendShort(uint32_t packed) override {
        uint8_t bytes[3];
        size_t n = unpackShortMessage(packed, bytes);
        if (n == 0) return midiresult::InvalidParam;
        return send(bytes, n);
    }

    int sendLong(const uint8_t* bytes, size_t length) override {
        if (!bytes || length == 0) return midiresult::InvalidParam;
        return send(bytes, length);
    }

    int close() override {
        std::lock_guard lock(mutex_);
        if (!client_) return midiresult::InvalidHandle;
        QuietCerr quiet;
        try {
            client_->closePort();
        } catch (const RtMidiError&) {
        }
        client_.reset();
        return midiresult::NoError;
    }

protected:
    // An output port has no synthesizer of its own to reset; all notes off finishes the job
    // for devices that ignore all sound off.
    int resetSynth() override {
        int result = midiresult::NoError;
        for (uint32_t channel = 0; channel < 16; ++channel) {
            int r = sendShort(0xB0 | channel | (123u << 8));
            if (result == midiresult::NoError) result = r;
        }
        return result;
    }

private:
    static void noteError(RtMidiError::Type type, const std::string&, void* self) {
        if (type != RtMidiError::WARNING && type != RtMidiError::DEBUG_WARNING)
            static_cast<RtMidiDevice*>(self)->failed_ = true;
    }

    int send(const uint8_t* bytes, size_t length) {
        std::lock_guard lock(mutex_);
        if (!client_) return midiresult::InvalidHandle;
        failed_ = false;
        try {
            client_->sendMessage(bytes, length);
        } catch (const RtMidiError&) {
            return midiresult::Error;
        }
        return failed_ ? midiresult::Error : midiresult::NoError;
    }

    std::mutex mutex_;
    std::unique_ptr<RtMidiOut> client_;
    bool failed_ = false;
};

}  // namespace

std::vector<std::string> rtMidiPortNames() {
    std::vector<std::string> names;
    for (auto& port : listPorts()) names.push_back(std::move(port.name));
    return names;
}

int openRtMidiPort(int index, std::unique_ptr<MidiOutDevice>& out) {
    if (index < 0) return midiresult::BadDeviceId;
    auto ports = listPorts();
    if (static_cast<size_t>(index) >= ports.size()) return midiresult::BadDeviceId;
    const PortRef& port = ports[static_cast<size_t>(index)];
    auto client = makeClient(port.api);
    if (!client) return midiresult::NoDriver;
    // Open failures come through the error callback rather than as exceptions.
    bool failed = false;
    client->setErrorCallback(
        [](RtMidiError::Type type, const std::string&, void* flag) {
            if (type != RtMidiError::WARNING && type != RtMidiError::DEBUG_WARNING)
                *static_cast<bool*>(flag) = true;
        },
        &failed);
    {
        QuietCerr quiet;
        try {
            client->openPort(port.index, "Tunecase Output");
        } catch (const RtMidiError&) {
            failed = true;
        }
    }
    if (failed || !client->isPortOpen()) return midiresult::Allocated;
    out = std::make_unique<RtMidiDevice>(std::move(client));
    return midiresult::NoError;
}

#endif

}  // namespace tunecase

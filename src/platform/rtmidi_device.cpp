#include "platform/rtmidi_device.h"

#ifdef TUNECASE_HAVE_RTMIDI
#include <rtmidi/rtmidi_c.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <iostream>
#include <limits>
#include <mutex>
#include <streambuf>

#include "platform/shared_library.h"
#endif

namespace tunecase {

#ifndef TUNECASE_HAVE_RTMIDI

bool rtMidiAvailable() { return false; }

std::vector<std::string> rtMidiPortNames() { return {}; }

int openRtMidiPort(int, std::unique_ptr<MidiOutDevice>&) { return midiresult::BadDeviceId; }

#else

namespace {

constexpr const char* kClientName = "Tunecase";

// The library's file name as the runtime package installs it; the build system takes it from
// the library the headers belong to.
#ifndef TUNECASE_RTMIDI_LIBRARY
#define TUNECASE_RTMIDI_LIBRARY "librtmidi.so.6"
#endif

// The library's C interface, opened the first time the ports are listed or one is opened.
// Its calls never throw: each catches the library's errors and clears the client's `ok`
// flag, which stays cleared. (The text in `msg` is not read: some versions leave it
// pointing at a freed string.)
#define TUNECASE_RTMIDI_FUNCTIONS(X)                                                   \
    X(rtmidi_get_compiled_api) X(rtmidi_out_create) X(rtmidi_out_free)                \
    X(rtmidi_get_port_count) X(rtmidi_get_port_name) X(rtmidi_open_port)             \
    X(rtmidi_close_port) X(rtmidi_out_send_message)

struct RtMidiFunctions {
    TUNECASE_RTMIDI_FUNCTIONS(TUNECASE_TABLE_ENTRY)
    bool resolve(SharedLibrary& library) { return true TUNECASE_RTMIDI_FUNCTIONS(TUNECASE_TABLE_FIND); }
};

// The process's table, loaded once by whichever thread asks first; null when the library or
// one of its functions is missing, and then there are no ports. Never freed, like the
// library: a port still open while static objects are destroyed at exit must still close.
const RtMidiFunctions* rtMidi() {
    static const RtMidiFunctions* table = [] {
        std::string error;
        return loadFunctionTable<RtMidiFunctions>(TUNECASE_RTMIDI_LIBRARY, error).release();
    }();
    return table;
}

// The library writes its warnings to std::cerr, and the C interface of the versions we build
// against offers no error callback for an output to take them instead. Our own messages never use std::cerr, so it is
// silenced around each call that may warn. The lock is recursive, as freeing a client quiets
// the stream too.
class QuietCerr {
public:
    QuietCerr() : lock_(mutex()), saved_(std::cerr.rdbuf(&discard())) {}
    ~QuietCerr() { std::cerr.rdbuf(saved_); }

private:
    class Discard final : public std::streambuf {
    protected:
        int overflow(int c) override { return traits_type::not_eof(c); }
        std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
    };
    static std::recursive_mutex& mutex() {
        static std::recursive_mutex m;
        return m;
    }
    static Discard& discard() {
        static Discard d;
        return d;
    }
    std::lock_guard<std::recursive_mutex> lock_;
    std::streambuf* saved_;
};

struct ClientFree {
    const RtMidiFunctions* rt;
    void operator()(RtMidiWrapper* client) const {
        QuietCerr quiet;
        rt->rtmidi_out_free(client);
    }
};
using Client = std::unique_ptr<RtMidiWrapper, ClientFree>;

// The back ends to ask, in device order. The ALSA sequencer is skipped when this machine
// has no sequencer device: asking would only print the sound library's complaint.
std::vector<RtMidiApi> apisToAsk(const RtMidiFunctions& rt) {
    int count = rt.rtmidi_get_compiled_api(nullptr, 0);
    std::vector<RtMidiApi> compiled(static_cast<size_t>(std::max(count, 0)));
    count = rt.rtmidi_get_compiled_api(compiled.data(), static_cast<unsigned>(compiled.size()));
    compiled.resize(static_cast<size_t>(std::clamp(count, 0, static_cast<int>(compiled.size()))));
    std::vector<RtMidiApi> apis;
    for (auto api : compiled) {
        if (api == RTMIDI_API_LINUX_ALSA && access("/dev/snd/seq", R_OK | W_OK) != 0) continue;
        if (api == RTMIDI_API_RTMIDI_DUMMY) continue;
        apis.push_back(api);
    }
    return apis;
}

Client makeClient(const RtMidiFunctions& rt, RtMidiApi api) {
    QuietCerr quiet;
    Client client(rt.rtmidi_out_create(api, kClientName), ClientFree{&rt});
    if (client && !client->ok) client.reset();
    return client;
}

struct PortRef {
    RtMidiApi api;
    unsigned index;
    std::string name;
};

std::vector<PortRef> listPorts(const RtMidiFunctions& rt) {
    std::vector<PortRef> ports;
    for (auto api : apisToAsk(rt)) {
        Client client = makeClient(rt, api);
        if (!client) continue;
        QuietCerr quiet;
        unsigned count = rt.rtmidi_get_port_count(client.get());
        if (!client->ok) continue;
        for (unsigned i = 0; i < count; ++i) {
            // The first call asks for the length (with the terminating zero).
            int size = 0;
            if (rt.rtmidi_get_port_name(client.get(), i, nullptr, &size) < 0 || !client->ok || size <= 0) break;
            std::string name(static_cast<size_t>(size), '\0');
            if (rt.rtmidi_get_port_name(client.get(), i, name.data(), &size) < 0 || !client->ok) break;
            name.resize(std::strlen(name.c_str()));
            ports.push_back({api, i, std::move(name)});
        }
    }
    return ports;
}

class RtMidiDevice final : public MidiOutDevice {
public:
    RtMidiDevice(const RtMidiFunctions& rt, Client client) : rt_(rt), client_(std::move(client)) {}
    ~RtMidiDevice() override { close(); }

    int sendShort(uint32_t packed) override {
        uint8_t bytes[3];
        size_t n = unpackShortMessage(packed, bytes);
        if (n == 0) return midiresult::InvalidParam;
        return send(bytes, n);
    }

    int sendLong(const uint8_t* bytes, size_t length) override {
        if (!bytes || length == 0) return midiresult::InvalidParam;
        if (length > static_cast<size_t>(std::numeric_limits<int>::max())) return midiresult::InvalidParam;
        return send(bytes, length);
    }

    int close() override {
        std::lock_guard lock(mutex_);
        if (!client_) return midiresult::InvalidHandle;
        {
            QuietCerr quiet;
            rt_.rtmidi_close_port(client_.get());
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
    // A send fails only on the library's errors; its warnings (a message it could not parse,
    // one the sequencer did not take) are not failures of the output.
    int send(const uint8_t* bytes, size_t length) {
        std::lock_guard lock(mutex_);
        if (!client_) return midiresult::InvalidHandle;
        QuietCerr quiet;
        int sent = rt_.rtmidi_out_send_message(client_.get(), bytes, static_cast<int>(length));
        return sent < 0 ? midiresult::Error : midiresult::NoError;
    }

    const RtMidiFunctions& rt_;
    std::mutex mutex_;
    Client client_;
};

}  // namespace

bool rtMidiAvailable() { return rtMidi() != nullptr; }

std::vector<std::string> rtMidiPortNames() {
    std::vector<std::string> names;
    const RtMidiFunctions* rt = rtMidi();
    if (!rt) return names;
    for (auto& port : listPorts(*rt)) names.push_back(std::move(port.name));
    return names;
}

int openRtMidiPort(int index, std::unique_ptr<MidiOutDevice>& out) {
    if (index < 0) return midiresult::BadDeviceId;
    const RtMidiFunctions* rt = rtMidi();
    if (!rt) return midiresult::BadDeviceId;
    auto ports = listPorts(*rt);
    if (static_cast<size_t>(index) >= ports.size()) return midiresult::BadDeviceId;
    const PortRef& port = ports[static_cast<size_t>(index)];
    Client client = makeClient(*rt, port.api);
    if (!client) return midiresult::NoDriver;
    {
        QuietCerr quiet;
        rt->rtmidi_open_port(client.get(), port.index, "Tunecase Output");
    }
    if (!client->ok) return midiresult::Allocated;
    out = std::make_unique<RtMidiDevice>(*rt, std::move(client));
    return midiresult::NoError;
}

#endif

}  // namespace tunecase

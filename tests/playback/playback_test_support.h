// Songs and capture helpers shared by the playback tests.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "midi/midi_f0_data.h"
#include "platform/capture_device.h"
#include "platform/midi_out_device.h"
#include "playback/midi_controler.h"

namespace tunecase::testing {

struct TestNote {
    int channel;
    int64_t time;
    int key;
    int velocity;
    int duration;
};

// A song in note form at `division` holding the given notes (in time order), with an
// optional tempo and time signature (numerator, denominator) at time 0.
inline std::unique_ptr<MidiF0Data> songOf(int division, const std::vector<TestNote>& notes, int tempo = 0,
                                          int numerator = 0, int denominator = 0) {
    auto song = MidiF0Data::newSong();
    song->setDivision(division);
    MidiTrackData& track = *song->track();
    if (tempo > 0) track.addTempo(tempo);
    if (numerator > 0) {
        int power = 0;
        while ((1 << power) < denominator) ++power;
        const uint8_t bytes[4] = {static_cast<uint8_t>(numerator), static_cast<uint8_t>(power), 24, 8};
        track.addMeta(0, 0x58, bytes, 4);
        track.event(track.eventCount() - 1)->value = numerator * 256 + denominator;
    }
    int64_t last = 0;
    for (const auto& n : notes) {
        track.addNote(n.channel, static_cast<int>(n.time - last), n.key, n.velocity, n.duration);
        last = n.time;
    }
    track.ensureEndOfTrack(0);
    return song;
}

// Routes the mapper into a capture file for the life of the object.
class CaptureRoute {
public:
    explicit CaptureRoute(std::string path) : path_(std::move(path)) {
        reportMissingMidiDevice = 1;
        defaultMidiDeviceId = kMidiMapper;
        setMidiCaptureFile(path_);
    }
    ~CaptureRoute() { setMidiCaptureFile(""); }
    std::vector<TimedMidiMessage> messages() const {
        std::vector<TimedMidiMessage> out;
        readCaptureFile(path_, out);
        return out;
    }

private:
    std::string path_;
};

}  // namespace tunecase::testing

// Plays a generated song through the capture device in real time and compares, for every
// message, when it was sent with when the player's own arithmetic schedules it: median,
// p99 and maximum lateness, the drift between the start and the end of the song, and the
// CPU time the process used while playing.
//
// usage: tunecase_playback_lateness [NOTES] [SPEED] [GAP_TICKS]
//   defaults: 1500 notes (3000 note events), 150 %, a note every 40 ticks at division 480
//   and 120 BPM (a message about every 14 ms at 150 %).
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

#include "midi/midi_f0_data.h"
#include "platform/capture_device.h"
#include "platform/midi_out_device.h"
#include "playback/music_player.h"
#include "playback/player_schedule.h"

using namespace tunecase;

namespace {

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double percentile(std::vector<int64_t> v, double p) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    size_t i = static_cast<size_t>(p * static_cast<double>(v.size() - 1) + 0.5);
    return static_cast<double>(v[std::min(i, v.size() - 1)]);
}

}  // namespace

int main(int argc, char** argv) {
    const int notes = argc > 1 ? std::atoi(argv[1]) : 1500;
    const int speed = argc > 2 ? std::atoi(argv[2]) : 150;
    const int gap = argc > 3 ? std::atoi(argv[3]) : 40;
    const int division = 480;

    auto song = MidiF0Data::newSong();
    song->setDivision(division);
    MidiTrackData& track = *song->track();
    track.addTempo(500000);
    for (int i = 0; i < notes; ++i) track.addNote(0, i == 0 ? 0 : gap, 48 + (i * 7) % 36, 100, gap / 2);
    track.ensureEndOfTrack(gap);
    song->toMidi();

    const std::string capture = "/tmp/tunecase-lateness-" + std::to_string(::getpid()) + ".txt";
    setMidiCaptureFile(capture);
    auto expected = scheduledMessages(track, division, speed);

    MusicPlayer player;
    const double cpuBefore = cpuSeconds();
    const auto wallBefore = std::chrono::steady_clock::now();
    if (!player.startWholeSong({&track, division}, [] {}, {})) return 1;
    player.clock().setSpeed(speed);
    player.clock().waitWhileBusy();
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallBefore).count();
    const double cpu = cpuSeconds() - cpuBefore;
    player.stopWholeSong();

    std::vector<TimedMidiMessage> got;
    readCaptureFile(capture, got);
    std::remove(capture.c_str());
    // The closing reset is not part of the song.
    while (!got.empty() && (got.back().bytes[0] == 0xFF || (got.back().bytes[0] & 0xF0) == 0xB0)) got.pop_back();
    if (got.size() != expected.size()) {
        std::fprintf(stderr, "sent %zu messages, scheduled %zu\n", got.size(), expected.size());
        return 1;
    }
    for (size_t i = 0; i < got.size(); ++i)
        if (got[i].bytes != expected[i].bytes) {
            std::fprintf(stderr, "message %zu differs from the schedule\n", i);
            return 1;
        }
    // Zero lateness is the earliest any message came relative to its schedule (the run starts
    // a moment after the port opens); the GM System On before the first tick is left out.
    int64_t offset = INT64_MAX;
    for (size_t i = 1; i < got.size(); ++i) offset = std::min(offset, got[i].timeUs - expected[i].timeUs);
    std::vector<int64_t> lateness;
    for (size_t i = 1; i < got.size(); ++i) lateness.push_back(got[i].timeUs - expected[i].timeUs - offset);
    const size_t k = std::min<size_t>(100, lateness.size() / 2);
    double startMean = 0, endMean = 0;
    for (size_t i = 0; i < k; ++i) {
        startMean += static_cast<double>(lateness[i]);
        endMean += static_cast<double>(lateness[lateness.size() - 1 - i]);
    }
    if (k) {
        startMean /= static_cast<double>(k);
        endMean /= static_cast<double>(k);
    }
    std::printf("messages        %zu over %.1f s at %d %%\n", lateness.size(), wall, speed);
    std::printf("lateness (us)   median %.0f  p99 %.0f  max %.0f\n", percentile(lateness, 0.5),
                percentile(lateness, 0.99), percentile(lateness, 1.0));
    std::printf("drift (us)      mean of the last %zu minus the first %zu: %.0f\n", k, k, endMean - startMean);
    std::printf("cpu             %.3f s of %.1f s wall = %.2f %% of one core\n", cpu, wall, 100.0 * cpu / wall);
    return 0;
}

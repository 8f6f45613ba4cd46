// tunecase-cli prepare, play and render: the music-box preparation of a song, real-time
// playback through a MIDI output, and offline rendering to a WAV file.
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "base/records.h"
#include "cli/commands.h"
#include "platform/midi_out_device.h"
#include "platform/offline_renderer.h"
#include "playback/midi_controler.h"
#include "playback/music_player.h"
#include "playback/player_schedule.h"
#include "playback/song_preparation.h"

namespace tunecase::cli {

namespace {

struct PlaybackOptions {
    PreparationOptions preparation;
    int speed = 100;
    int device = kMidiMapper;
    bool deviceGiven = false;
    std::string capture;
    std::string soundfont = kDefaultSoundfont;
    std::vector<std::string> files;
};

bool parseInt(const std::string& text, int& out) {
    if (text.empty()) return false;
    char* end = nullptr;
    long v = std::strtol(text.c_str(), &end, 10);
    if (*end != '\0' || v < -1000000 || v > 1000000) return false;
    out = static_cast<int>(v);
    return true;
}

// Parses the options the three commands share; `allowed` lists which ones this command
// takes. Returns false after printing why.
bool parseOptions(const char* command, const Args& args, const std::string& allowed, PlaybackOptions& o) {
    auto fail = [command](const std::string& why) {
        std::fprintf(stderr, "tunecase-cli %s: %s\n", command, why.c_str());
        return false;
    };
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= args.size()) return false;
            out = args[++i];
            return true;
        };
        std::string v;
        if (a.empty() || a[0] != '-') {
            o.files.push_back(a);
            continue;
        }
        if (allowed.find(a) == std::string::npos) return fail("unknown option '" + a + "'");
        if (a == "--keep-short") {
            o.preparation.deleteShortNoteChannel = false;
        } else if (a == "--keep-long") {
            o.preparation.deleteLongNoteChannel = false;
        } else if (a == "--plate") {
            int code = 0;
            if (!value(v) || !parseInt(v, code) || !plateTypeName(code))
                return fail("--plate takes a plate code from 260 to 265");
            o.preparation.plateType = code;
        } else if (a == "--speed") {
            if (!value(v) || !parseInt(v, o.speed) || o.speed < 50 || o.speed > 150)
                return fail("--speed takes a percentage from 50 to 150");
        } else if (a == "--device") {
            if (!value(v) || !parseInt(v, o.device) || o.device < -1)
                return fail("--device takes a device number (see 'tunecase-cli devices'), or -1 for the default");
            o.deviceGiven = true;
        } else if (a == "--capture") {
            if (!value(o.capture) || o.capture.empty()) return fail("--capture takes a file name");
        } else if (a == "--soundfont") {
            if (!value(o.soundfont) || o.soundfont.empty()) return fail("--soundfont takes a file name");
        } else {
            return fail("unknown option '" + a + "'");
        }
    }
    if (o.deviceGiven && !o.capture.empty()) return fail("--device and --capture cannot be used together");
    return true;
}

std::atomic<int> interrupted{0};

void onInterrupt(int) { interrupted = 1; }

std::string clockText(int64_t ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%02lld:%02lld.%lld", static_cast<long long>(ms / 60000),
                  static_cast<long long>(ms / 1000 % 60), static_cast<long long>(ms / 100 % 10));
    return text;
}

}  // namespace

int prepareMain(const Args& args) {
    PlaybackOptions o;
    if (!parseOptions("prepare", args, "--plate --keep-short --keep-long", o)) return 2;
    if (o.files.size() != 2) {
        std::fprintf(stderr, "usage: tunecase-cli prepare [--plate CODE] [--keep-short] [--keep-long] IN OUT\n");
        return 2;
    }
    PreparedSong prepared = prepareSongFile(o.files[0], o.preparation);
    if (!prepared.ok) return 1;
    if (!prepared.song->saveFile(o.files[1])) return 1;
    std::printf("%s: %s, division %d, %d events, length %lld ticks, trimmed %lld ticks, dropped channels 0x%04X\n",
                o.files[1].c_str(), plateTypeName(o.preparation.plateType), prepared.song->division(),
                prepared.song->track() ? prepared.song->track()->eventCount() : 0,
                static_cast<long long>(prepared.displayLength), static_cast<long long>(prepared.trimmedTicks),
                prepared.deletedChannels);
    return 0;
}

int playMain(const Args& args) {
    PlaybackOptions o;
    if (!parseOptions("play", args, "--plate --speed --device --capture --keep-short --keep-long", o)) return 2;
    if (o.files.size() != 1) {
        std::fprintf(stderr, "usage: tunecase-cli play [--plate CODE] [--speed PERCENT] [--device N | --capture FILE] FILE\n");
        return 2;
    }
    PreparedSong prepared = prepareSongFile(o.files[0], o.preparation);
    if (!prepared.ok) return 1;
    if (!o.capture.empty()) setMidiCaptureFile(o.capture);
    if (o.deviceGiven) defaultMidiDeviceId = o.device;

    std::atomic<int> finished{0};
    std::atomic<int> lastTick{0};
    MusicPlayer player;
    PlayableSong song{prepared.song->track(), prepared.song->division()};
    const int total = static_cast<int>(prepared.song->track()->totalTicks());
    auto started = std::chrono::steady_clock::now();
    if (!player.startWholeSong(song, [&finished] { finished = 1; },
                               [&lastTick](int, int time, const MidiEvent*) { lastTick = time; })) {
        return 1;  // the port has said why
    }
    MidiPlayer::setSpeed(o.speed);

    auto previous = std::signal(SIGINT, onInterrupt);
    const bool tty = ::isatty(STDOUT_FILENO);
    int64_t lastShownSecond = -1;
    while (!finished && !interrupted && playerClock().playerBusy == 1) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started).count();
        if (tty) {
            std::printf("\r%s  tick %d / %d ", clockText(ms).c_str(), lastTick.load(), total);
            std::fflush(stdout);
        } else if (ms / 1000 != lastShownSecond) {
            lastShownSecond = ms / 1000;
            std::printf("%s  tick %d / %d\n", clockText(ms).c_str(), lastTick.load(), total);
            std::fflush(stdout);
        }
    }
    // The stop order: ask, wait for the pending timer to see it, then close the port.
    MidiPlayer::requestStop();
    waitWhilePlayerBusy(10);
    player.stopWholeSong();
    std::signal(SIGINT, previous);
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started).count();
    std::printf("%s%s  %s\n", tty ? "\r" : "", clockText(ms).c_str(), interrupted ? "stopped" : "finished");
    return interrupted ? 130 : 0;
}

int renderMain(const Args& args) {
    PlaybackOptions o;
    if (!parseOptions("render", args, "--plate --speed --soundfont --keep-short --keep-long", o)) return 2;
    if (o.files.size() != 2) {
        std::fprintf(stderr, "usage: tunecase-cli render [--plate CODE] [--speed PERCENT] [--soundfont SF2] FILE OUT.wav\n");
        return 2;
    }
    PreparedSong prepared = prepareSongFile(o.files[0], o.preparation);
    if (!prepared.ok) return 1;
    MidiTrackData& track = *prepared.song->track();
    track.removeFirstSysExOfType(sysex::GmSystemOn);  // the player sends its own
    auto messages = scheduledMessages(track, prepared.song->division(), o.speed);
    RenderOptions render;
    render.soundfont = o.soundfont;
    RenderResult result = renderToWav(messages, o.files[1], render);
    if (!result.ok) {
        std::fprintf(stderr, "tunecase-cli render: %s\n", result.error.c_str());
        return 1;
    }
    std::printf("%s: %zu messages, %.2f s of 44.1 kHz stereo audio\n", o.files[1].c_str(), messages.size(),
                static_cast<double>(result.frames) / render.sampleRate);
    return 0;
}

}  // namespace tunecase::cli

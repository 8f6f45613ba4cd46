// tunecase-cli prepare, play and render: the music-box preparation of a song, real-time
// playback through a MIDI output, and offline rendering to an audio file.
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "base/records.h"
#include "base/reporter.h"
#include "base/text_codec.h"
#include "base/translation.h"
#include "base/utilities.h"
#include "cli/commands.h"
#include "platform/midi_out_device.h"
#include "platform/offline_renderer.h"
#include "playback/song_audio.h"
#include "playback/midi_controler.h"
#include "playback/music_player.h"
#include "playback/player_schedule.h"
#include "playback/song_preparation.h"

namespace tunecase::cli {

namespace {

constexpr int kNoDeviceGiven = -2;

struct PlaybackOptions {
    PreparationOptions preparation;
    int speed = 100;
    int device = kNoDeviceGiven;
    std::string capture;
    std::string soundfont = kDefaultSoundfont;
    std::string in, out;
    double gainDb = 0;
    bool normalize = true;
    bool quiet = false;
    int threads = 0;
};

std::atomic<int> interrupted{0};

void onInterrupt(int) { interrupted = 1; }

std::string clockText(int64_t ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%02lld:%02lld.%lld", static_cast<long long>(ms / 60000),
                  static_cast<long long>(ms / 1000 % 60), static_cast<long long>(ms / 100 % 10));
    return text;
}

int prepare(const PlaybackOptions& o) {
    PreparedSong prepared = prepareSongFile(o.in, o.preparation);
    if (!prepared.ok) return 1;
    if (!prepared.song->saveFile(o.out)) return 1;
    std::printf(tr("%s: %s, division %d, %d events, length %lld ticks, trimmed %lld ticks, dropped channels 0x%04X\n"),
                escapeControls(o.out).c_str(), tr(plateTypeName(o.preparation.plateType)), prepared.song->division(),
                prepared.song->track() ? prepared.song->track()->eventCount() : 0,
                static_cast<long long>(prepared.displayLength), static_cast<long long>(prepared.trimmedTicks),
                prepared.deletedChannels);
    return 0;
}

int play(const PlaybackOptions& o) {
    PreparedSong prepared = prepareSongFile(o.in, o.preparation);
    if (!prepared.ok) return 1;
    if (!o.capture.empty()) setMidiCaptureFile(o.capture);
    if (o.device != kNoDeviceGiven) defaultMidiDeviceId = o.device;

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
    PlayerClock& clock = player.clock();
    clock.setSpeed(o.speed);

    auto previous = std::signal(SIGINT, onInterrupt);
    const bool tty = ::isatty(STDOUT_FILENO);
    int64_t lastShownSecond = -1;
    while (!finished && !interrupted && clock.playerBusy() == 1) {
        // The progress line is redrawn every 100 ms, and at once when the run ends.
        clock.waitWhileBusy(std::chrono::milliseconds(100));
        auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started).count();
        if (tty) {
            std::fputs("\r", stdout);
            std::printf(tr("%s  tick %d / %d"), clockText(ms).c_str(), lastTick.load(), total);
            std::fputs(" ", stdout);
            std::fflush(stdout);
        } else if (ms / 1000 != lastShownSecond) {
            lastShownSecond = ms / 1000;
            std::printf(tr("%s  tick %d / %d"), clockText(ms).c_str(), lastTick.load(), total);
            std::fputs("\n", stdout);

            std::fflush(stdout);
        }
    }
    // The stop order: ask, wait for the pending timer to see it, then close the port.
    clock.requestStop();
    clock.waitWhileBusy();
    player.stopWholeSong();
    std::signal(SIGINT, previous);
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started).count();
    std::printf("%s%s  %s\n", tty ? "\r" : "", clockText(ms).c_str(), interrupted ? tr("stopped") : tr("finished"));
    return interrupted ? 130 : 0;
}

// A bar redrawn in place on a terminal's standard error, at most once per percent.
class ProgressBar {
public:
    explicit ProgressBar(bool shown) : shown_(shown) {}
    void show(double share) {
        if (!shown_) return;
        int percent = static_cast<int>(share * 100);
        if (percent == percent_) return;
        percent_ = percent;
        constexpr int kWidth = 40;
        int filled = percent * kWidth / 100;
        std::fprintf(stderr, "\r[%s%s] %3d%%", std::string(static_cast<size_t>(filled), '#').c_str(),
                     std::string(static_cast<size_t>(kWidth - filled), '.').c_str(), percent);
        std::fflush(stderr);
    }
    void end() {
        if (shown_ && percent_ >= 0) std::fprintf(stderr, "\r%60s\r", "");
    }

private:
    bool shown_;
    int percent_ = -1;
};

int render(const PlaybackOptions& o) {
    // Refused before any work: the name must promise a format that is written.
    if (!audioFormatFor(o.out)) {
        const std::string kind = extensionLower(o.out);
        const std::string why = kind.empty() ? std::string(tr("the name has no extension"))
                                             : fillIn(tr(".%s audio is not written"), kind);
        std::fprintf(stderr,
                     tr("tunecase-cli render: %s: %s; OUT must end in one of %s\n"
                        "Run with --help for more information.\n"),
                     escapeControls(o.out).c_str(), escapeControls(why).c_str(), acceptedAudioExtensions().c_str());
        return 2;
    }
    PreparedSong prepared = prepareSongFile(o.in, o.preparation);
    if (!prepared.ok) return 1;
    RenderOptions render;
    render.soundfont = o.soundfont;
    render.normalize = o.normalize;
    render.gainDb = o.gainDb;
    render.threads = o.threads;
    ProgressBar bar(!o.quiet && ::isatty(STDERR_FILENO));
    render.progress = [&bar](double share) { bar.show(share); };
    RenderResult result = renderPreparedSong(prepared, o.speed, o.out, render);
    bar.end();
    if (!result.ok) {
        std::fprintf(stderr, tr("tunecase-cli render: %s\n"), escapeControls(result.error).c_str());
        return 1;
    }
    std::string level;
    if (!std::isnan(result.loudnessLufs)) {
        char text[96];
        if (std::isfinite(result.loudnessLufs)) {
            std::snprintf(text, sizeof text, tr(", %.1f LUFS, true peak %.1f dBTP"), result.loudnessLufs,
                          result.truePeakDbtp);
        } else {
            std::snprintf(text, sizeof text, "%s", tr(", silent"));
        }
        level = text;
    }
    std::printf(tr("%s: %zu messages, %.2f s of %.1f kHz stereo audio, gain %+.1f dB%s\n"), escapeControls(o.out).c_str(),
                result.messages, static_cast<double>(result.frames) / result.sampleRate, result.sampleRate / 1000.0,
                result.gainDb, level.c_str());
    return 0;
}

}  // namespace

// The options the three commands share.
void addPlateOptions(CLI::App& sub, PlaybackOptions& o) {
    sub.add_option("--plate", o.preparation.plateType,
                   tr("plate code: 260 None, 261 Large Disk (default), 262 Small Disk, 263 Paper, "
                      "264 Toypiano(Large), 265 Toypiano(Small)"))
        ->check(CLI::Range(static_cast<int>(PlateNone), static_cast<int>(PlateToyPianoSmall)));
    sub.add_flag_callback("--keep-short", [&o] { o.preparation.deleteShortNoteChannel = false; },
                          tr("keep channels whose notes are very dense"));
    sub.add_flag_callback("--keep-long", [&o] { o.preparation.deleteLongNoteChannel = false; },
                          tr("keep channels whose notes are very sparse"));
}

void addSpeedOption(CLI::App& sub, PlaybackOptions& o) {
    sub.add_option("--speed", o.speed, tr("playing speed in percent, 50..150 (default 100)"))->check(CLI::Range(50, 150));
}

Action declarePrepare(CLI::App& sub) {
    auto o = std::make_shared<PlaybackOptions>();
    addPlateOptions(sub, *o);
    sub.add_option("IN", o->in, tr("the MIDI file to prepare"))->required();
    sub.add_option("OUT", o->out, tr("the format 0 file to write"))->required();
    return [o] { return prepare(*o); };
}

Action declarePlay(CLI::App& sub) {
    auto o = std::make_shared<PlaybackOptions>();
    addPlateOptions(sub, *o);
    addSpeedOption(sub, *o);
    auto* device = sub.add_option("--device", o->device,
                                  tr("a device number from 'tunecase-cli devices', or -1 for the default"))
                       ->check(CLI::Range(-1, 1000000));
    sub.add_option("--capture", o->capture, tr("write every MIDI message with its time to FILE instead of sounding"))
        ->excludes(device);
    sub.add_option("FILE", o->in, tr("the MIDI file to play; Ctrl-C stops"))->required();
    return [o] { return play(*o); };
}

Action declareRender(CLI::App& sub) {
    auto o = std::make_shared<PlaybackOptions>();
    addPlateOptions(sub, *o);
    addSpeedOption(sub, *o);
    sub.add_option("--soundfont", o->soundfont, tr("the SF2 soundfont to render with"));
    sub.add_flag_callback("--no-normalize", [o] { o->normalize = false; },
                                              tr("keep the synthesizer's own level instead of -16 LUFS"));
    sub.add_option("--gain", o->gainDb,
                   tr("DB added to the level: to the -16 LUFS target (the true peak still stays under -1 dBTP), "
                      "or with --no-normalize to the synthesizer's own level"))
        ->check(CLI::Range(-60.0, 30.0));
    sub.add_flag("--quiet", o->quiet, tr("no progress bar on standard error"));
    sub.add_option("--threads", o->threads,
                   tr("synthesizers rendering parts of a long song side by side, 1 or 2 (default: one per core, at most 2)"))
        ->check(CLI::Range(1, 2));
    sub.add_option("FILE", o->in, tr("the MIDI file to render"))->required();
    sub.add_option("OUT", o->out,
                   tr("the audio file to write; its extension names the format: .wav, .flac, .ogg (Vorbis), "
                      ".opus (48 kHz) or .mp3"))

        ->required();
    return [o] { return render(*o); };
}

}  // namespace tunecase::cli

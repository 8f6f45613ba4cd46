// How much of a processor the player takes while it plays with nothing else to do: the
// real player window and plate (Large Disk) on the offscreen platform, a song played into
// a capture file, and the process's CPU time (every thread) over the wall time of the run.
//
// usage: tunecase_player_idle_cpu [SECONDS] [PLATE_CODE]   (default 10 s, 261 Large Disk)
#include <sys/resource.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "app/gui/tunecase_app.h"
#include "base/reporter.h"
#include "songs/song_list.h"
#include "base/utilities.h"
#include "midi/midi_f0_data.h"
#include "platform/capture_device.h"
#include "platform/midi_out_device.h"

namespace fs = std::filesystem;
using namespace tunecase;

namespace {

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// A song long enough for the run: eighth notes of a rising and falling line with a chord
// on every beat, at 120 beats per minute (about 4 notes a second, twice that on beats).
bool writeSong(const std::string& path, double seconds) {
    auto song = MidiF0Data::newSong();
    song->setDivision(96);
    MidiTrackData& track = *song->track();
    track.addTempo(500000);
    const int eighths = static_cast<int>(seconds * 4) + 16;
    int64_t last = 0;
    for (int i = 0; i < eighths; ++i) {
        const int64_t time = int64_t{i} * 48;
        const int key = 60 + (i % 24 < 12 ? i % 12 : 12 - i % 12);
        track.addNote(0, static_cast<int>(time - last), key, 90, 40);
        if (i % 2 == 0) track.addNote(0, 0, key - 12, 70, 40);
        last = time;
    }
    track.ensureEndOfTrack(0);
    return song->saveFile(path) == 1;
}

class NoBrowser final : public FolderBrowser {
public:
    Result browseForFolder(const std::string&, std::string&, const std::string&) override { return Cancelled; }
};

void runFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

}  // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 10.0;
    const int plate = argc > 2 ? std::atoi(argv[2]) : PlateLargeDisk;
    if (seconds <= 0 || !plateTypeName(plate)) {
        std::fprintf(stderr, "usage: %s [SECONDS] [PLATE_CODE 260..265]\n", argv[0]);
        return 2;
    }
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication qtApp(argc, argv);
    ScopedCapture boxes;

    char scratchName[] = "/tmp/tunecase-idle-XXXXXX";
    if (!mkdtemp(scratchName)) return 1;
    const fs::path scratch = scratchName;
    setenv("HOME", scratch.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (scratch / "config").c_str(), 1);
    fs::create_directories(scratch / "config" / "TNC");
    const std::string songPath = (scratch / "idle.mid").string();
    if (!writeSong(songPath, seconds + 5)) return 1;

    PlayerSettings settings = defaultPlayerSettings();
    settings.plateType = plate;
    setFieldText(settings.dataFolder, kPathBytes, scratch.string());
    SongList list = emptySongList();
    insertOrAppend(list, songPath, "Idle");
    writeWhole((scratch / "config" / "TNC" / "setup.ini").string(), &settings, sizeof settings);
    writeWhole((scratch / "config" / "TNC" / "mbox.lst").string(), &list, sizeof list);
    const std::string capture = (scratch / "capture.txt").string();
    setMidiCaptureFile(capture);

    int result = 0;
    {
        NoBrowser browser;
        TunecaseApp app(&browser);
        app.window().show();
        QElapsedTimer wait;
        wait.start();
        while (app.window().controller().isLoading() && wait.elapsed() < 10000) runFor(10);
        app.window().controller().startStop();
        // Let the song get going before measuring.
        runFor(1000);

        const double cpu0 = cpuSeconds();
        const auto wall0 = std::chrono::steady_clock::now();
        runFor(static_cast<int>(seconds * 1000));
        const double cpu = cpuSeconds() - cpu0;
        const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();

        std::vector<TimedMidiMessage> sent;
        readCaptureFile(capture, sent);
        size_t noteOns = 0;
        for (const auto& m : sent)
            if (m.bytes.size() == 3 && (m.bytes[0] & 0xF0) == 0x90 && m.bytes[2] > 0) ++noteOns;
        std::printf("plate %s, %.1f s of playback, %zu note-ons sent\n", plateTypeName(plate), wall, noteOns);
        std::printf("process CPU %.3f s / wall %.3f s = %.2f %% of one core\n", cpu, wall, 100.0 * cpu / wall);
        if (!app.window().controller().isPlaying() || noteOns == 0) {
            std::fprintf(stderr, "the song did not play (%zu boxes)\n", boxes->count());
            for (const auto& text : boxes->visibleTexts()) std::fprintf(stderr, "  %s\n", text.c_str());
            result = 1;
        }
        app.window().close();
    }
    setMidiCaptureFile("");
    std::error_code ignored;
    fs::remove_all(scratch, ignored);
    return result;
}

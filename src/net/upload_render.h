// The sound of an upload for its page: the MIDI file played as the music box plays it
// (prepared for the large disk), rendered offline with the program's soundfont as Ogg
// Vorbis, and the facts the page shows read from the file. One job renders the uploads one
// after another at the lowest priority, so a burst of uploads never holds up the answers.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

#include "base/job_runner.h"
#include "net/song_store.h"

namespace tunecase {

struct RenderedUpload final {
    SongFacts facts;             // what the file says; a title of its own or ""
    std::optional<Blob> audio;   // none when the file does not play or there is no soundfont
    std::string error;           // why there is no audio
};

// `workFolder` takes two work files for the time of the call.
RenderedUpload renderUpload(const std::string& midiBytes, const std::string& workFolder,
                            const std::string& soundfont);

// "C", "F#m", ... from a key signature's sharps (negative: flats) and mode (1 minor).
std::string keyNameOf(int sharps, int minor);

class UploadRenderer final {
public:
    UploadRenderer(SongStore& store, std::string workFolder, std::string soundfont,
                   std::function<void(const std::string&)> log);
    ~UploadRenderer();  // stops after the render that runs
    UploadRenderer(const UploadRenderer&) = delete;
    UploadRenderer& operator=(const UploadRenderer&) = delete;

    // Something new to render (also picks up what a killed server left pending).
    void wake();
    // Waits until nothing is left to render (tests).
    void drain();

private:
    void run();

    SongStore& store_;
    std::string workFolder_;
    std::string soundfont_;
    std::function<void(const std::string&)> log_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool wanted_ = true;  // look at the store once at the start
    bool busy_ = false;
    bool stop_ = false;
    JobRunner jobs_;  // the one job: renders until the renderer goes; last, so it goes first
};

}  // namespace tunecase

#include "playback/song_preview.h"

#include <chrono>
#include <thread>

#include "base/general_errors.h"
#include "midi/midi_file_messages.h"

namespace tunecase {

namespace {

using namespace std::chrono_literals;

constexpr int kPreviewDivision = 96;

// Preview threads running in the process: a preview does not start while another one's
// thread still holds (or is about to take) the run.
std::atomic<int> previewThreads{0};

}  // namespace

int SongPreview::play(const MidiF0Data& song, Completion completion, Progress progress, bool fromMeasure, bool loop) {
    if (song.state() != MidiF0Data::NoteEvents || !song.track()) {
        reportCoded(kFormat0Messages, m0dt::InternalError);
        return 0;
    }
    // The old copy may still be playing: it has to be stopped before it is dropped.
    if (thread_.joinable()) stop();
    copy_.reset();

    auto copy = std::make_unique<MidiF0Data>(song);
    copy->changeDivision(kPreviewDivision);
    copy->toMidi();
    int64_t trimmed = fromMeasure ? copy->roundStartToMeasure() : 0;
    if (progress) progress(0, static_cast<int>(trimmed), nullptr);

    // Wait for a busy run of another player, or another preview, to end.
    RunSlot& slot = RunSlot::instance();
    auto noOtherPreview = [] { return previewThreads.load() == 0; };
    if (!slot.waitUntilNoRunBusy(noOtherPreview, 5s)) {
        slot.requestStopOfHolder();
        if (!slot.waitUntilNoRunBusy(noOtherPreview, 5s)) {
            generalError(gene::QuitAndRestart);
            return 0;
        }
    }

    copy_ = std::move(copy);
    player_.ready = 0;
    threadRunning_ = true;
    ++previewThreads;
    thread_ = std::thread(&SongPreview::playOnThread, this, copy_.get(), std::move(completion), std::move(progress), loop);
    // Until the preview is running (or has already failed and finished).
    slot.waitUntil([this] { return playing_ || !threadRunning_; }, 5s);
    return 1;
}

void SongPreview::playOnThread(MidiF0Data* song, Completion completion, Progress progress, bool loop) {
    RunSlot& slot = RunSlot::instance();
    PlayableSong playable{song->track(), song->division()};
    if (player_.play(playable, std::move(progress), 0, 0, -1, {})) {
        player_.clock().loopAtEnd = loop ? 1 : 0;
        playing_ = true;
        slot.notifyAll();
        player_.waitUntilDone(completion);
        playing_ = false;
        player_.release();
    } else if (completion) {
        completion();
    }
    player_.clock().loopAtEnd = 0;
    player_.ready = 1;
    --previewThreads;
    threadRunning_ = false;
    slot.notifyAll();
}

void SongPreview::stop() {
    RunSlot& slot = RunSlot::instance();
    slot.waitUntil([this] { return !threadRunning_ || playing_; }, 3s);
    if (threadRunning_ && !playing_) reportCoded(kFormat0Messages, m0dt::StopFailed);
    player_.clock().requestStop();
    if (!slot.waitUntil([this] { return !threadRunning_; }, 2s)) player_.clock().killTimer();
    if (thread_.joinable()) thread_.join();
    copy_.reset();
    // Not a wait for anything: the device gets a second to settle before it is used again.
    std::this_thread::sleep_for(1s);
}

SongPreview::~SongPreview() {
    // The copy is played by another thread; it must end before the copy goes.
    if (!thread_.joinable()) return;
    player_.clock().requestStop();
    if (!RunSlot::instance().waitUntil([this] { return !threadRunning_; }, 2s)) player_.clock().killTimer();
    thread_.join();
}

}  // namespace tunecase

#include "playback/midi_player.h"

#include <thread>
#include <vector>

#include "midi/midi_status.h"
#include "platform/timer_service.h"

namespace tunecase {

const MessageTable kMidiPlayerErrors{
    "MDPL",
    {
        {mdpl::DivisionTooLarge, "Division is too large!"},
        {mdpl::CantUseTimer, "Can not use timer!"},
        {mdpl::TempoTooSlow, "Tempo is too slow!"},
        {mdpl::InternalError, "Internal error occured in MidiPlayer!"},
        {mdpl::PlayPointWrong, "Play point is wrong!"},
        {mdpl::TempoWrong, "Tempo is wrong!"},
        {mdpl::InvalidData, "Musical data is invalid!"},
        {mdpl::AnotherRunActive, "Another song is already playing!"},
    },
    "Error occured in MidiPlayer!",
};

namespace {

using Clock = std::chrono::steady_clock;

// Set while a run is prepared and not yet destroyed: the clock is never shared.
std::atomic<bool> runAlive{false};

// "CallBackPlayer Error!" is shown once per process.
std::atomic<bool> missingEndCallbackShown{false};

}  // namespace

PlayerClock& playerClock() {
    static PlayerClock clock;
    return clock;
}

int64_t ticksPerMinute(int division, uint32_t tempoBpm, int32_t speedPercent) {
    double tpm = static_cast<double>(division) * tempoBpm * speedPercent / 100.0;
    return static_cast<int64_t>(tpm);
}

int64_t delayMs(int64_t delta, int64_t tpm) { return tpm == 0 ? 0 : delta * 60000 / tpm; }

struct MidiPlayer::Run {
    std::mutex mutex;  // held by a timer callback for its whole body, and by destroyRun
    bool destroyed = false;
    PlayableSong song;
    std::unique_ptr<MidiControler> port;
    PerEventCallback perEvent;
    EndCallback endCallback;
    Clock::time_point deadline;  // when the current tick was due
    uint32_t resolution = 1;

    int eventCount() const { return song.track->eventCount(); }
    MidiEvent& eventAt(int i) { return *song.track->event(i); }

    // Sends one event to the port; a tempo event changes the clock instead.
    void dispatch(const MidiEvent& e) {
        PlayerClock& clock = playerClock();
        switch (e.status) {
            case ev::NoteOff: port->noteOff(e.data1, e.channel); break;
            case ev::NoteOn: port->noteOn(e.data1, e.velocity, e.channel); break;
            case ev::ControlChange: port->sendShort(e.value, static_cast<int>(e.type), 0xB0 | (e.channel & 0x0F)); break;
            case ev::ProgramChange: port->programChange(e.value, e.channel); break;
            case ev::PitchBend: port->sendShort(e.value, e.data1, 0xE0 | (e.channel & 0x0F)); break;
            case ev::SysEx:
            case ev::EscapedSysEx:
                if (e.getData() && e.length > 0)
                    port->sendSystemExclusive(static_cast<size_t>(e.length), e.getData());
                break;
            case ev::Meta:
                if (e.type == meta::Tempo) {
                    const int u = e.value;
                    if (u >= 1000) {
                        uint32_t bpm = static_cast<uint32_t>(60000 / (u / 1000));
                        if (bpm < 10) {
                            reportCoded(kMidiPlayerErrors, mdpl::TempoTooSlow);
                            bpm = 10;
                        }
                        clock.tempoBpm = bpm;
                    } else {
                        reportCoded(kMidiPlayerErrors, mdpl::TempoWrong);
                        clock.tempoBpm = 60;
                    }
                }
                break;
            default: break;
        }
    }

    // Optionally sends the event at nextIndex, optionally steps past it. Returns the delta
    // of the event now at nextIndex, or -1 when the song ran out.
    int advance(bool send, bool step) {
        PlayerClock& clock = playerClock();
        int index = clock.nextIndex;
        if (send) dispatch(eventAt(index));
        if (step) clock.nextIndex = ++index;
        if (index >= eventCount()) return -1;
        int d = eventAt(index).delta;
        if (d < 0) reportCoded(kMidiPlayerErrors, mdpl::InvalidData);
        return d;
    }

    // tpm for the current clock, or 0 after ending the run with "Tempo is wrong!".
    int64_t currentTpm() {
        PlayerClock& clock = playerClock();
        int64_t tpm = ticksPerMinute(song.division, clock.tempoBpm, clock.speedPercent);
        if (tpm == 0) {
            reportCoded(kMidiPlayerErrors, mdpl::TempoWrong);
            clock.playerBusy = 0;
        }
        return tpm;
    }
};

namespace {

// Arms the next one-shot timer of a run at an absolute deadline, so that timer lateness
// never adds up over a song.
uint32_t armAt(const std::shared_ptr<MidiPlayer::Run>& run, Clock::time_point deadline,
               void (*tick)(const std::shared_ptr<MidiPlayer::Run>&)) {
    std::weak_ptr<MidiPlayer::Run> weak = run;
    uint32_t id = timeSetEventAt(deadline, [weak, tick](uint32_t) {
        if (auto r = weak.lock()) tick(r);
    });
    playerClock().timerId = id;
    return id;
}

// Calls a run's end callback, or says once per process that it has none.
void reportRunEnd(const EndCallback& end) {
    if (end) end();
    else if (!missingEndCallbackShown.exchange(true)) reportText("CallBackPlayer Error!", BoxKind::Ok);
}

// A destroyed run does nothing; a callback run asked to stop silences its notes and ends.
// Returns true when the tick must end here. Called with the run's lock held.
bool endsOnStopRequest(MidiPlayer::Run& run) {
    if (run.destroyed) return true;
    PlayerClock& clock = playerClock();
    if (!clock.stopRequested) return false;
    run.port->allNotesOff();
    clock.playerBusy = 0;
    return true;
}

// The last timer of a callback run: fires when the song time reaches the end time.
void endTick(const std::shared_ptr<MidiPlayer::Run>& run) {
    std::unique_lock lock(run->mutex);
    if (endsOnStopRequest(*run)) return;
    PlayerClock& clock = playerClock();
    clock.songTime = clock.endTime.load();
    EndCallback end = run->endCallback;
    clock.playerBusy = 0;
    lock.unlock();
    reportRunEnd(end);
}

// One tick of callback mode: works out which events are due and the delay to the next
// ones, arms the next timer, and only then sends, so that slow per-event callbacks never
// delay the next tick.
void callbackTick(const std::shared_ptr<MidiPlayer::Run>& run) {
    std::unique_lock lock(run->mutex);
    if (endsOnStopRequest(*run)) return;
    PlayerClock& clock = playerClock();
    enum class After { NextTick, EndTimer, EndNow, RanOut, Failed };
    After after = After::NextTick;
    std::vector<int> examined;
    int64_t delay = 0;
    int wraps = 0;
    for (;;) {
        const int index = clock.nextIndex;
        clock.songTime = clock.songTime + run->eventAt(index).delta;
        examined.push_back(index);
        int next = run->advance(false, true);
        clock.lastDelta = next;
        if (next < 0) {
            // A second wrap in one tick means the whole song lasts under a millisecond: a
            // looping run would never leave this tick, so it ends instead.
            if (clock.loopAtEnd && ++wraps < 2) {
                clock.nextIndex = 0;
                continue;
            }
            after = After::RanOut;
            break;
        }
        int64_t tpm = run->currentTpm();
        if (tpm == 0) {
            after = After::Failed;
            break;
        }
        if (clock.endTime != -1 && static_cast<int64_t>(clock.songTime) + next >= clock.endTime) {
            // The events of this tick still sound; the run ends when the song time
            // reaches the end time.
            delay = delayMs(static_cast<int64_t>(clock.endTime) - clock.songTime, tpm);
            after = delay > 0 ? After::EndTimer : After::EndNow;
            break;
        }
        delay = delayMs(next, tpm);
        if (delay > 0) break;
    }
    if (after == After::Failed) return;  // the run is already over, nothing is sent
    if (after == After::NextTick || after == After::EndTimer) {
        run->deadline += std::chrono::milliseconds(delay);
        if (armAt(run, run->deadline, after == After::NextTick ? callbackTick : endTick) == 0) {
            reportCoded(kMidiPlayerErrors, mdpl::CantUseTimer);
            after = After::RanOut;
        }
    }
    const int songTime = clock.songTime;
    for (int index : examined) {
        MidiEvent copy(run->eventAt(index));
        if (run->perEvent) run->perEvent(index, songTime, &copy);
        run->dispatch(copy);
    }
    if (after == After::RanOut) {
        clock.playerBusy = 0;
    } else if (after == After::EndNow) {
        EndCallback end = run->endCallback;
        clock.playerBusy = 0;
        lock.unlock();
        reportRunEnd(end);
    }
}

// One tick of simple mode.
void simpleTick(const std::shared_ptr<MidiPlayer::Run>& run) {
    std::lock_guard lock(run->mutex);
    if (run->destroyed) return;
    PlayerClock& clock = playerClock();
    if (clock.stopRequested) {
        clock.playerBusy = 0;
        return;
    }
    int wraps = 0;
    for (;;) {
        if (clock.nextIndex >= run->eventCount()) {
            reportCoded(kMidiPlayerErrors, mdpl::PlayPointWrong);
            clock.playerBusy = 0;
            return;
        }
        int next = run->advance(true, true);
        clock.lastDelta = next;
        if (next < 0) {
            if (clock.loopAtEnd && ++wraps < 2) {
                clock.nextIndex = 0;
                continue;
            }
            break;
        }
        int64_t tpm = run->currentTpm();
        if (tpm == 0) return;
        int64_t delay = delayMs(next, tpm);
        if (delay > 0) {
            run->deadline += std::chrono::milliseconds(delay);
            if (armAt(run, run->deadline, simpleTick) == 0) {
                reportCoded(kMidiPlayerErrors, mdpl::CantUseTimer);
                clock.playerBusy = 0;
            }
            return;
        }
    }
    EndCallback end = run->endCallback;
    clock.playerBusy = 0;
    if (end) end();
}

}  // namespace

MidiPlayer::MidiPlayer() = default;

MidiPlayer::~MidiPlayer() {
    if (run_) {
        killTimer();
        destroyRun();
    }
}

bool MidiPlayer::isPrepared() const { return run_ != nullptr; }

int MidiPlayer::prepareRun(PlayableSong song, int deviceId, int startTick, int* outStartTime,
                           const PerEventCallback& perEvent) {
    PlayerClock& clock = playerClock();
    if (!song.track || song.track->state() != MidiTrackData::MidiEvents || song.division <= 0) {
        reportCoded(kMidiPlayerErrors, mdpl::InternalError);
        return 0;
    }
    if (run_ || runAlive.exchange(true)) {
        reportCoded(kMidiPlayerErrors, mdpl::AnotherRunActive);
        return 0;
    }
    auto run = std::make_shared<Run>();
    run->song = song;
    run->perEvent = perEvent;
    run->port = std::make_unique<MidiControler>(deviceId);
    if (!run->port->isOpen()) {
        run->port.reset();
        clock.playerBusy = 0;
        runAlive = false;
        return 0;
    }
    run_ = run;

    song.track->removeFirstSysExOfType(sysex::GmSystemOn);
    run->port->sendGmSystemOn();
    if (perEvent) {
        static const uint8_t gmOn[] = {0xF0, 0x05, 0x7E, 0x7F, 0x09, 0x01, 0xF7};
        MidiEvent e;
        e.status = ev::SysEx;
        e.type = sysex::GmSystemOn;
        e.channel = 255;
        e.setData(gmOn, sizeof gmOn);
        perEvent(0, 0, &e);
    }

    clock.playerBusy = 1;
    clock.stopRequested = 0;
    clock.tempoBpm = 240;
    clock.speedPercent = 100;

    int startTime = 0;
    clock.nextIndex = 0;
    const int count = run->eventCount();
    if (startTick > 0) {
        // Chase: gather the state of everything before startTick and send it at once.
        MidiStatus status;
        int64_t time = 0;
        int64_t previousTime = 0;
        int index = 0;
        for (; index < count; ++index) {
            const MidiEvent& e = run->eventAt(index);
            time += e.delta;
            if (time >= startTick) break;
            status.record(e);
            previousTime = time;
        }
        clock.nextIndex = index;
        startTime = static_cast<int>(previousTime);
        std::vector<MidiEvent> restore;
        status.toEvents(restore);
        for (const auto& e : restore) run->dispatch(e);
    }
    // The pre-roll's own deltas count towards the song time: without them the song time
    // would lag the song, and a whole-song run would run out of events before reaching
    // its end time and never report its end.
    while (clock.nextIndex < count && run->eventAt(clock.nextIndex).status != ev::NoteOn) {
        startTime += run->eventAt(clock.nextIndex).delta;
        run->advance(true, true);
        if (clock.nextIndex < count && perEvent) {
            MidiEvent copy(run->eventAt(clock.nextIndex));
            perEvent(clock.nextIndex, 0, &copy);
        }
    }
    if (outStartTime) *outStartTime = startTime;

    TimerCaps caps;
    timeGetDevCaps(caps);
    const int64_t ticksAt240 = static_cast<int64_t>(song.division) * 240;
    uint32_t period = ticksAt240 > 0 ? static_cast<uint32_t>(60000 / ticksAt240) : 0;
    if (period < caps.periodMin) period = caps.periodMin;
    clock.period = period;
    timeBeginPeriod(period);
    run->resolution = caps.periodMin;
    return static_cast<int>(caps.periodMin);
}

int MidiPlayer::startSimple(PlayableSong song, int deviceId, EndCallback endCallback) {
    int resolution = prepareRun(song, deviceId, 0, nullptr, {});
    if (resolution == 0) return 0;
    run_->endCallback = std::move(endCallback);
    run_->deadline = Clock::now() + std::chrono::milliseconds(playerClock().period.load());
    if (armAt(run_, run_->deadline, simpleTick) == 0) {
        reportCoded(kMidiPlayerErrors, mdpl::CantUseTimer);
        playerClock().playerBusy = 0;
    }
    return 1;
}

int MidiPlayer::startWithCallbacks(PlayableSong song, int deviceId, EndCallback endCallback,
                                   PerEventCallback perEvent, int startTime, int startTick, int endTime) {
    PlayerClock& clock = playerClock();
    int chaseStart = 0;
    int resolution = prepareRun(song, deviceId, startTick, &chaseStart, perEvent);
    if (resolution == 0) return 0;
    {
        std::lock_guard lock(run_->mutex);
        run_->endCallback = std::move(endCallback);
        clock.endTime = endTime;
        clock.songTime = startTime + chaseStart;
    }
    if (clock.nextIndex < run_->eventCount()) {
        run_->deadline = Clock::now() + std::chrono::milliseconds(clock.period.load());
        if (armAt(run_, run_->deadline, callbackTick) == 0) {
            reportCoded(kMidiPlayerErrors, mdpl::CantUseTimer);
            clock.playerBusy = 0;
        }
    } else {
        clock.playerBusy = 0;
    }
    return 1;
}

void MidiPlayer::setSpeed(int percent) { playerClock().speedPercent = percent; }

void MidiPlayer::requestStop() { playerClock().stopRequested = 1; }

void MidiPlayer::killTimer() {
    uint32_t id = playerClock().timerId.exchange(0);
    if (id) timeKillEvent(id);
    playerClock().playerBusy = 0;
}

void MidiPlayer::destroyRun() {
    if (!run_) return;
    {
        // Waits for a callback that is still running; later ones see `destroyed`.
        std::lock_guard lock(run_->mutex);
        run_->destroyed = true;
        if (run_->port) {
            run_->port->close();
            run_->port.reset();
        }
    }
    run_.reset();
    runAlive = false;
}

void MidiPlayer::allNotesOff() {
    if (!run_) return;
    std::lock_guard lock(run_->mutex);
    if (run_->port) run_->port->allNotesOff();
}

bool waitWhilePlayerBusy(int stepMs, int maxWaitMs) {
    int waited = 0;
    while (playerClock().playerBusy == 1) {
        if (maxWaitMs > 0 && waited >= maxWaitMs) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(stepMs));
        waited += stepMs;
    }
    return true;
}

}  // namespace tunecase

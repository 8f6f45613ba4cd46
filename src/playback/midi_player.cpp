#include "playback/midi_player.h"

#include <chrono>
#include <mutex>
#include <vector>

#include "midi/midi_status.h"
#include "platform/timer_service.h"
#include "playback/player_tick.h"
#include "base/translation.h"

namespace tunecase {

const MessageTable kMidiPlayerErrors{
    "MDPL",
    {
        {mdpl::DivisionTooLarge, N_("Division is too large!")},
        {mdpl::CantUseTimer, N_("Can not use timer!")},
        {mdpl::TempoTooSlow, N_("Tempo is too slow!")},
        {mdpl::InternalError, N_("Internal error occured in MidiPlayer!")},
        {mdpl::PlayPointWrong, N_("Play point is wrong!")},
        {mdpl::TempoWrong, N_("Tempo is wrong!")},
        {mdpl::InvalidData, N_("Musical data is invalid!")},
        {mdpl::AnotherRunActive, N_("Another song is already playing!")},
    },
    N_("Error occured in MidiPlayer!"),
};

namespace {

using Clock = std::chrono::steady_clock;

// "CallBackPlayer Error!" is shown once per process.
std::atomic<bool> missingEndCallbackShown{false};

}  // namespace

// The real-time side of the tick routine: the port, the per-event callback and the timers.
struct MidiPlayer::Run final : TickOutput, std::enable_shared_from_this<MidiPlayer::Run> {
    Run(PlayerClock& clock, PlayableSong song, PerEventCallback perEvent)
        : clock(clock), song(song), perEvent(std::move(perEvent)), cursor(clock, *song.track, song.division, *this) {}

    std::mutex mutex;  // held by a timer callback for its whole body, and by destroyRun
    bool destroyed = false;
    bool simple = false;  // simple mode: its ticks send as they go
    PlayerClock& clock;
    PlayableSong song;
    std::unique_ptr<MidiControler> port;
    PerEventCallback perEvent;
    EndCallback endCallback;
    Clock::time_point deadline;  // when the current tick was due
    PlayCursor cursor;

    int eventCount() const { return song.track->eventCount(); }

    void send(int, const MidiEvent& e) override { dispatchToPort(*port, e); }
    void announce(int index, int songTime, const MidiEvent& e) override {
        if (!perEvent) return;
        MidiEvent copy(e);  // the callee must not keep what it is given
        perEvent(index, songTime, &copy);
    }
    bool armNext(int64_t delayMs, bool endsRun) override;
    void problem(uint32_t code) override { reportCoded(kMidiPlayerErrors, code); }
};

namespace {

using RunPtr = std::shared_ptr<MidiPlayer::Run>;

// Arms the next one-shot timer of a run at an absolute deadline, so that timer lateness
// never adds up over a song.
uint32_t armAt(const RunPtr& run, Clock::time_point deadline, void (*tick)(const RunPtr&)) {
    std::weak_ptr<MidiPlayer::Run> weak = run;
    uint32_t id = timeSetEventAt(deadline, [weak, tick](uint32_t) {
        if (auto r = weak.lock()) tick(r);
    });
    run->clock.timerId = id;
    return id;
}

// Calls a run's end callback, or says once per process that it has none.
void reportRunEnd(const EndCallback& end) {
    if (end) end();
    else if (!missingEndCallbackShown.exchange(true)) reportText(N_("CallBackPlayer Error!"), BoxKind::Ok);
}

// A destroyed run does nothing; a callback run asked to stop silences its notes and ends.
// Returns true when the tick must end here. Called with the run's lock held.
bool endsOnStopRequest(MidiPlayer::Run& run) {
    if (run.destroyed) return true;
    if (!run.clock.stopRequested) return false;
    run.port->allNotesOff();
    run.clock.setPlayerBusy(0);
    return true;
}

// The last timer of a callback run: fires when the song time reaches the end time.
void endTick(const RunPtr& run) {
    std::unique_lock lock(run->mutex);
    if (endsOnStopRequest(*run)) return;
    run->clock.songTime = run->clock.endTime.load();
    EndCallback end = run->endCallback;
    run->clock.setPlayerBusy(0);
    lock.unlock();
    reportRunEnd(end);
}

// A timer callback of callback mode.
void callbackTick(const RunPtr& run) {
    std::unique_lock lock(run->mutex);
    if (endsOnStopRequest(*run)) return;
    switch (run->cursor.tick()) {
        case TickEnd::Continue:
        case TickEnd::EndTimer: return;
        case TickEnd::RanOut:
        case TickEnd::Failed: run->clock.setPlayerBusy(0); return;
        case TickEnd::EndNow: {
            EndCallback end = run->endCallback;
            run->clock.setPlayerBusy(0);
            lock.unlock();
            reportRunEnd(end);
            return;
        }
    }
}

// A timer callback of simple mode. No all-notes-off is sent on a stop in this mode.
void simpleTick(const RunPtr& run) {
    std::unique_lock lock(run->mutex);
    if (run->destroyed) return;
    if (run->clock.stopRequested) {
        run->clock.setPlayerBusy(0);
        return;
    }
    const TickEnd end = run->cursor.simpleTick();
    if (end == TickEnd::Continue) return;
    EndCallback callback = end == TickEnd::RanOut ? run->endCallback : EndCallback{};
    run->clock.setPlayerBusy(0);
    lock.unlock();
    if (callback) callback();
}

// The first timer of a run, one timer period after the start. Returns false (after
// "Can not use timer!", with the player idle) when it cannot be set.
bool armFirstTick(const RunPtr& run, void (*tick)(const RunPtr&)) {
    run->deadline = Clock::now() + std::chrono::milliseconds(run->clock.period.load());
    if (armAt(run, run->deadline, tick) != 0) return true;
    reportCoded(kMidiPlayerErrors, mdpl::CantUseTimer);
    run->clock.setPlayerBusy(0);
    return false;
}

// ---- Preparing a run -------------------------------------------------------------------------

// Every run starts from a known device state: the song's own first GM System On is removed
// (for good) and one is sent in its place. A listener hears of it as index 0 at time 0.
void startWithGmSystemOn(MidiPlayer::Run& run) {
    run.song.track->removeFirstSysExOfType(sysex::GmSystemOn);
    run.port->sendGmSystemOn();
    if (!run.perEvent) return;
    MidiEvent e;
    e.status = ev::SysEx;
    e.type = sysex::GmSystemOn;
    e.channel = 255;
    e.setData(kGmSystemOnStored, sizeof kGmSystemOnStored);
    run.perEvent(0, 0, &e);
}

// The chase to `startTick`: walks the events before it, gathering the program, pitch bend,
// controller, tempo and time signature state they leave, and sends that state at once.
// Leaves nextIndex on the first event at or after `startTick`; returns the time of the
// event before it (0 when there is none).
int chaseTo(MidiPlayer::Run& run, int startTick) {
    MidiStatus status;
    const int count = run.eventCount();
    int64_t time = 0;
    int64_t previousTime = 0;
    int index = 0;
    for (; index < count; ++index) {
        const MidiEvent& e = *run.song.track->event(index);
        time += e.delta;
        if (time >= startTick) break;
        status.record(e);
        previousTime = time;
    }
    run.clock.nextIndex = index;
    std::vector<MidiEvent> restore;
    status.toEvents(restore);
    for (const auto& e : restore) run.cursor.sendChased(e);
    return static_cast<int>(previousTime);
}

// The run's timer period (timerPeriodMs) goes to the clock, and the system timer resolution
// is raised to it; it is never lowered again. Returns the resolution for the first timer:
// the timer's minimum period.
uint32_t chooseTimerPeriod(PlayerClock& clock, int division) {
    TimerCaps caps;
    timeGetDevCaps(caps);
    clock.period = timerPeriodMs(division, caps.periodMin);
    timeBeginPeriod(clock.period);
    return caps.periodMin;
}

}  // namespace

bool MidiPlayer::Run::armNext(int64_t delayMs, bool endsRun) {
    deadline += std::chrono::milliseconds(delayMs);
    return armAt(shared_from_this(), deadline, endsRun ? endTick : (simple ? simpleTick : callbackTick)) != 0;
}

MidiPlayer::MidiPlayer(PlayerClock& clock) : clock_(clock) {}

MidiPlayer::~MidiPlayer() {
    if (run_) {
        killTimer();
        destroyRun();
    }
}

bool MidiPlayer::isPrepared() const { return run_ != nullptr; }

int MidiPlayer::prepareRun(PlayableSong song, int deviceId, int startTick, int* outStartTime,
                           const PerEventCallback& perEvent) {
    if (!song.track || song.track->state() != MidiTrackData::MidiEvents || song.division <= 0) {
        reportCoded(kMidiPlayerErrors, mdpl::InternalError);
        return 0;
    }
    if (run_ || !RunSlot::instance().claim(clock_)) {
        reportCoded(kMidiPlayerErrors, mdpl::AnotherRunActive);
        return 0;
    }
    auto run = std::make_shared<Run>(clock_, song, perEvent);
    run->port = std::make_unique<MidiControler>(deviceId);
    if (!run->port->isOpen()) {
        run->port.reset();
        clock_.setPlayerBusy(0);
        RunSlot::instance().release(clock_);
        return 0;
    }
    run_ = run;

    startWithGmSystemOn(*run);
    clock_.setPlayerBusy(1);
    clock_.resetForRun();
    int startTime = startTick > 0 ? chaseTo(*run, startTick) : 0;
    // The pre-roll's own deltas count towards the song time: without them the song time
    // would lag the song, and a whole-song run would run out of events before reaching
    // its end time and never report its end.
    startTime += static_cast<int>(run->cursor.preRoll());
    if (outStartTime) *outStartTime = startTime;
    return static_cast<int>(chooseTimerPeriod(clock_, song.division));
}

int MidiPlayer::startSimple(PlayableSong song, int deviceId, EndCallback endCallback) {
    if (prepareRun(song, deviceId, 0, nullptr, {}) == 0) return 0;
    run_->simple = true;
    run_->endCallback = std::move(endCallback);
    armFirstTick(run_, simpleTick);
    return 1;
}

int MidiPlayer::startWithCallbacks(PlayableSong song, int deviceId, EndCallback endCallback,
                                   PerEventCallback perEvent, int startTime, int startTick, int endTime) {
    int chaseStart = 0;
    if (prepareRun(song, deviceId, startTick, &chaseStart, perEvent) == 0) return 0;
    {
        std::lock_guard lock(run_->mutex);
        run_->endCallback = std::move(endCallback);
        clock_.endTime = endTime;
        clock_.songTime = startTime + chaseStart;
    }
    if (clock_.nextIndex < run_->eventCount()) armFirstTick(run_, callbackTick);
    else clock_.setPlayerBusy(0);
    return 1;
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
    RunSlot::instance().release(clock_);
}

void MidiPlayer::allNotesOff() {
    if (!run_) return;
    std::lock_guard lock(run_->mutex);
    if (run_->port) run_->port->allNotesOff();
}

}  // namespace tunecase

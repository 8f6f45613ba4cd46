#include "playback/player_schedule.h"

#include <memory>

#include "platform/timer_service.h"
#include "playback/midi_controler.h"
#include "playback/player_tick.h"

namespace tunecase {

namespace {

// A port's device that keeps every message it is sent, stamped with the schedule's time.
class RecordingDevice final : public MidiOutDevice {
public:
    RecordingDevice(std::vector<TimedMidiMessage>& messages, const int64_t& nowMs)
        : messages_(messages), nowMs_(nowMs) {}

    int sendShort(uint32_t packed) override {
        uint8_t bytes[3];
        const size_t n = unpackShortMessage(packed, bytes);
        if (n) messages_.push_back({nowMs_ * 1000, std::vector<uint8_t>(bytes, bytes + n)});
        return midiresult::NoError;
    }
    int sendLong(const uint8_t* bytes, size_t length) override {
        messages_.push_back({nowMs_ * 1000, std::vector<uint8_t>(bytes, bytes + length)});
        return midiresult::NoError;
    }
    // The reset a closing port sends is not part of the song.
    int reset() override { return midiresult::NoError; }
    int close() override { return midiresult::NoError; }

private:
    std::vector<TimedMidiMessage>& messages_;
    const int64_t& nowMs_;
};

// The offline side of the tick routine: every tick happens at `now`, and arming the next
// one only notes its delay. Problems the player would show are left out.
class ScheduleOutput final : public TickOutput {
public:
    ScheduleOutput() : port(std::make_unique<RecordingDevice>(messages, now)) {}

    void send(int index, const MidiEvent& e) override {
        if (index >= 0) events.push_back({index, now});
        dispatchToPort(port, e);
    }
    bool armNext(int64_t delayMs, bool) override {
        nextDelay = delayMs;
        return true;
    }

    int64_t now = 0;
    int64_t nextDelay = 0;
    std::vector<ScheduledEvent> events;
    std::vector<TimedMidiMessage> messages;
    MidiControler port;
};

// A whole-song run of `track` from its start, as MidiPlayer::startWithCallbacks runs it.
void runSchedule(const MidiTrackData& track, int division, int speedPercent, int64_t endTime, ScheduleOutput& out) {
    if (division <= 0 || track.eventCount() == 0) return;
    PlayerClock clock;
    clock.resetForRun();
    clock.setSpeed(speedPercent);
    clock.endTime = clampTicks(endTime < 0 ? track.totalTicks() : endTime);
    PlayCursor cursor(clock, track, division, out);
    clock.songTime = clampTicks(cursor.preRoll());
    if (clock.nextIndex >= track.eventCount()) return;
    TimerCaps caps;
    timeGetDevCaps(caps);
    out.now = timerPeriodMs(division, caps.periodMin);
    while (cursor.tick() == TickEnd::Continue) out.now += out.nextDelay;
}

}  // namespace

std::vector<ScheduledEvent> schedulePlayback(const MidiTrackData& track, int division,
                                             int speedPercent, int64_t endTime) {
    ScheduleOutput out;
    runSchedule(track, division, speedPercent, endTime, out);
    return std::move(out.events);
}

std::vector<TimedMidiMessage> scheduledMessages(const MidiTrackData& track, int division, int speedPercent) {
    ScheduleOutput out;
    out.port.sendGmSystemOn();
    runSchedule(track, division, speedPercent, -1, out);
    return std::move(out.messages);
}

}  // namespace tunecase

#include "playback/player_tick.h"

#include <vector>

namespace tunecase {

void dispatchToPort(MidiControler& port, const MidiEvent& e) {
    switch (e.status) {
        case ev::NoteOff: port.noteOff(e.data1, e.channel); break;
        case ev::NoteOn: port.noteOn(e.data1, e.velocity, e.channel); break;
        case ev::ControlChange: port.sendShort(e.value, static_cast<int>(e.type), 0xB0 | (e.channel & 0x0F)); break;
        case ev::ProgramChange: port.programChange(e.value, e.channel); break;
        case ev::PitchBend: port.sendShort(e.value, e.data1, 0xE0 | (e.channel & 0x0F)); break;
        case ev::SysEx:
        case ev::EscapedSysEx:
            if (e.getData() && e.length > 0) port.sendSystemExclusive(static_cast<size_t>(e.length), e.getData());
            break;
        default: break;
    }
}

PlayCursor::PlayCursor(PlayerClock& clock, const MidiTrackData& track, int division, TickOutput& output)
    : clock_(clock), track_(track), division_(division), output_(output) {}

void PlayCursor::takeTempo(const MidiEvent& e) {
    if (e.status != ev::Meta || e.type != meta::Tempo) return;
    const TempoSetting tempo = tempoSettingOf(e.value);
    if (tempo.problem) output_.problem(tempo.problem);
    clock_.tempoBpm = tempo.bpm;
}

void PlayCursor::sendChased(const MidiEvent& e) {
    output_.send(-1, e);
    takeTempo(e);
}

int PlayCursor::advance(bool send, bool step) {
    int index = clock_.nextIndex;
    if (send) {
        const MidiEvent& e = *track_.event(index);
        output_.send(index, e);
        takeTempo(e);
    }
    if (step) clock_.nextIndex = ++index;
    if (index >= track_.eventCount()) return -1;
    const int d = track_.event(index)->delta;
    if (d < 0) output_.problem(mdpl::InvalidData);
    return d;
}

int64_t PlayCursor::currentTicksPerMinute() {
    const int64_t tpm = ticksPerMinute(division_, clock_.tempoBpm, clock_.speedPercent);
    if (tpm == 0) output_.problem(mdpl::TempoWrong);
    return tpm;
}

int64_t PlayCursor::preRoll() {
    const int count = track_.eventCount();
    int64_t ticks = 0;
    while (clock_.nextIndex < count && track_.event(clock_.nextIndex)->status != ev::NoteOn) {
        ticks += track_.event(clock_.nextIndex)->delta;
        advance(true, true);
        const int index = clock_.nextIndex;
        if (index < count) output_.announce(index, 0, *track_.event(index));
    }
    return ticks;
}

TickEnd PlayCursor::tick() {
    TickEnd end = TickEnd::Continue;
    std::vector<int> due;
    int64_t delay = 0;
    int wraps = 0;
    for (;;) {
        const int index = clock_.nextIndex;
        clock_.songTime = clock_.songTime + track_.event(index)->delta;
        due.push_back(index);
        // An event due now takes effect before the delay after it is worked out: a tempo
        // change governs the very gap that follows it.
        takeTempo(*track_.event(index));
        const int next = advance(false, true);
        clock_.lastDelta = next;
        if (next < 0) {
            // A second wrap in one tick means the whole song lasts under a millisecond: a
            // looping run would never leave this tick, so it ends instead.
            if (clock_.loopAtEnd && ++wraps < 2) {
                clock_.nextIndex = 0;
                continue;
            }
            end = TickEnd::RanOut;
            break;
        }
        const int64_t tpm = currentTicksPerMinute();
        if (tpm == 0) return TickEnd::Failed;
        const int64_t endTime = clock_.endTime;
        const int64_t songTime = clock_.songTime;
        if (endTime != -1 && songTime + next >= endTime) {
            // The events of this tick still sound; the run ends when the song time reaches
            // the end time.
            delay = delayMs(endTime - songTime, tpm);
            end = delay > 0 ? TickEnd::EndTimer : TickEnd::EndNow;
            break;
        }
        delay = delayMs(next, tpm);
        if (delay > 0) break;
    }
    // The next timer is set before anything is sent, so that a slow listener never delays it.
    if ((end == TickEnd::Continue || end == TickEnd::EndTimer) && !output_.armNext(delay, end == TickEnd::EndTimer)) {
        output_.problem(mdpl::CantUseTimer);
        end = TickEnd::RanOut;
    }
    const int songTime = clock_.songTime;
    for (int index : due) {
        const MidiEvent& e = *track_.event(index);
        output_.announce(index, songTime, e);
        output_.send(index, e);
    }
    return end;
}

TickEnd PlayCursor::simpleTick() {
    int wraps = 0;
    for (;;) {
        if (clock_.nextIndex >= track_.eventCount()) {
            output_.problem(mdpl::PlayPointWrong);
            return TickEnd::Failed;
        }
        const int next = advance(true, true);
        clock_.lastDelta = next;
        if (next < 0) {
            if (clock_.loopAtEnd && ++wraps < 2) {
                clock_.nextIndex = 0;
                continue;
            }
            return TickEnd::RanOut;
        }
        const int64_t tpm = currentTicksPerMinute();
        if (tpm == 0) return TickEnd::Failed;
        const int64_t delay = delayMs(next, tpm);
        if (delay > 0) {
            if (!output_.armNext(delay, false)) {
                output_.problem(mdpl::CantUseTimer);
                return TickEnd::Failed;
            }
            return TickEnd::Continue;
        }
    }
}

}  // namespace tunecase

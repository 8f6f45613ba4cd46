#include "playback/player_schedule.h"

#include "playback/midi_player.h"

namespace tunecase {

namespace {

// The tempo a tempo event sets, as the player takes it.
uint32_t bpmOfTempo(int microseconds) {
    if (microseconds < 1000) return 60;
    uint32_t bpm = static_cast<uint32_t>(60000 / (microseconds / 1000));
    return bpm < 10 ? 10 : bpm;
}

}  // namespace

std::vector<ScheduledEvent> schedulePlayback(const MidiTrackData& track, int division,
                                             int speedPercent, int64_t endTime) {
    std::vector<ScheduledEvent> out;
    const int count = track.eventCount();
    if (division <= 0 || count == 0) return out;
    if (endTime < 0) endTime = track.totalTicks();
    uint32_t bpm = 240;
    auto apply = [&bpm](const MidiEvent& e) {
        if (e.status == ev::Meta && e.type == meta::Tempo) bpm = bpmOfTempo(e.value);
    };

    int next = 0;
    int64_t songTime = 0;
    // Pre-roll: everything before the first note on goes out at once.
    while (next < count && track.event(next)->status != ev::NoteOn) {
        songTime += track.event(next)->delta;
        out.push_back({next, 0});
        apply(*track.event(next));
        ++next;
    }
    if (next >= count) return out;

    const int64_t ticksAt240 = static_cast<int64_t>(division) * 240;
    int64_t now = std::max<int64_t>(1, ticksAt240 > 0 ? 60000 / ticksAt240 : 1);
    for (;;) {
        std::vector<int> examined;
        int64_t delay = 0;
        bool last = false;
        for (;;) {
            songTime += track.event(next)->delta;
            examined.push_back(next);
            ++next;
            if (next >= count) {
                last = true;  // the song ran out: this tick's events are the last
                break;
            }
            const int64_t nextDelta = track.event(next)->delta;
            const int64_t tpm = ticksPerMinute(division, bpm, speedPercent);
            if (tpm == 0) return out;  // the player ends without sending
            if (songTime + nextDelta >= endTime) {
                last = true;  // the end time comes before the next event
                break;
            }
            delay = delayMs(nextDelta, tpm);
            if (delay > 0) break;
        }
        for (int index : examined) {
            out.push_back({index, now});
            apply(*track.event(index));
        }
        if (last) return out;
        now += delay;
    }
}

std::vector<uint8_t> gmSystemOnBytes() { return {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7}; }

std::vector<uint8_t> midiBytesOf(const MidiEvent& e) {
    auto b = [](int v) { return static_cast<uint8_t>(v & 0xFF); };
    const uint8_t ch = static_cast<uint8_t>(e.channel & 0x0F);
    switch (e.status) {
        case ev::NoteOff: return {b(0x80 | ch), b(e.data1), 0};
        case ev::NoteOn: return {b(0x90 | ch), b(e.data1), b((e.velocity & 0x80) ? 127 : (e.velocity & 0x7F))};
        case ev::ControlChange: return {b(0xB0 | ch), b(static_cast<int>(e.type)), b(e.value)};
        case ev::ProgramChange: return {b(0xC0 | ch), b(e.value)};
        case ev::PitchBend: return {b(0xE0 | ch), b(e.data1), b(e.value)};
        case ev::SysEx:
        case ev::EscapedSysEx: {
            const uint8_t* data = e.getData();
            if (!data || e.length <= 0) return {};
            if (data[0] == 0xF0) {
                std::vector<uint8_t> out{0xF0};
                for (int i = 2; i < e.length; ++i) out.push_back(data[i]);
                return out;
            }
            return std::vector<uint8_t>(data, data + e.length);
        }
        default: return {};
    }
}

std::vector<TimedMidiMessage> scheduledMessages(const MidiTrackData& track, int division, int speedPercent) {
    std::vector<TimedMidiMessage> out;
    out.push_back({0, gmSystemOnBytes()});
    for (const auto& s : schedulePlayback(track, division, speedPercent)) {
        auto bytes = midiBytesOf(*track.event(s.index));
        if (!bytes.empty()) out.push_back({s.timeMs * 1000, std::move(bytes)});
    }
    return out;
}

}  // namespace tunecase

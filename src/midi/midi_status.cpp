#include "midi/midi_status.h"

#include <algorithm>

#include "midi/meta_values.h"
#include "midi/midi_messages.h"

namespace tunecase {

void MidiStatus::reset() {
    std::fill(&program[0], &program[0] + 16, -1);
    std::fill(&pitchBend[0][0], &pitchBend[0][0] + 32, -1);
    std::fill(&controllers[0][0], &controllers[0][0] + 16 * 128, -1);
    tempo = -1;
    timeSignature = -1;
}

void MidiStatus::record(const MidiEvent& e) {
    const bool channelOk = e.channel >= 0 && e.channel < 16;
    switch (e.status) {
        case ev::ProgramChange:
            if (channelOk) program[e.channel] = e.value;
            break;
        case ev::PitchBend:
            if (channelOk) {
                pitchBend[e.channel][0] = e.value;
                pitchBend[e.channel][1] = e.data1;
            }
            break;
        case ev::ControlChange:
            if (channelOk && e.type < 128) controllers[e.channel][e.type] = e.value;
            break;
        case ev::Meta:
            if (e.type == meta::Tempo) tempo = e.value;
            if (e.type == meta::TimeSignature) timeSignature = e.value;
            break;
        default:
            break;
    }
}

int MidiStatus::toEvents(std::vector<MidiEvent>& out) const {
    const size_t before = out.size();
    for (int ch = 0; ch < 16; ++ch) {
        if (program[ch] != -1) {
            MidiEvent e;
            e.status = ev::ProgramChange;
            e.channel = ch;
            e.value = program[ch];
            out.push_back(std::move(e));
        }
        if (pitchBend[ch][0] != -1 || pitchBend[ch][1] != -1) {
            MidiEvent e;
            e.status = ev::PitchBend;
            e.channel = ch;
            e.value = std::max(pitchBend[ch][0], 0);
            e.data1 = std::max(pitchBend[ch][1], 0);
            out.push_back(std::move(e));
        }
        for (int c = 0; c < 128; ++c) {
            if (controllers[ch][c] == -1) continue;
            MidiEvent e;
            e.makeControlChange(ch, c, controllers[ch][c]);
            out.push_back(std::move(e));
        }
    }
    if (tempo != -1) {
        MidiEvent e;
        e.makeTempo(tempo);
        out.push_back(std::move(e));
    }
    if (timeSignature == 0) {
        reportCoded(kMidiStatusMessages, mdss::TimeSignInvalid);
    } else if (timeSignature != -1) {
        MidiEvent e;
        e.status = ev::Meta;
        e.type = meta::TimeSignature;
        e.value = timeSignature;
        const auto bytes = timeSignatureBytes(timeSignature);
        e.setData(bytes.data(), 4);
        out.push_back(std::move(e));
    }
    return static_cast<int>(out.size() - before);
}

}  // namespace tunecase

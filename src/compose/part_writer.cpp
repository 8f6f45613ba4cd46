#include "compose/part_writer.h"

#include <algorithm>
#include <memory>

namespace tunecase {

namespace {

int64_t sumOfDeltas(const MidiTrackData& track) {
    int64_t t = 0;
    for (const auto& e : track.events()) t += e->delta;
    return t;
}

}  // namespace

PartWriter::PartWriter(MidiTrackData& track, int channel)
    : track_(track), channel_(channel), last_(sumOfDeltas(track)) {}

int32_t PartWriter::DeltaTo(int64_t at) {
    const int64_t delta = std::max<int64_t>(at - last_, 0);
    last_ += delta;
    return clampTicks(delta);
}

void PartWriter::Note(int64_t at, int pitch, int velocity, int gate) {
    if (pitch < 1 || pitch > 127 || velocity <= 0) return;
    track_.addNote(channel_, DeltaTo(at), pitch, std::min(velocity, 127), std::max(gate, 1));
}

void PartWriter::Control(int64_t at, int controller, int value) {
    auto e = std::make_unique<MidiEvent>();
    e->makeControlChange(channel_, controller, std::clamp(value, 0, 127));
    e->delta = DeltaTo(at);
    track_.appendEvent(std::move(e));
}

void PartWriter::Bend(int64_t at, int value) {
    auto e = std::make_unique<MidiEvent>();
    e->status = ev::PitchBend;
    e->channel = channel_;
    e->setPitchBendValue(value);
    e->delta = DeltaTo(at);
    track_.appendEvent(std::move(e));
}

void PartWriter::Program(int64_t at, int program) {
    auto e = std::make_unique<MidiEvent>();
    e->status = ev::ProgramChange;
    e->channel = channel_;
    e->value = std::clamp(program, 0, 127);
    e->delta = DeltaTo(at);
    track_.appendEvent(std::move(e));
}

}  // namespace tunecase

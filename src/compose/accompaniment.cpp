#include "compose/accompaniment.h"

#include <algorithm>
#include <cstdlib>

#include "compose/accompaniment_patterns.h"
#include "compose/compose_context.h"
#include "compose/compose_errors.h"
#include "compose/melody.h"
#include "compose/melody_settings.h"
#include "compose/part_writer.h"
#include "compose/score_rendering.h"
#include "styles/composition_parameters.h"

namespace tunecase {

namespace {

bool isEnvironmentProgram(int program) { return program == 122 || program == 123 || program == 126; }

// The guide tones of a chord (its third and seventh, else its root and fifth) as pitch classes.
std::vector<int> guideTones(const ChordCode& code) {
    std::vector<int> tones;
    const int root = RootPitchClass(code);
    if (root < 0) return tones;
    const int third = ThirdInterval(code.third()), seventh = SeventhInterval(code.seventh());
    if (third >= 0) tones.push_back((root + third) % 12);
    if (seventh >= 0) tones.push_back((root + seventh) % 12);
    if (tones.empty()) {
        tones.push_back(root);
        if (const int fifth = FifthInterval(code.fifth()); fifth >= 0) tones.push_back((root + fifth) % 12);
    }
    return tones;
}

// The pitch of the part's range nearest to `previous` whose class is one of `classes`
// (the lower one on a tie); 0 when none lies in the range.
int nearestTone(const std::vector<int>& classes, int previous, const MelodyPartSettings& s) {
    int best = 0;
    for (int pitch = s.lowest; pitch <= s.highest; ++pitch) {
        if (pitch < 12 || pitch > 127) continue;
        if (std::find(classes.begin(), classes.end(), pitch % 12) == classes.end()) continue;
        if (best == 0 || std::abs(pitch - previous) < std::abs(best - previous)) best = pitch;
    }
    return best;
}

// The alternative line of part 5: one guide tone a chord, each as near the one before as the
// chord allows, held through the chord (re-struck every 384 ticks).
void guideToneBlocks(ComposeContext& ctx, int part, BlockLists& lists) {
    const ComposeInformation& ci = ctx.information;
    const MelodyPartSettings s = MelodySettings(ctx, part);
    int previous = s.middle();
    for (int b = 0; b < ci.blockCount; ++b) {
        EventList& line = lists[static_cast<size_t>(b)];
        for (const ComposeEntry& e : ci.blockChords[static_cast<size_t>(b)]) {
            if (!e.isChord()) continue;
            line.Add(e);
            const int pitch = nearestTone(guideTones(e.chord), previous, s);
            for (int left = std::max(e.length, 0); left > 0; left -= kLongestMelodyNote)
                line.AddNote(std::min(left, kLongestMelodyNote), pitch);
            if (pitch) previous = pitch;
        }
    }
}

// The set-up, pan and writer of a pattern part.
PartWriter startPatternPart(ComposeContext& ctx, MidiTrackData& track, int channel, int program) {
    const CompositionParameters& p = ctx.parameters;
    SetUpChannel(ctx, track, channel, program, p.partMixer[channel], 0);
    PartWriter w(track, channel);
    w.Control(w.LastTime(), 10, p.partMixer[channel][mixer::Pan]);
    return w;
}

}  // namespace

EventList BuildCounterMelody(ComposeContext& ctx, int part) {
    const CompositionParameters& p = ctx.parameters;
    const ComposeInformation& ci = ctx.information;
    EventList line;
    if (part == kDerivedChannel && p.derivedPartMode == 8) {
        line.AddRest(kDelayedMelodyRest);
        for (const ComposeEntry& e : ci.songMelody) line.Add(e);
        return line;
    }
    BlockLists lists;
    if (part == kCounterChannel && p.part5Mode != 0) guideToneBlocks(ctx, part, lists);
    else if (!PlaceBlockMelodies(ctx, part, lists, zemc::InfiniteLoopRisk)) return line;
    const int last = FlattenBlocks(ctx, lists, line);
    AppendEnding(ctx, part, line, last);
    return line;
}

void BuildBacking(ComposeContext& ctx, int channel, MidiTrackData& track, int program, int kind, int pace,
                  const std::vector<ChordRecord>& chords) {
    PartWriter w = startPatternPart(ctx, track, channel, program);
    PlayBacking(ctx, w, chords, w.LastTime() + LeadInTicks(ctx), kind, pace);
    ShiftOctaves(track, channel, PartOctaves(ctx, channel));
    CloseTrack(track);
}

void BuildBass(ComposeContext& ctx, MidiTrackData& track, const std::vector<ChordRecord>& chords) {
    const CompositionParameters& p = ctx.parameters;
    PartWriter w = startPatternPart(ctx, track, kBassChannel, p.partProgram[kBassChannel]);
    PlayBass(ctx, w, chords, w.LastTime() + LeadInTicks(ctx), p.bassPattern, p.partPace[kBassChannel]);
    ShiftOctaves(track, kBassChannel, PartOctaves(ctx, kBassChannel));
    CloseTrack(track);
}

void BuildDrums(ComposeContext& ctx, MidiTrackData& track) {
    const CompositionParameters& p = ctx.parameters;
    SetUpChannel(ctx, track, kDrumChannel, 0, p.partMixer[kDrumChannel], 0);
    PartWriter w(track, kDrumChannel);
    PlayDrums(ctx, w, ctx.information.structureMarks, w.LastTime() + LeadInTicks(ctx), p.drumPattern,
              p.partPace[kDrumChannel]);
    CloseTrack(track);
}

void BuildEnvironment(ComposeContext& ctx, MidiTrackData& track, const std::vector<ChordRecord>& chords) {
    const CompositionParameters& p = ctx.parameters;
    const int program = p.partProgram[kEnvironmentChannel];
    SetUpChannel(ctx, track, kEnvironmentChannel, program, p.partMixer[kEnvironmentChannel], LeadInTicks(ctx));
    if (isEnvironmentProgram(program)) {
        PartWriter w(track, kEnvironmentChannel);
        PlayEnvironment(ctx, w, chords, w.LastTime(), program);
    } else {
        ReportComposeError(zemc::EnvironmentInstrument);
    }
    CloseTrack(track);
}

}  // namespace tunecase

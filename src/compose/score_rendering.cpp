#include "compose/score_rendering.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "base/reporter.h"
#include "compose/accompaniment.h"
#include "compose/chords.h"
#include "compose/compose_context.h"
#include "compose/compose_errors.h"
#include "compose/engine_constants.h"
#include "compose/part_effects.h"
#include "compose/part_writer.h"
#include "compose/song_key.h"
#include "midi/midi_f1_data.h"
#include "styles/composition_parameters.h"
#include "base/translation.h"

namespace tunecase {

namespace {

// The octave copy of the melody has no loudness of its own: the usual one is used.
constexpr const char* kUnisonText = N_("The melody's octave copy had no loudness set, so the usual one was used.");
constexpr int kKitProgram = 0;  // the standard kit: General MIDI has no other
// Below this an accompaniment note lowered under an arranged tune is only rumble.
constexpr int kLowestArrangedBass = 28;

struct Group {
    int value;
    const char* name;
    std::vector<int> programs;
};

const std::vector<Group>& groups() {
    static const std::vector<Group> table = {
        {136, "Piano Group", {0, 1, 2, 3, 4, 5, 6, 7}},
        {137, "Guitar Group", {24, 25, 26, 27, 46}},
        {138, "Piano Guitar Group", {0, 1, 2, 11, 4, 5, 6, 7, 24, 25, 26, 27, 30, 29}},
        {139, "Wind Group", {65, 22, 53, 21, 61, 62, 63, 71, 79, 56}},
        {140, "Melody Line Group", {65, 22, 53, 21, 61, 62, 63, 71, 79, 56, 53, 68, 80, 81, 100, 75, 90, 82}},
        {141, "Hard Sound Group", {8, 10, 11, 12, 15, 46, 98, 107, 108, 114}},
        {142, "Soft Sound Group", {49, 52, 54, 89, 91, 94, 97, 102}},
        {143, "Electric Group", {80, 21, 85, 87, 90, 100}},
        {144, "Acoustic Group", {0, 24, 48, 56, 65, 75, 71, 22, 53}},
    };
    return table;
}

const Group* groupOf(int value) {
    for (const Group& g : groups())
        if (g.value == value) return &g;
    return nullptr;
}

bool isRenderedChannel(int channel) {
    return channel == kMelodyChannel || channel == kDerivedChannel || channel == kCounterChannel ||
           channel == kSecondLineChannel || channel == kArrangementChannel;
}

int effectOf(const ComposeContext& ctx, int channel) {
    return channel >= 0 && channel < kPartCount ? ctx.parameters.partRules[channel][rule::Effect] : 0;
}

// The first sounding note of a list, from the lead-in's end; -1 when it has none.
int64_t firstSounding(const EventList& list) {
    int64_t t = 0;
    for (const ComposeEntry& e : list) {
        if (e.isChord()) continue;
        if (e.isNote() && e.value > 11) return t;
        t += e.length;
    }
    return -1;
}

void computeFirstNoteTime(ComposeContext& ctx) {
    int64_t first = -1;
    for (const EventList* list : {&ctx.information.songMelody, &ctx.arrangementPart}) {
        const int64_t t = firstSounding(*list);
        if (t >= 0 && (first < 0 || t < first)) first = t;
    }
    const auto& chords = ctx.information.songChords;
    const int64_t firstChord = chords.empty() ? 0 : chords.front().duration;
    ctx.firstNoteTime = (first < 0 || first >= firstChord) ? 0 : static_cast<int>(first);
}

// Renders a list; with `copyVelocity` > 0 every note up to 115 gets a copy an octave up.
void renderList(ComposeContext& ctx, const EventList& list, MidiTrackData& track, int channel, int longestNote,
                int copyVelocity) {
    if (!isRenderedChannel(channel)) ReportComposeError(zemc::TrackInformation);
    PartWriter w(track, channel);
    const int64_t start = w.LastTime() + LeadInTicks(ctx);
    NoteEffect effect(w, effectOf(ctx, channel), start, MeasureLength(ctx));
    int64_t t = start;
    for (size_t i = 0; i < list.size(); ++i) {
        const ComposeEntry& e = list[i];
        if (e.isChord()) continue;
        if (e.isProgram()) {
            w.Program(t, e.value);
            t += std::max(e.length, 0);
            continue;
        }
        if (e.isNote() && e.length > longestNote) {
            ReportComposeError(zemc::MelodyNoteLength);
            break;
        }
        const int length = std::max(e.length, 0);
        if (e.isNote() && e.value > 11) {
            bool connected = false;
            for (size_t k = i + 1; k < list.size(); ++k) {
                if (list[k].isChord()) continue;
                connected = list[k].isSounding();
                break;
            }
            const int velocity = i + 1 == list.size() ? kLastNoteVelocity : kMelodyVelocity;
            effect.Note(t, e.value, velocity, length, std::max(length - kMelodyGateShortening, 1), connected,
                        copyVelocity);
        }
        t += length;
    }
    effect.Finish(t);
    CloseTrack(track);
    ApplyPartEffect(track, channel, effectOf(ctx, channel));
}

// Sets the value of every pan controller of the track.
void setPan(MidiTrackData& track, int pan) {
    for (int i = 0; i < track.eventCount(); ++i) {
        MidiEvent* e = track.event(i);
        if (e->status == ev::ControlChange && e->type == 10) e->value = pan & 127;
    }
}

// A copy of `part` on channel `to`, its notes `delay` ticks later, detuned by the fine tuning
// parameter and panned away from the part (which pans the other way).
std::unique_ptr<PartTrack> delayedCopy(MidiTrackData& part, int from, int to, int delay, int pan) {
    auto copy = std::make_unique<PartTrack>(part, 2 * kTrackBufferSize);
    copy->rechannel(from, to);
    const int first = copy->firstNoteIndex();
    if (first < copy->eventCount()) {
        copy->event(first)->delta += delay;
        static constexpr std::pair<int, int> kDetune[] = {{101, 0}, {100, 1}, {6, kCopyDetune}, {38, 0}};
        int at = first;
        for (auto [controller, value] : kDetune) {
            auto e = std::make_unique<MidiEvent>();
            e->makeControlChange(to, controller, value);
            at = copy->insertEvent(at, 2, std::move(e)) + 1;
        }
    }
    setPan(*copy, pan - kPanSpread);
    setPan(part, pan + kPanSpread);
    // Its end follows its own last note.
    copy->removeMeta(meta::EndOfTrack, true);
    CloseTrack(*copy);
    return copy;
}

// A note of some channel as the filters see it, at its time in the song.
struct NoteRef {
    int64_t start;
    int64_t end;
    MidiEvent* event;
    MidiTrackData* track;
};

std::vector<NoteRef> notesOfChannel(const std::vector<MidiTrackData*>& tracks, int channel) {
    std::vector<NoteRef> out;
    for (MidiTrackData* track : tracks) {
        int64_t t = 0;
        for (const auto& e : track->events()) {
            t += e->delta;
            if (e->status == ev::Note && e->channel == channel && e->velocity > 0)
                out.push_back({t, t + e->duration, e.get(), track});
        }
    }
    std::stable_sort(out.begin(), out.end(), [](const NoteRef& a, const NoteRef& b) {
        return a.start != b.start ? a.start < b.start : a.event->data1 < b.event->data1;
    });
    return out;
}

// Deletes the marked notes: each one's delta passes to the event after it.
void dropDeleted(const std::vector<MidiTrackData*>& tracks) {
    for (MidiTrackData* track : tracks) track->compact();
}

}  // namespace

std::unique_ptr<PartTrack> NewPartTrack() {
    return std::make_unique<PartTrack>(2 * kTrackBufferSize, MidiTrackData::NoteEvents);
}

int LeadInTicks(const ComposeContext& ctx) { return ctx.engine.composeRun ? MeasureLength(ctx) : 0; }

int FirstNoteTime(const ComposeContext& ctx) { return ctx.firstNoteTime; }

int PickProgram(ComposeContext& ctx, int value, [[maybe_unused]] int channel) {
    if (value >= 0 && value <= 127) return value;
    if (const Group* g = groupOf(value))
        return g->programs[static_cast<size_t>(ctx.random.range(1, int(g->programs.size())) - 1)];
    switch (value) {
    case 128: return 53;
    case 130:
    case 131: return 112;
    case 132: return 40;
    case 133: return 90;
    default: ReportComposeError(zemc::Instrument); return -1;
    }
}

const std::vector<int>& ProgramGroup(int value) {
    static const std::vector<int> none;
    const Group* g = groupOf(value);
    return g ? g->programs : none;
}

const char* ProgramGroupName(int value) {
    const Group* g = groupOf(value);
    return g ? g->name : "";
}

int PartOctaves(const ComposeContext& ctx, int channel) {
    const CompositionParameters& p = ctx.parameters;
    if (channel == kArrangementChannel) return p.part15Octave;
    if (channel < 0 || channel >= static_cast<int>(sizeof p.partOctave / sizeof p.partOctave[0])) return 0;
    const int value = p.partOctave[channel];
    if (channel == kBassChannel && value == 99) return -1;
    if (channel == kBassChannel && value == 101) return 1;
    return value;
}

void ShiftOctaves(MidiTrackData& track, int channel, int octaves) {
    if (octaves != 0) track.transposeNotes(channel, 12 * octaves);
}

void CloseTrack(MidiTrackData& track) {
    int64_t t = 0, lastNoteEnd = 0;
    for (const auto& e : track.events()) {
        t += e->delta;
        if (e->status == ev::Note) lastNoteEnd = std::max<int64_t>(lastNoteEnd, t + e->duration);
    }
    const int64_t lastEvent = t;
    int64_t end = (lastNoteEnd + kSongDivision - 1) / kSongDivision * kSongDivision;
    end = std::clamp(end, lastEvent, lastEvent + kLongestTrackTail);
    track.ensureEndOfTrack(clampTicks(end - lastEvent));
}

int SetUpChannel(ComposeContext& ctx, MidiTrackData& track, int channel, int program, const uint8_t settings[16],
                 int leadIn) {
    PartWriter w(track, channel);
    const int64_t at = w.LastTime() + std::max(leadIn, 0);
    int resolved = -1;
    if (channel == kDrumChannel) {
        if (kKitProgram != 0) w.Program(at, kKitProgram);
    } else {
        resolved = PickProgram(ctx, program, channel);
        if (resolved >= 0) {
            w.Control(at, 0, 0);
            w.Program(at, resolved);
        }
    }
    w.Control(at, 7, settings[mixer::Volume]);
    static constexpr std::pair<int, int> kControllers[] = {
        {91, mixer::Reverb},  {93, mixer::Chorus},  {74, mixer::Brightness}, {71, mixer::Resonance},
        {72, mixer::Release}, {73, mixer::Attack}, {75, mixer::Decay},
    };
    for (auto [controller, byte] : kControllers)
        if (ctx.engine.composeRun || settings[byte] != 64) w.Control(at, controller, settings[byte]);
    w.Control(at, 101, 0);
    w.Control(at, 100, 0);
    w.Control(at, 6, kBendRange);
    return resolved;
}

void BuildConductorTrack(ComposeContext& ctx, MidiTrackData& track) {
    const CompositionParameters& p = ctx.parameters;
    char seedText[32];
    const int n = std::snprintf(seedText, sizeof seedText, "random_seed %d", ctx.songSeed);
    if (ctx.engine.composeRun && !ctx.request.title.empty())
        track.addMeta(0, meta::TrackName, reinterpret_cast<const uint8_t*>(ctx.request.title.data()),
                      static_cast<int>(ctx.request.title.size()));
    track.addMeta(0, meta::Text, reinterpret_cast<const uint8_t*>(seedText), n + 1);
    track.addGmSystemOn();
    auto volume = std::make_unique<MidiEvent>();
    volume->makeMasterVolume(127);
    track.appendEvent(std::move(volume));
    if (p.timeSignature == 1) track.addTimeSignature(3, 2);
    else if (p.timeSignature == 2) track.addTimeSignature(7, 3);
    else track.addTimeSignature(4, 2);
    const ComposeContext::Request& asked = ctx.request;
    if (ctx.engine.composeRun && asked.keyAsked) {
        const uint8_t bytes[2] = {static_cast<uint8_t>(static_cast<int8_t>(asked.sharps)), uint8_t{asked.minor}};
        track.addMeta(0, meta::KeySignature, bytes, 2);
    } else {
        track.addKeySignature(0, ((p.key % 12) + 12) % 12, p.knowledgeSet == 1 ? 0 : 1);
    }
    track.addTempo(p.tempo);
    if (ctx.engine.composeRun && p.chordDisplay != 0) {
        track.addMarker(0, "N/C");
        int delta = LeadInTicks(ctx);
        for (const ChordRecord& c : ctx.information.songChords) {
            if (delta == 0) ReportComposeError(zemc::DisplayData);
            const std::string name = ChordName(c.code, std::string_view(c.bassText, 2));
            track.addMarker(delta, asked.transposition == 0
                                       ? name
                                       : TransposeChordName(name, asked.transposition, asked.sharps < 0));
            delta = c.duration;
        }
    }
    track.ensureEndOfTrack(0);
}

void RenderPart(ComposeContext& ctx, const EventList& list, MidiTrackData& track, int channel, int longestNote) {
    renderList(ctx, list, track, channel, longestNote, 0);
}

int RemoveClashes(const std::vector<MidiTrackData*>& tracks, int kept, int thinned) {
    const std::vector<NoteRef> keptNotes = notesOfChannel(tracks, kept);
    const std::vector<NoteRef> thinnedNotes = notesOfChannel(tracks, thinned);
    int removed = 0;
    for (const NoteRef& n : thinnedNotes) {
        const int key = n.event->data1;
        // The kept notes that started at or before this one and still sound.
        auto upTo = std::upper_bound(keptNotes.begin(), keptNotes.end(), n.start,
                                     [](int64_t t, const NoteRef& r) { return t < r.start; });
        for (auto it = keptNotes.begin(); it != upTo; ++it) {
            if (it->end <= n.start) continue;
            const int distance = std::abs(it->event->data1 - key);
            if (distance == 1 || distance == 2 || distance == 11 || distance == 13) {
                n.event->status = ev::Deleted;
                ++removed;
                break;
            }
        }
    }
    if (removed) dropDeleted(tracks);
    return removed;
}

int SoftenAgainst(const std::vector<MidiTrackData*>& tracks, int softened, int against, bool sameProgram) {
    constexpr int kForgetGap = 12;
    const std::vector<NoteRef> others = notesOfChannel(tracks, against);
    const std::vector<NoteRef> notes = notesOfChannel(tracks, softened);
    int changed = 0, removed = 0;
    size_t next = 0;
    size_t groupBegin = 0, groupEnd = 0;  // the last notes of `against` to start, all at one time
    for (const NoteRef& n : notes) {
        while (next < others.size() && others[next].start <= n.start) {
            if (next == groupEnd && groupEnd > groupBegin && others[next].start == others[groupBegin].start) {
                ++groupEnd;
            } else {
                groupBegin = next;
                groupEnd = next + 1;
            }
            ++next;
        }
        bool unison = false, below = true, heard = false;
        for (size_t k = groupBegin; k < groupEnd; ++k) {
            const NoteRef& o = others[k];
            if (n.start >= o.end + kForgetGap) continue;
            heard = true;
            const int distance = n.event->data1 - o.event->data1;
            if (std::abs(distance) <= 1) unison = true;
            if (distance >= 0) below = false;
        }
        if (!heard) continue;
        int& velocity = n.event->velocity;
        if (unison) {
            if (sameProgram) {
                n.event->status = ev::Deleted;
                ++removed;
            } else {
                velocity = velocity * 4 / 5;
            }
        } else if (below) {
            velocity = velocity * 5 / 6;
        } else {
            velocity = velocity * 4 / 5;
        }
        ++changed;
    }
    if (removed) dropDeleted(tracks);
    return changed;
}

int KeepUnderMelody(const std::vector<MidiTrackData*>& tracks, int channel, int melody, int floorChannel,
                    int lowest) {
    const std::vector<NoteRef> tune = notesOfChannel(tracks, melody);
    const std::vector<NoteRef> floor = floorChannel >= 0 ? notesOfChannel(tracks, floorChannel) : std::vector<NoteRef>{};
    const std::vector<NoteRef> notes = notesOfChannel(tracks, channel);
    // The highest (or lowest) key of `line` heard while [start, end) sounds, -1 for none.
    const auto heard = [](const std::vector<NoteRef>& line, int64_t start, int64_t end, bool highest) {
        int found = -1;
        auto upTo = std::lower_bound(line.begin(), line.end(), end,
                                     [](const NoteRef& r, int64_t t) { return r.start < t; });
        for (auto it = line.begin(); it != upTo; ++it) {
            if (it->end <= start) continue;
            const int key = it->event->data1;
            if (found < 0 || (highest ? key > found : key < found)) found = key;
        }
        return found;
    };
    std::vector<std::vector<std::pair<int64_t, int64_t>>> kept(128);
    int changed = 0, removed = 0;
    for (const NoteRef& n : notes) {
        int key = n.event->data1;
        const int ceiling = heard(tune, n.start, n.end, false);
        if (ceiling >= 0)
            while (key > ceiling) key -= 12;
        const int ground = std::max(heard(floor, n.start, n.end, true), lowest - 1);
        // Lowered into the bass (or below the part's floor), or onto a pitch the part already
        // holds: the chord does without it.
        bool drop = key <= ground;
        if (!drop)
            for (auto [start, end] : kept[static_cast<size_t>(key)])
                if (start < n.end && n.start < end) drop = true;
        if (drop) {
            n.event->status = ev::Deleted;
            ++removed;
            continue;
        }
        if (key != n.event->data1) ++changed;
        n.event->data1 = key;
        kept[static_cast<size_t>(key)].emplace_back(n.start, n.end);
    }
    if (removed) dropDeleted(tracks);
    return changed + removed;
}

int RenderSong(ComposeContext& ctx, std::string_view outputName, int longestNote) {
    const CompositionParameters& p = ctx.parameters;
    const ComposeInformation& ci = ctx.information;
    const auto played = [&](int channel) { return p.partProgram[channel] != kNotPlayed; };
    computeFirstNoteTime(ctx);

    std::vector<std::unique_ptr<PartTrack>> tracks;
    int programs[16];
    std::fill(std::begin(programs), std::end(programs), -1);

    auto conductor = NewPartTrack();
    BuildConductorTrack(ctx, *conductor);
    tracks.push_back(std::move(conductor));

    if (played(kMelodyChannel)) {
        auto melody = NewPartTrack();
        const uint8_t* mix = p.partMixer[kMelodyChannel];
        programs[kMelodyChannel] =
            SetUpChannel(ctx, *melody, kMelodyChannel, p.partProgram[kMelodyChannel], mix, 0);
        melody->addControlChange(kMelodyChannel, 10, mix[mixer::Pan]);
        int copyVelocity = 0;
        if (p.partOctave[kMelodyChannel] == 1) {
            copyVelocity = p.octaveCopyVelocity;
            if (copyVelocity == 0) {
                reportText(kUnisonText, BoxKind::Ok);
                copyVelocity = kOctaveCopyVelocity;
            }
        }
        renderList(ctx, ci.songMelody, *melody, kMelodyChannel, longestNote, copyVelocity);
        if (const int delay = mix[mixer::CopyDelay]; delay != 0)
            tracks.push_back(delayedCopy(*melody, kMelodyChannel, kMelodyCopyChannel, delay, mix[mixer::Pan]));
        tracks.push_back(std::move(melody));

        if (p.partRules[kMelodyChannel][rule::SecondLine] != 0) {
            auto second = NewPartTrack();
            const int program =
                programs[kMelodyChannel] >= 0 ? programs[kMelodyChannel] : p.partProgram[kMelodyChannel];
            programs[kSecondLineChannel] = SetUpChannel(ctx, *second, kSecondLineChannel, program, mix, 0);
            RenderPart(ctx, ci.songSecondLine, *second, kSecondLineChannel, longestNote);
            second->addToVelocities(-kSecondLineSoftening);
            tracks.push_back(std::move(second));
        }
    }

    for (int channel : {kBackingChannel, kSecondBackingChannel}) {
        if (!played(channel)) continue;
        auto backing = NewPartTrack();
        const int kind = channel == kBackingChannel ? p.backingPattern3 : p.backingPattern7;
        BuildBacking(ctx, channel, *backing, p.partProgram[channel], kind, p.partPace[channel], ci.songChords);
        programs[channel] = backing->programOfChannel(channel);
        const uint8_t* mix = p.partMixer[channel];
        if (channel == kBackingChannel && mix[mixer::CopyDelay] != 0)
            tracks.push_back(
                delayedCopy(*backing, channel, kBackingCopyChannel, mix[mixer::CopyDelay], mix[mixer::Pan]));
        tracks.push_back(std::move(backing));
    }

    for (int channel : {kDerivedChannel, kCounterChannel}) {
        if (!played(channel)) continue;
        const EventList line = BuildCounterMelody(ctx, channel);
        auto part = NewPartTrack();
        programs[channel] = SetUpChannel(ctx, *part, channel, p.partProgram[channel], p.partMixer[channel], 0);
        RenderPart(ctx, line, *part, channel, kDelayedMelodyRest);
        ShiftOctaves(*part, channel, PartOctaves(ctx, channel));
        tracks.push_back(std::move(part));
    }

    if (played(kBassChannel)) {
        auto bass = NewPartTrack();
        BuildBass(ctx, *bass, ci.songChords);
        programs[kBassChannel] = bass->programOfChannel(kBassChannel);
        tracks.push_back(std::move(bass));
    }
    if (played(kDrumChannel)) {
        auto drums = NewPartTrack();
        BuildDrums(ctx, *drums);
        tracks.push_back(std::move(drums));
    }
    if (played(kEnvironmentChannel)) {
        auto environment = NewPartTrack();
        BuildEnvironment(ctx, *environment, ci.songChords);
        tracks.push_back(std::move(environment));
    }
    if (!ctx.arrangementPart.empty() && played(kArrangementChannel)) {
        auto part = NewPartTrack();
        programs[kArrangementChannel] =
            SetUpChannel(ctx, *part, kArrangementChannel, p.partProgram[kArrangementChannel],
                         p.partMixer[kArrangementChannel], 0);
        RenderPart(ctx, ctx.arrangementPart, *part, kArrangementChannel, longestNote);
        ShiftOctaves(*part, kArrangementChannel, PartOctaves(ctx, kArrangementChannel));
        tracks.push_back(std::move(part));
    }

    std::vector<MidiTrackData*> list;
    for (auto& t : tracks) list.push_back(t.get());

    // The tune sits wherever its writer (or the curve) put it, often below the backing's fixed
    // register: the accompaniment is lowered under it, the bass first so that the chords keep
    // above it.
    if (played(kMelodyChannel)) {
        KeepUnderMelody(list, kBassChannel, kMelodyChannel, -1, kLowestArrangedBass);
        for (int channel : {kBackingChannel, kBackingCopyChannel, kSecondBackingChannel, kDerivedChannel,
                            kCounterChannel})
            KeepUnderMelody(list, channel, kMelodyChannel, kBassChannel, kLowestArrangedBass);
    }
    // Clashes between the melodic parts, when the melody asks for the strictest consonance.
    if (p.partRules[kMelodyChannel][rule::Consonance] == 10) {
        RemoveClashes(list, kMelodyChannel, kSecondLineChannel);
        RemoveClashes(list, kMelodyChannel, kDerivedChannel);
        RemoveClashes(list, kSecondLineChannel, kDerivedChannel);
        if (p.backingPattern7 == 13) {
            RemoveClashes(list, kMelodyChannel, kSecondBackingChannel);
            RemoveClashes(list, kSecondLineChannel, kSecondBackingChannel);
            RemoveClashes(list, kDerivedChannel, kSecondBackingChannel);
        }
    }
    // A quiet backing gives way to the melody and to an arrangement's accompanying notes.
    for (int channel : {kBackingChannel, kSecondBackingChannel}) {
        const int kind = channel == kBackingChannel ? p.backingPattern3 : p.backingPattern7;
        if (!played(channel) || p.partPace[channel] > 80 || (kind != 4 && kind != 10 && kind != 31)) continue;
        for (int against : {kMelodyChannel, kArrangementChannel})
            SoftenAgainst(list, channel, against, programs[channel] >= 0 && programs[channel] == programs[against]);
    }

    // A song asked in another key was composed, whole, in C major or A minor: every pitched
    // note moves by the same step.
    if (ctx.engine.composeRun && ctx.request.transposition != 0)
        for (MidiTrackData* t : list)
            for (int channel = 0; channel < 16; ++channel)
                if (channel != kDrumChannel) t->transposeNotes(channel, ctx.request.transposition);

    auto file = MidiF1Data::fromTracks(list.data(), static_cast<int>(list.size()), kSongDivision, 2 * kTrackBufferSize);
    if (file->anyTrackRepaired()) ReportComposeError(zemc::DataCheck);
    for (int i = 0; i < file->trackCount(); ++i) {
        MidiF1TrackData* t = file->track(i);
        t->sysExToFrontOfSlot();
        t->ensureSingleEndOfTrack();
    }
    return file->saveFile(outputName);
}

}  // namespace tunecase

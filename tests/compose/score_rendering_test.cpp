#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "compose/compose_driver.h"
#include "compose/compose_errors.h"
#include "compose/compose_context.h"
#include "compose/compose_information.h"
#include "compose/form.h"
#include "compose/knowledge_files.h"
#include "compose/part_writer.h"
#include "compose/score_rendering.h"
#include "compose_test_util.h"
#include "song_test_util.h"
#include "midi/midi_f1_data.h"
#include "styles/composition_parameters.h"
#include "support/test_support.h"

namespace tunecase {
namespace {

using testing::chordOf;
using testing::PartNote;
using testing::partNotes;
using testing::reported;
using testing::reportedCodes;
using testing::trackEnd;

class Rendering : public testing::EngineTest {};

// The controllers, program changes and meta events of a track as "kind:number=value@time".
std::vector<std::string> setUpEvents(const MidiTrackData& track) {
    std::vector<std::string> out;
    int64_t t = 0;
    for (const auto& e : track.events()) {
        t += e->delta;
        if (e->status == ev::ControlChange)
            out.push_back("cc" + std::to_string(e->type) + "=" + std::to_string(e->value) + "@" + std::to_string(t));
        else if (e->status == ev::ProgramChange)
            out.push_back("pc=" + std::to_string(e->value) + "@" + std::to_string(t));
    }
    return out;
}

TEST_F(Rendering, ProgramGroupsDrawOnlyTheirMembersAndExtendedInstrumentsStandIn) {
    for (int value = 136; value <= 144; ++value) {
        const std::vector<int>& members = ProgramGroup(value);
        ASSERT_FALSE(members.empty()) << value;
        std::set<int> drawn;
        for (int i = 0; i < 600; ++i) drawn.insert(PickProgram(ctx, value, 1));
        EXPECT_EQ(drawn, std::set<int>(members.begin(), members.end())) << ProgramGroupName(value);
    }
    EXPECT_EQ(ProgramGroup(140).size(), 18u);
    EXPECT_STREQ(ProgramGroupName(140), "Melody Line Group");
    EXPECT_EQ(boxes->count(), 0u);

    const std::map<int, int> extended = {{128, 53}, {130, 112}, {131, 112}, {132, 40}, {133, 90}, {0, 0}, {127, 127}};
    for (auto [value, program] : extended) EXPECT_EQ(PickProgram(ctx, value, 1), program) << value;
    EXPECT_EQ(boxes->count(), 0u);
    for (int value : {129, 134, 135, 145, 255, -1}) EXPECT_EQ(PickProgram(ctx, value, 1), -1) << value;
    EXPECT_EQ(reportedCodes(boxes.sink()), std::vector<uint32_t>(6, zemc::Instrument));
    EXPECT_EQ(boxes->reports()[0].visible, "ZEMCFF010156 Errir of music instrument.");
}

TEST_F(Rendering, SetUpSendsTheMixerInOrderAndLeavesNeutralControllersOutOfAnArrangement) {
    uint8_t mix[16] = {100, 10, 20, 30, 64, 64, 64, 70, 64};
    auto track = NewPartTrack();
    EXPECT_EQ(SetUpChannel(ctx, *track, 1, 10, mix, 0), 10);
    EXPECT_EQ(setUpEvents(*track),
              (std::vector<std::string>{"cc0=0@0", "pc=10@0", "cc7=100@0", "cc91=20@0", "cc93=10@0", "cc74=30@0",
                                        "cc71=70@0", "cc101=0@0", "cc100=0@0", "cc6=12@0"}));

    // A compose run sends every controller, and the first event waits for the lead-in given.
    ctx.engine.composeRun = true;
    auto drums = NewPartTrack();
    EXPECT_EQ(SetUpChannel(ctx, *drums, 9, 0, mix, 384), -1);
    const auto events = setUpEvents(*drums);
    ASSERT_EQ(events.size(), 11u);
    EXPECT_EQ(events.front(), "cc7=100@384");  // the standard kit: no program change
    EXPECT_EQ(events[5], "cc72=64@384");
    EXPECT_EQ(events.back(), "cc6=12@384");

    auto group = NewPartTrack();
    const int drawn = SetUpChannel(ctx, *group, 4, 137, mix, 0);
    EXPECT_NE(std::find(ProgramGroup(137).begin(), ProgramGroup(137).end(), drawn), ProgramGroup(137).end());
    EXPECT_EQ(group->programOfChannel(4), drawn);
}

TEST_F(Rendering, APartEndsOnTheBeatAfterItsLastNoteAndStopsAtANoteTooLong) {
    EventList list;
    list.AddChord(384, "CMPS");
    list.AddNote(96, 60);
    list.AddNote(200, 62);
    list.AddNote(96, 0);
    list.AddNote(96, 64);
    auto track = NewPartTrack();
    RenderPart(ctx, list, *track, 4, 384);
    EXPECT_EQ(partNotes(*track), (std::vector<PartNote>{{0, 60, 64, 93}, {96, 62, 64, 197}, {392, 64, 48, 93}}));
    EXPECT_EQ(trackEnd(*track), 576);  // 392 + 93 = 485, up to the next multiple of 96
    EXPECT_EQ(boxes->count(), 0u);

    // In a compose run the part starts one measure in; a 768-tick note ends the part there.
    ctx.engine.composeRun = true;
    EventList tooLong;
    tooLong.AddNote(192, 67);
    tooLong.AddNote(768, 69);
    tooLong.AddNote(96, 71);
    auto cut = NewPartTrack();
    RenderPart(ctx, tooLong, *cut, 1, 384);
    EXPECT_EQ(partNotes(*cut), (std::vector<PartNote>{{384, 67, 64, 189}}));
    EXPECT_EQ(trackEnd(*cut), 576);
    EXPECT_EQ(reportedCodes(boxes.sink()), std::vector<uint32_t>{zemc::MelodyNoteLength});
    EXPECT_EQ(boxes->reports()[0].visible, "ZEMCFF010029 melody note length error!");

    boxes->clear();
    auto wrong = NewPartTrack();
    RenderPart(ctx, list, *wrong, 2, 384);
    EXPECT_TRUE(reported(boxes.sink(), zemc::TrackInformation));

    // A note held far longer than a part plays: the end comes 768 ticks after the last event.
    auto held = NewPartTrack();
    held->addNote(1, 0, 60, 64, 2000);
    CloseTrack(*held);
    EXPECT_EQ(trackEnd(*held), 768);
}

// Every effect setting shapes notes without moving them or leaving the part's channel.
TEST_F(Rendering, EffectsKeepEveryNoteInPlaceAndOnTheChannel) {
    EventList list;
    const int lengths[] = {96, 192, 384, 48, 144, 24, 288, 96, 384};
    for (int i = 0; i < 9; ++i) list.AddNote(lengths[i], i == 3 ? 0 : 60 + 2 * i);
    list.AddNote(96, 126);  // too high for an ornament a whole tone up
    auto plainTrack = NewPartTrack();
    RenderPart(ctx, list, *plainTrack, 5, 384);
    std::vector<std::pair<int64_t, int>> plain;
    for (const PartNote& n : partNotes(*plainTrack)) plain.emplace_back(n.start, n.key);
    for (int effect = 1; effect <= 22; ++effect) {
        boxes->clear();
        ctx.parameters.partRules[5][rule::Effect] = effect;
        auto track = NewPartTrack();
        RenderPart(ctx, list, *track, 5, 384);
        std::vector<std::pair<int64_t, int>> shaped;
        for (const PartNote& n : partNotes(*track)) shaped.emplace_back(n.start, n.key);
        EXPECT_EQ(shaped, plain) << "effect " << effect;
        for (const auto& e : track->events())
            if (e->status != ev::Meta) EXPECT_EQ(e->channel, 5) << "effect " << effect;
        int64_t t = 0, bend = kBendCentre;
        for (const auto& e : track->events()) {
            t += e->delta;
            if (e->status == ev::PitchBend) bend = e->pitchBendValue();
            if (e->status == ev::Meta && e->type == meta::EndOfTrack)
                EXPECT_EQ(bend, kBendCentre) << "effect " << effect;
        }
        EXPECT_EQ(boxes->count(), effect == 4 ? 1u : 0u) << "effect " << effect;
    }
}

TEST_F(Rendering, TheConductorCarriesSeedMeterKeyTempoAndChordMarkersAfterTheLeadIn) {
    ctx.Seed(777);
    CompositionParameters& p = ctx.parameters;
    p.timeSignature = 1;
    p.key = 3;
    p.knowledgeSet = 2;
    p.tempo = 500000;
    p.chordDisplay = 1;
    ctx.engine.composeRun = true;
    ctx.information.songChords = {chordOf(288, "CMPS", 60, 64, 67, 71), chordOf(576, "AmPs", 69, 72, 76, 79),
                                     chordOf(288, "CMPd", 60, 64, 67, 0)};
    ctx.information.songChords[2].bassText[1] = '4';
    auto track = NewPartTrack();
    BuildConductorTrack(ctx, *track);
    std::vector<std::string> seen;
    int64_t t = 0;
    for (const auto& e : track->events()) {
        t += e->delta;
        std::string what = std::to_string(t) + " ";
        if (e->status == ev::SysEx) what += "sysex";
        else if (e->type == meta::Text)
            what += "text " + std::string(reinterpret_cast<const char*>(e->getData()), e->length);
        else if (e->type == meta::TimeSignature)
            what += "meter " + std::to_string(e->getByte(0)) + "/" + std::to_string(e->getByte(1)) + " " +
                    std::to_string(e->getByte(2)) + " " + std::to_string(e->getByte(3));
        else if (e->type == meta::KeySignature)
            what += "key " + std::to_string(static_cast<int8_t>(e->getByte(0))) + " " + std::to_string(e->getByte(1));
        else if (e->type == meta::Tempo) what += "tempo " + std::to_string(e->value);
        else if (e->type == meta::Marker) what += "marker " + std::string(e->text());
        else if (e->type == meta::EndOfTrack) what += "end";
        seen.push_back(what);
    }
    EXPECT_EQ(seen, (std::vector<std::string>{"0 text " + std::string("random_seed 777\0", 16), "0 sysex", "0 sysex",
                                              "0 meter 3/2 18 8", "0 key -3 1", "0 tempo 500000", "0 marker N/C",
                                              "288 marker CM7", "576 marker Am7", "1152 marker C onE", "1152 end"}));
    EXPECT_EQ(boxes->count(), 0u);

    // A chord of no length puts two markers at one time.
    ctx.information.songChords.insert(ctx.information.songChords.begin() + 1, chordOf(0, "GMPs", 67, 71, 74, 77));
    auto again = NewPartTrack();
    BuildConductorTrack(ctx, *again);
    EXPECT_EQ(reportedCodes(boxes.sink()), std::vector<uint32_t>{zemc::DisplayData});

    // Outside a compose run (or with the display off) there are no markers.
    ctx.engine.composeRun = false;
    auto plain = NewPartTrack();
    BuildConductorTrack(ctx, *plain);
    for (const auto& e : plain->events()) EXPECT_NE(e->type, meta::Marker);
}

// Two tracks: channel 1 holds a note of key 60 from 0 to 100; channel 6 (or 3) notes start
// inside it at the keys given, one at a time.
TEST_F(Rendering, ClashesAndSofteningDecideByTheIntervalToTheNoteSounding) {
    auto melody = NewPartTrack();
    melody->addNote(1, 0, 60, 64, 100);
    auto line = NewPartTrack();
    const std::vector<int> keys = {61, 62, 63, 72, 71, 73, 60, 58};
    for (size_t i = 0; i < keys.size(); ++i) line->addNote(6, i == 0 ? 10 : 10, keys[i], 64, 5);
    line->addNote(6, 50, 61, 64, 5);  // at 130: the melody note ended 30 ticks before
    line->ensureEndOfTrack(20);
    const std::vector<MidiTrackData*> tracks = {melody.get(), line.get()};
    EXPECT_EQ(RemoveClashes(tracks, 1, 6), 5);
    std::vector<int> kept;
    std::vector<int64_t> times;
    for (const PartNote& n : partNotes(*line)) {
        kept.push_back(n.key);
        times.push_back(n.start);
    }
    EXPECT_EQ(kept, (std::vector<int>{63, 72, 60, 61}));
    EXPECT_EQ(times, (std::vector<int64_t>{30, 40, 70, 130}));  // the others keep their times
    EXPECT_EQ(trackEnd(*line), 150);

    // Softening: a unison goes (same program) or drops to 4/5; below 5/6; above 4/5; a note
    // 11 ticks after the melody note still counts, 12 ticks after not.
    auto backing = NewPartTrack();
    for (int key : {60, 61, 55, 67}) backing->addNote(3, 10, key, 60, 5);
    backing->addNote(3, 71, 55, 60, 5);  // at 111
    backing->addNote(3, 1, 55, 60, 5);   // at 112
    const std::vector<MidiTrackData*> soft = {melody.get(), backing.get()};
    EXPECT_EQ(SoftenAgainst(soft, 3, 1, false), 5);
    std::vector<int> velocities;
    for (const PartNote& n : partNotes(*backing)) velocities.push_back(n.velocity);
    EXPECT_EQ(velocities, (std::vector<int>{48, 48, 50, 48, 50, 60}));
    EXPECT_EQ(SoftenAgainst(soft, 3, 1, true), 5);
    std::vector<int> left;
    for (const PartNote& n : partNotes(*backing)) left.push_back(n.key);
    EXPECT_EQ(left, (std::vector<int>{55, 67, 55, 55}));
}

// An arranged tune's accompaniment goes down by octaves under the lowest melody note heard
// while it sounds; what would then reach the bass, the part's floor, or a pitch the part
// already sounds is removed.
TEST_F(Rendering, AccompanimentIsLoweredUnderTheMelodyItSoundsWith) {
    struct Placed {
        int64_t start;
        int key;
        int duration;
    };
    const auto place = [](MidiTrackData& track, int channel, const std::vector<Placed>& notes) {
        int64_t last = 0;
        for (const Placed& n : notes) {
            track.addNote(channel, static_cast<int>(n.start - last), n.key, 64, n.duration);
            last = n.start;
        }
        track.ensureEndOfTrack(400);
    };
    // The tune: 72 (with its octave copy) from 0, 64 from 96, a rest, 67 from 288.
    auto melody = NewPartTrack();
    place(*melody, 1, {{0, 72, 96}, {0, 84, 96}, {96, 64, 96}, {288, 67, 96}});
    auto bass = NewPartTrack();
    place(*bass, 2, {{0, 48, 192}, {192, 60, 192}});
    struct Case {
        Placed note;
        int expected;  // 0: removed
        const char* why;
    };
    const Case cases[] = {
        {{0, 72, 90}, 72, "a unison with the tune stays"},
        {{0, 76, 88}, 64, "one octave under the 72"},
        {{0, 79, 150}, 55, "two octaves: it is still heard at the 64"},
        {{96, 67, 90}, 0, "would double the 55 still sounding"},
        {{100, 50, 40}, 50, "already below, and above the bass"},
        {{192, 71, 90}, 71, "the tune rests"},
        {{200, 65, 100}, 65, "under the 67 it reaches"},
        {{290, 70, 50}, 0, "58 would fall under the bass's 60"},
    };
    auto backing = NewPartTrack();
    std::vector<Placed> notes;
    for (const Case& c : cases) notes.push_back(c.note);
    place(*backing, 3, notes);
    // A part without a floor part keeps above the lowest key it is given.
    auto counter = NewPartTrack();
    place(*counter, 5, {{96, 60, 50}, {150, 66, 30}, {300, 80, 50}});
    const std::vector<MidiTrackData*> tracks = {melody.get(), bass.get(), backing.get(), counter.get()};

    EXPECT_EQ(KeepUnderMelody(tracks, 2, 1, -1, 28), 0);  // the bass is under the tune already
    EXPECT_EQ(KeepUnderMelody(tracks, 3, 1, 2, 28), 4);
    std::vector<int> kept, expected;
    for (const PartNote& n : partNotes(*backing)) kept.push_back(n.key);
    for (const Case& c : cases)
        if (c.expected) expected.push_back(c.expected);
    std::sort(expected.begin(), expected.end());
    std::sort(kept.begin(), kept.end());
    EXPECT_EQ(kept, expected);
    for (const PartNote& n : partNotes(*backing))
        for (const Case& c : cases)
            if (c.note.start == n.start && c.note.duration == n.duration)  // durations tell cases apart
                EXPECT_EQ(n.key, c.expected) << c.why;

    EXPECT_EQ(KeepUnderMelody(tracks, 5, 1, -1, 55), 2);
    // 66 would go to 54, under the floor; 80 goes under the 67.
    EXPECT_EQ(partNotes(*counter), (std::vector<PartNote>{{96, 60, 64, 50}, {300, 56, 64, 50}}));
    // The tune itself is never moved.
    EXPECT_EQ(partNotes(*melody).size(), 4u);
    EXPECT_EQ(partNotes(*melody)[2].key, 64);
}

TEST_F(Rendering, AHeldBackingWaitsForTheTunesFirstNote) {
    CompositionParameters& p = ctx.parameters;
    ctx.engine.composeRun = true;
    p.partProgram[2] = kNotPlayed;
    p.partProgram[3] = 10;
    ctx.information.songChords = {chordOf(768, "CMPS", 60, 64, 67, 71), chordOf(384, "GMPs", 67, 71, 74, 77)};
    ctx.information.songMelody.AddChord(768, "CMPS");
    ctx.information.songMelody.AddRest(288);
    ctx.information.songMelody.AddNote(96, 67);
    testing::TempFolder dir;
    for (int kind : {7, 8}) {  // a held chord, and half notes that do not wait
        p.backingPattern3 = kind;
        ASSERT_EQ(RenderSong(ctx, dir.file("w.mid"), 384), 1);
        EXPECT_EQ(FirstNoteTime(ctx), 288);
        auto file = MidiF1Data::openFile(dir.file("w.mid"));
        ASSERT_EQ(file->trackCount(), 3);
        EXPECT_EQ(partNotes(*file->track(2)).front().start, kind == 7 ? 384 + 288 : 384) << kind;
    }
}

// A song state made by the engine's own stages, rendered with every part switched on.
class WholeSong : public Rendering {
protected:
    void SetUp() override {
        Rendering::SetUp();
        ctx.Seed(4242);
        LoadKnowledge(ctx);
        CompositionParameters& p = ctx.parameters;
        p.measureCount = 12;
        p.partRules[1][rule::Highest] = 84;
        p.partRules[1][rule::Lowest] = 60;
        p.partRules[4][rule::Highest] = 84;
        p.partRules[4][rule::Lowest] = 60;
        ctx.engine.composeRun = true;
        ResetComposition(ctx);
        BuildFormAndCharts(ctx);
        BuildSongChords(ctx);
    }
};

TEST_F(WholeSong, TracksComeInTheirFixedOrderWithCopiesBeforeTheirParts) {
    if (!testing::haveMido()) GTEST_SKIP() << "python3-mido is not installed";
    CompositionParameters& p = ctx.parameters;
    for (int k : {1, 2, 3, 4, 5, 7}) p.partProgram[k] = 10;
    p.partProgram[8] = 123;
    p.partProgram[9] = 1;
    p.partProgram[15] = 11;
    p.partRules[1][rule::SecondLine] = 1;
    p.partOctave[1] = 1;
    p.octaveCopyVelocity = 0;
    p.partMixer[1][mixer::CopyDelay] = 24;
    p.partMixer[1][mixer::Pan] = 64;
    p.partMixer[3][mixer::CopyDelay] = 12;
    p.backingPattern3 = 4;
    p.backingPattern7 = 8;
    p.bassPattern = 3;
    p.drumPattern = 14;
    ASSERT_EQ(GenerateSong(ctx), 1);
    ctx.arrangementPart.AddNote(96, 72);
    ctx.arrangementPart.AddNote(96, 74);
    testing::TempFolder dir;
    ASSERT_EQ(RenderSong(ctx, dir.file("all.mid"), 384), 1);
    // The octave copy's velocity 0 shows the box and plays at 38.
    EXPECT_EQ(boxes->visibleTexts(), std::vector<std::string>{"The melody's octave copy had no loudness set, so the usual one was used."});

    const auto song = testing::songSummary(dir.file("all.mid"));
    ASSERT_FALSE(song.is_null());
    EXPECT_EQ(song["type"], 1);
    EXPECT_EQ(song["division"], 96);
    std::vector<int> order;
    for (const auto& t : song["tracks"]) {
        std::set<int> channels;
        for (const auto& n : t["notes"]) channels.insert(n[1].get<int>());
        for (const auto& c : t["controls"]) channels.insert(c[1].get<int>());
        ASSERT_LE(channels.size(), 1u);
        order.push_back(channels.empty() ? -1 : *channels.begin());
    }
    EXPECT_EQ(order, (std::vector<int>{-1, 10, 1, 6, 11, 3, 7, 4, 5, 2, 9, 8, 15}));

    const auto& tracks = song["tracks"];
    const auto& melody = tracks[2];
    const auto& copy = tracks[1];
    // Every melody note up to 115 sounds with its octave at velocity 38; the delayed copy
    // plays both 24 ticks later, detuned, panned apart.
    std::multiset<std::vector<int>> upper, lower;
    for (const auto& n : melody["notes"]) {
        const int start = n[0], key = n[2], velocity = n[3];
        if (velocity == 38) upper.insert({start, key - 12});
        else lower.insert({start, key});
    }
    EXPECT_EQ(upper, lower);
    ASSERT_EQ(copy["notes"].size(), melody["notes"].size());
    for (size_t i = 0; i < copy["notes"].size(); ++i) {
        EXPECT_EQ(copy["notes"][i][0].get<int>(), melody["notes"][i][0].get<int>() + 24);
        EXPECT_EQ(copy["notes"][i][2], melody["notes"][i][2]);
    }
    std::vector<std::vector<int>> rpn;
    for (const auto& c : copy["controls"])
        if (c[2] == 101 || c[2] == 100 || c[2] == 6 || c[2] == 38 || c[2] == 10)
            rpn.push_back({c[2].get<int>(), c[3].get<int>()});
    EXPECT_EQ(rpn, (std::vector<std::vector<int>>{
                       {101, 0}, {100, 0}, {6, 12}, {10, 24}, {101, 0}, {100, 1}, {6, 56}, {38, 0}}));
    bool melodyPan = false;
    for (const auto& c : melody["controls"]) melodyPan |= c[2] == 10 && c[3] == 104;
    EXPECT_TRUE(melodyPan);

    // The second line plays the melody's program 25 softer.
    for (const auto& n : tracks[3]["notes"]) EXPECT_TRUE(n[3] == 39 || n[3] == 23) << n;
    EXPECT_EQ(tracks[3]["programs"][0][2], 10);
    // Every track ends on a beat.
    for (const auto& t : tracks) EXPECT_EQ(t["end"].get<int>() % 96, 0);
    // The arrangement's notes start after the lead-in.
    EXPECT_EQ(tracks[12]["notes"][0][0], 384);

}

TEST_F(WholeSong, ASilentPartMakesNoTrackAndProgramGroupsAreDrawnPerSong) {
    CompositionParameters& p = ctx.parameters;
    p.partProgram[1] = 140;
    p.partProgram[3] = kNotPlayed;
    p.partProgram[2] = kNotPlayed;
    ASSERT_EQ(GenerateSong(ctx), 1);
    testing::TempFolder dir;
    std::set<int> programs;
    for (int seed = 1; seed <= 30; ++seed) {
        ctx.Seed(seed);
        ASSERT_EQ(RenderSong(ctx, dir.file("g.mid"), 384), 1);
        auto file = MidiF1Data::openFile(dir.file("g.mid"));
        ASSERT_EQ(file->trackCount(), 2);  // conductor and melody
        programs.insert(file->track(1)->programOfChannel(1));
    }
    EXPECT_GE(programs.size(), 8u);
    const std::vector<int>& group = ProgramGroup(140);
    for (int program : programs) EXPECT_NE(std::find(group.begin(), group.end(), program), group.end());
}

}  // namespace
}  // namespace tunecase

// The format 0 song: the file it writes, what it reads back, the header rules, files nothing
// can read, and the time and tempo operations.
#include <gtest/gtest.h>

#include <filesystem>

#include "base/reporter.h"
#include "midi/midi_f0_data.h"
#include "midi/smf_test_util.h"

namespace tunecase {
namespace {

using testing::NoteTuple;
using testing::notesOf;

// A song at 96 ticks: tempo, 3/4, a note, then a note on channel 0 and a drum note together.
std::unique_ptr<MidiF0Data> smallSong() {
    auto song = MidiF0Data::newSong();
    song->setDivision(96);
    MidiTrackData& t = *song->track();
    t.addTempo(500000);
    t.addTimeSignature(3, 2);
    t.addNote(0, 0, 60, 100, 96);
    t.addNote(0, 96, 64, 90, 48);
    t.addNote(9, 0, 36, 110, 24);
    t.ensureEndOfTrack(48);
    return song;
}

const std::vector<uint8_t> kSmallSongFile = {
    'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0, 96,  //
    'M', 'T', 'r', 'k', 0, 0, 0, 43,                    //
    0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20,           // tempo 500000
    0x00, 0xFF, 0x58, 0x04, 0x03, 0x02, 0x12, 0x08,     // 3/4
    0x00, 0x90, 60, 100,                                //
    0x60, 0x80, 60, 64,                                 // the release velocity is always 64
    0x00, 0x90, 64, 90,                                 //
    0x00, 0x99, 36, 110,                                //
    0x18, 0x89, 36, 64,                                 //
    0x18, 0x80, 64, 64,                                 //
    0x00, 0xFF, 0x2F, 0x00,                             //
};

TEST(MidiF0File, WritesTheExpectedBytesAndReadsEveryFieldBack) {
    ScopedCapture cap;
    auto song = smallSong();
    std::vector<uint8_t> bytes;
    ASSERT_EQ(song->saveBytes(bytes), 1);
    EXPECT_EQ(bytes, kSmallSongFile);
    EXPECT_EQ(song->state(), MidiF0Data::NoteEvents);  // back where it was

    auto back = MidiF0Data::fromBytes(bytes.data(), static_cast<int>(bytes.size()));
    ASSERT_TRUE(back->isLoaded());
    EXPECT_EQ(back->state(), MidiF0Data::NoteEvents);
    EXPECT_EQ(back->division(), 96);
    const MidiTrackData& t = *back->track();
    ASSERT_EQ(t.eventCount(), 6);
    EXPECT_EQ(t.event(0)->status, ev::Meta);
    EXPECT_EQ(t.event(0)->type, meta::Tempo);
    EXPECT_EQ(t.event(0)->value, 500000);
    EXPECT_EQ(t.event(1)->type, meta::TimeSignature);
    EXPECT_EQ(t.event(1)->value, 3 * 256 + 4);
    int code = 0;
    EXPECT_EQ(back->timeSignatureCode(code), 1);
    EXPECT_EQ(code, 772);
    EXPECT_EQ(back->measureTicks(), 288);
    EXPECT_EQ(notesOf(t), (std::vector<NoteTuple>{{0, 0, 60, 100, 96}, {96, 0, 64, 90, 48}, {96, 9, 36, 110, 24}}));
    EXPECT_EQ(t.event(5)->type, meta::EndOfTrack);
    EXPECT_EQ(t.timeOf(5), 144);
    EXPECT_EQ(back->lengthInTicks(), 144);
    EXPECT_TRUE(cap->visibleTexts().empty());
}

TEST(MidiF0File, OutsideReadersSeeTheSameNotes) {
    if (!testing::haveMido()) GTEST_SKIP() << "python3-mido is not installed";
    testing::TempFolder dir;
    auto song = smallSong();
    ASSERT_EQ(song->saveFile(dir.file("small.mid")), 1);
    std::string header;
    EXPECT_EQ(testing::midoNotes(dir.file("small.mid"), &header), notesOf(*song->track()));
    EXPECT_EQ(header, "type 0 tracks 1 division 96");

    std::string csv;
    ASSERT_EQ(testing::runCommand("midicsv '" + dir.file("small.mid") + "'", csv), 0) << csv;
    EXPECT_NE(csv.find("0, 0, Header, 0, 1, 96"), std::string::npos) << csv;
    EXPECT_NE(csv.find("1, 96, Note_off_c, 0, 60, 64"), std::string::npos) << csv;
    EXPECT_NE(csv.find("1, 144, End_track"), std::string::npos) << csv;
}

TEST(MidiF0File, RawEncodingKeepsTheEventOrderAndTheOrderedOneMovesControlsFirst) {
    ScopedCapture cap;
    for (bool raw : {true, false}) {
        auto song = MidiF0Data::newSong();
        song->setDivision(96);
        song->track()->addNote(0, 0, 60, 100, 10);
        song->track()->addControlChange(0, 7, 100);
        song->track()->ensureEndOfTrack(10);
        ASSERT_EQ(song->toMidi(), 1);
        ASSERT_EQ(song->encode(raw), 1);
        EXPECT_EQ(song->state(), MidiF0Data::BytesOnly);
        EXPECT_EQ(song->track(), nullptr);
        const uint8_t* b = song->bytes() + 22;
        const std::vector<uint8_t> first(b, b + 4);
        EXPECT_EQ(first, raw ? std::vector<uint8_t>({0x00, 0x90, 60, 100}) : std::vector<uint8_t>({0x00, 0xB0, 7, 100}));
    }
    EXPECT_TRUE(cap->visibleTexts().empty());
}

TEST(MidiF0File, SavingReturnsToTheStateItHadAndEncodingInTheWrongStateChangesNothing) {
    ScopedCapture cap;
    testing::TempFolder dir;
    auto song = smallSong();
    ASSERT_EQ(song->toMidi(), 1);
    ASSERT_EQ(song->saveFile(dir.file("a.mid")), 1);
    EXPECT_EQ(song->state(), MidiF0Data::MidiEvents);
    EXPECT_EQ(testing::readFileBytes(dir.file("a.mid")), kSmallSongFile);

    ASSERT_EQ(song->toNotes(), 1);
    const auto before = notesOf(*song->track());
    EXPECT_EQ(song->encode(), 0);  // needs state 1
    EXPECT_EQ(cap->visibleTexts(), std::vector<std::string>{"M0DT04000005 Internal error occured in MidiF0Data!"});
    EXPECT_EQ(song->state(), MidiF0Data::NoteEvents);
    EXPECT_EQ(notesOf(*song->track()), before);

    cap->clear();
    EXPECT_EQ(song->toNotes(), 0);
    EXPECT_EQ(cap->visibleTexts(), std::vector<std::string>{"M0DT04000005 Internal error occured in MidiF0Data!"});
}

TEST(MidiF0File, ASongWithoutEndOfTrackStillWritesAValidFile) {
    ScopedCapture cap;
    auto song = MidiF0Data::newSong();
    song->track()->addNote(3, 0, 70, 80, 960);
    std::vector<uint8_t> bytes;
    ASSERT_EQ(song->saveBytes(bytes), 1);
    ASSERT_GE(bytes.size(), 3u);
    EXPECT_EQ(std::vector<uint8_t>(bytes.end() - 3, bytes.end()), (std::vector<uint8_t>{0xFF, 0x2F, 0x00}));
    EXPECT_EQ(notesOf(*song->track()), (std::vector<NoteTuple>{{0, 3, 70, 80, 960}}));
    EXPECT_TRUE(cap->visibleTexts().empty());
}

TEST(MidiF0File, LongDeltasSurviveTheRoundTrip) {
    ScopedCapture cap;
    auto song = MidiF0Data::newSong();
    song->track()->addNote(0, 200000, 60, 100, kLargestWritableDelta);
    song->track()->ensureEndOfTrack(0);
    std::vector<uint8_t> bytes;
    ASSERT_EQ(song->saveBytes(bytes), 1);
    // 200,000 = 0x30D40 takes three bytes: 8C 9A 40.
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 22, bytes.begin() + 26), (std::vector<uint8_t>{0x8C, 0x9A, 0x40, 0x90}));
    EXPECT_EQ(notesOf(*song->track()), (std::vector<NoteTuple>{{200000, 0, 60, 100, kLargestWritableDelta}}));
}

// ---- Header and file probe ---------------------------------------------------------------------

std::vector<uint8_t> withMacBinary(const std::vector<uint8_t>& file) {
    std::vector<uint8_t> out(128, 0x11);
    out.insert(out.end(), file.begin(), file.end());
    return out;
}

TEST(MidiF0Header, AMacBinaryHeaderIsDroppedEverywhere) {
    ScopedCapture cap;
    testing::TempFolder dir;
    auto wrapped = withMacBinary(kSmallSongFile);
    testing::writeFileBytes(dir.file("mac.mid"), wrapped);
    auto song = MidiF0Data::openFile(dir.file("mac.mid"));
    ASSERT_TRUE(song->isLoaded());
    EXPECT_EQ(notesOf(*song->track()).size(), 3u);

    int length = static_cast<int>(wrapped.size());
    EXPECT_EQ(MidiF0Data::fileFormatOf(wrapped.data(), length), 0);
    EXPECT_EQ(length, static_cast<int>(kSmallSongFile.size()));
    EXPECT_TRUE(std::equal(kSmallSongFile.begin(), kSmallSongFile.end(), wrapped.begin()));
    EXPECT_TRUE(cap->visibleTexts().empty());
}

TEST(MidiF0Header, FileFormatProbe) {
    auto probe = [](std::vector<uint8_t> b) {
        int n = static_cast<int>(b.size());
        return MidiF0Data::fileFormatOf(b.data(), n);
    };
    auto header = [](uint8_t format) { return std::vector<uint8_t>{'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, format, 0, 1, 0, 96}; };
    EXPECT_EQ(probe(header(0)), 0);
    EXPECT_EQ(probe(header(1)), 1);
    EXPECT_EQ(probe(header(2)), -1);
    EXPECT_EQ(probe({'M', 'T', 'h', 'd', 0}), -1);  // too short to hold a format
    EXPECT_EQ(probe({}), -1);
}

TEST(MidiF0Header, RefusalsSayWhyOnlyWhenAsked) {
    struct Case {
        std::vector<uint8_t> bytes;
        const char* message;
    };
    const std::vector<Case> cases = {
        {{'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 2, 0, 96}, "M0DT04000003 The number of track is invalid! in MidiF0Data!"},
        {{'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0, 1, 0, 96}, "M0DT04000001 This file is not Format 0!"},
        {{'R', 'I', 'F', 'F', 0, 0, 0, 6, 0, 0, 0, 1, 0, 96},
         "M0DT04000004 This is not a MIDI file. Or maybe mac binary is attached to the file!"},
        {{'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0, 0}, "M0DT04000009 Musical information is wrong!"},
    };
    for (const auto& c : cases) {
        ScopedCapture cap;
        MidiF0Data quiet;
        quiet.assign(c.bytes.data(), static_cast<int>(c.bytes.size()));
        EXPECT_EQ(quiet.readHeader(false), 0);
        EXPECT_TRUE(cap->visibleTexts().empty());
        MidiF0Data loud;
        loud.assign(c.bytes.data(), static_cast<int>(c.bytes.size()));
        EXPECT_EQ(loud.readHeader(true), 0);
        EXPECT_EQ(cap->visibleTexts(), std::vector<std::string>{c.message});
    }
    ScopedCapture cap;
    MidiF0Data empty;
    EXPECT_EQ(empty.readHeader(true), 0);  // nothing loaded: the loader has spoken
    EXPECT_TRUE(cap->visibleTexts().empty());
}

// ---- Files nothing can read ------------------------------------------------------------------

struct BrokenFile {
    const char* name;
    std::vector<std::string> messages;
};

TEST(MidiF0Open, BrokenFilesEndAfterOneRoundWithAnEmptySong) {
    const std::vector<BrokenFile> files = {
        {"empty.mid", {"M1DT03000004 This is not Midi file!"}},
        {"not_midi.mid", {"M1DT03000004 This is not Midi file!"}},
        {"format2.mid", {"M1DT03000002 This file is not format 1 of midi."}},
        {"format0_two_tracks.mid", {"M1DT03000002 This file is not format 1 of midi."}},
        {"truncated_header.mid", {"M1DT03000004 This is not Midi file!"}},
        {"zero_division.mid", {"M0DT04000009 Musical information is wrong!"}},
        {"zero_division_format1.mid", {"M1DT03000021 Internal data is invalid!"}},
        {"truncated_chunk.mid", {"MDTK0D000001 MidiTrackData Internal Error"}},
    };
    for (const auto& f : files) {
        SCOPED_TRACE(f.name);
        ScopedCapture cap;
        auto song = MidiF0Data::openFile(testing::midiDataFolder() + "/broken/" + f.name);
        EXPECT_FALSE(song->isLoaded());
        EXPECT_EQ(song->state(), MidiF0Data::NoteEvents);
        ASSERT_NE(song->track(), nullptr);
        EXPECT_EQ(song->track()->eventCount(), 0);
        EXPECT_EQ(cap->visibleTexts(), f.messages);
        // Saving what is left writes a valid empty song rather than the refused bytes.
        std::vector<uint8_t> bytes;
        cap->clear();
        ASSERT_EQ(song->saveBytes(bytes), 1);
        EXPECT_EQ(bytes.size(), 22u + 4u);
    }
}

TEST(MidiF0Open, AMissingFileIsReportedOnceByTheLoader) {
    ScopedCapture cap;
    auto song = MidiF0Data::openFile("/nonexistent/tunecase/song.mid");
    EXPECT_FALSE(song->isLoaded());
    EXPECT_EQ(song->state(), MidiF0Data::NoteEvents);
    const auto texts = cap->visibleTexts();
    ASSERT_FALSE(texts.empty());
    for (const auto& t : texts) EXPECT_EQ(t.find("M1DT"), std::string::npos) << t;  // no second reader
    EXPECT_EQ(texts.back(), "GENE01000007 Cant open file! [/nonexistent/tunecase/song.mid]");
}

TEST(MidiF0Open, FromBytesRefusesOtherFormatsWithoutTryingTheFormat1Reader) {
    ScopedCapture cap;
    const auto bytes = testing::readFileBytes(testing::midiDataFolder() + "/mido_three_tracks.mid");
    auto song = MidiF0Data::fromBytes(bytes.data(), static_cast<int>(bytes.size()));
    EXPECT_FALSE(song->isLoaded());
    EXPECT_EQ(cap->visibleTexts(), std::vector<std::string>{"M0DT04000001 This file is not Format 0!"});
}

TEST(MidiF0Open, CopiesAreDeepAndOnlyOfNoteState) {
    ScopedCapture cap;
    auto song = smallSong();
    song->setTimeSignatureOverride(1544);
    MidiF0Data copy(*song);
    EXPECT_EQ(copy.division(), 96);
    EXPECT_EQ(copy.timeSignatureOverride(), 1544);
    copy.track()->event(2)->data1 = 10;
    EXPECT_EQ(song->track()->event(2)->data1, 60);

    song->toMidi();
    MidiF0Data fromWrongState(*song);
    EXPECT_EQ(fromWrongState.state(), MidiF0Data::NoteEvents);
    EXPECT_EQ(fromWrongState.track()->eventCount(), 0);
    EXPECT_EQ(cap->visibleTexts(), std::vector<std::string>{"M0DT04000005 Internal error occured in MidiF0Data!"});
}

// ---- Time and tempo ----------------------------------------------------------------------------

TEST(MidiF0Time, MeasureTicksFollowTheTimeSignatureAndTheOverride) {
    auto song = MidiF0Data::newSong();
    song->setDivision(96);
    EXPECT_EQ(song->measureTicks(), 384);  // no time signature
    song->setTimeSignatureOverride(3 * 256 + 4);
    EXPECT_EQ(song->measureTicks(), 288);
    song->setTimeSignatureOverride(6 * 256 + 8);
    EXPECT_EQ(song->measureTicks(), 288);
    song->setTimeSignatureOverride(0 * 256 + 4);  // a zero numerator would make measures of no ticks
    EXPECT_EQ(song->measureTicks(), 384);
    song->setTimeSignatureOverride(0);
    song->setDivision(0);
    EXPECT_EQ(song->measureTicks(), 384);
}

TEST(MidiF0Time, RoundingTheStartTrimsWholeMeasuresBeforeTheFirstNote) {
    auto song = MidiF0Data::newSong();
    song->setDivision(96);
    MidiTrackData& t = *song->track();
    t.addTempo(400000);
    t.addControlChange(0, 7, 100);
    t.event(1)->delta = 100;
    t.addNote(0, 400, 60, 100, 50);  // at 500: the measure boundary before it is 384
    t.ensureEndOfTrack(50);
    EXPECT_EQ(song->roundStartToMeasure(), 384);
    EXPECT_EQ(t.event(0)->delta, 0);
    EXPECT_EQ(t.event(1)->delta, 0);
    EXPECT_EQ(t.event(2)->delta, 116);
    EXPECT_EQ(t.timeOf(3), 166);

    song->trimStart(116);  // exactly to the note: it keeps nothing, later events keep theirs
    EXPECT_EQ(t.event(2)->delta, 0);
    EXPECT_EQ(t.event(3)->delta, 50);

    ScopedCapture cap;
    MidiF0Data bytesOnly;
    EXPECT_EQ(bytesOnly.roundStartToMeasure(), 0);
    EXPECT_EQ(cap->visibleTexts(), std::vector<std::string>{"M0DT04000005 Internal error occured in MidiF0Data!"});
}

TEST(MidiF0Time, TempoMovesToTheFrontOfItsMomentAndTheLaterOneWins) {
    auto song = MidiF0Data::newSong();
    MidiTrackData& t = *song->track();
    t.addNote(0, 0, 60, 100, 10);
    t.addTempo(400000);
    t.addTempo(300000);  // B, leads the group at 96 after the next line
    t.event(2)->delta = 96;
    t.addNote(0, 0, 62, 100, 10);
    t.addTempo(250000);  // C, same moment as B
    t.ensureEndOfTrack(10);
    EXPECT_EQ(song->tempoToFrontOfSlot(), 1);
    ASSERT_EQ(t.eventCount(), 5);
    EXPECT_EQ(t.event(0)->value, 400000);
    EXPECT_EQ(t.event(1)->status, ev::Note);
    EXPECT_EQ(t.event(2)->value, 250000);
    EXPECT_EQ(t.timeOf(2), 96);
    EXPECT_EQ(t.event(3)->data1, 62);
    EXPECT_EQ(t.timeOf(3), 96);
}

TEST(MidiF0Time, RemoveTemposInAnIndexRange) {
    auto song = MidiF0Data::newSong();
    MidiTrackData& t = *song->track();
    for (int i = 0; i < 3; ++i) {
        t.addTempo(500000 + i);
        t.addNote(0, 10, 60, 100, 5);
    }
    EXPECT_EQ(song->removeTempos(1, 3), 1);  // only index 2
    EXPECT_EQ(t.eventCount(), 5);
    EXPECT_EQ(t.event(0)->value, 500000);
    EXPECT_EQ(t.event(3)->value, 500002);
    EXPECT_EQ(song->removeTempos(0, -1), 2);
    EXPECT_EQ(t.eventCount(), 3);
    EXPECT_EQ(t.timeOf(2), 30);  // the removed tempos' time stays with the notes
}

TEST(MidiF0Time, TempoIsInsertedAtTheFirstNotesUnlessOneComesFirst) {
    auto song = MidiF0Data::newSong();
    MidiTrackData& t = *song->track();
    t.addControlChange(0, 7, 100);
    t.addNote(0, 96, 60, 100, 10);
    t.addNote(0, 0, 64, 100, 10);
    t.addNote(0, 96, 67, 100, 10);
    EXPECT_EQ(song->insertTempoAtFirstNote(600000), 1);
    ASSERT_EQ(t.eventCount(), 5);
    EXPECT_EQ(t.event(1)->type, meta::Tempo);
    EXPECT_EQ(t.event(1)->value, 600000);
    EXPECT_EQ(t.timeOf(1), 96);
    EXPECT_EQ(t.timeOf(2), 96);
    EXPECT_EQ(t.timeOf(3), 96);

    EXPECT_EQ(song->insertTempoAtFirstNote(700000), 0);
    EXPECT_EQ(t.eventCount(), 5);
}

TEST(MidiF0Time, DivisionChangesRescaleAndZeroIsRefused) {
    ScopedCapture cap;
    auto song = MidiF0Data::newSong();
    song->track()->addNote(0, 960, 60, 100, 4);
    ASSERT_EQ(song->changeDivision(96), 1);
    EXPECT_EQ(song->division(), 96);
    EXPECT_EQ(notesOf(*song->track()), (std::vector<NoteTuple>{{96, 0, 60, 100, 1}}));
    EXPECT_TRUE(cap->visibleTexts().empty());
    EXPECT_EQ(song->changeDivision(0), 0);
    EXPECT_EQ(song->division(), 96);
    EXPECT_EQ(cap->visibleTexts(), std::vector<std::string>{"M0DT04000009 Musical information is wrong!"});
}

TEST(MidiF0Time, LengthNeedsNotesAndDeleteChannelRemovesItsEvents) {
    ScopedCapture cap;
    auto song = smallSong();
    EXPECT_EQ(song->lengthInTicks(), 144);
    EXPECT_EQ(song->deleteChannel(9), 1);
    EXPECT_EQ(notesOf(*song->track()).size(), 2u);
    song->toMidi();
    EXPECT_EQ(song->lengthInTicks(), 0);
    EXPECT_EQ(cap->visibleTexts(), std::vector<std::string>{"MDTK0D000001 MidiTrackData Internal Error"});
}

}  // namespace
}  // namespace tunecase

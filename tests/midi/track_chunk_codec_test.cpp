#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "base/reporter.h"
#include "midi/midi_messages.h"
#include "midi/midi_track_data.h"
#include "midi/smf_test_util.h"
#include "track_test_util.h"

namespace tunecase {
namespace {

using testing::chunk;
using testing::describe;
using testing::readChunk;

const std::vector<uint8_t> kEnd = {0x00, 0xFF, 0x2F, 0x00};

std::vector<uint8_t> body(std::vector<uint8_t> events, bool close = true) {
    if (close) events.insert(events.end(), kEnd.begin(), kEnd.end());
    return events;
}

TEST(TrackChunkRead, RunningStatusAndChannelMessages) {
    auto t = readChunk(chunk(body({0x00, 0x93, 60, 100, 0x10, 62, 90,  // two notes by running status
                                   0x00, 0xA3, 60, 5, 0x00, 0xB3, 7, 99, 0x00, 0xC3, 4, 0x00, 0xD3, 6,
                                   0x00, 0xE3, 0x01, 0x40, 0x05, 0x83, 60, 33})));
    ASSERT_EQ(t->state(), MidiTrackData::MidiEvents);
    EXPECT_EQ(describe(*t), "0:+60@3 16:+62@3 0:A5@3 0:C7=99@3 0:P4@3 0:D6@3 0:B8193@3 5:-60@3 0:E");
    const MidiEvent* second = t->event(1);
    EXPECT_EQ(std::vector<uint8_t>(second->getData(), second->getData() + second->length),
              (std::vector<uint8_t>{0x93, 62, 90}));
    EXPECT_EQ(t->event(7)->velocity, 33);
    EXPECT_EQ(t->event(8)->channel, 255);
}

TEST(TrackChunkRead, RepairsAndWarnings) {
    ScopedCapture cap;
    auto t = readChunk(chunk(body({0x00, 0x90, 60, 0,     // velocity 0: note off
                                   0x00, 0xC0, 0x05,
                                   0x00, 0xF5,            // not a status byte: running C0, program 245
                                   0x00, 0x90, 0x80, 50,  // key 128: repaired, warned once
                                   0x00, 0x80, 0x81, 50})));
    EXPECT_EQ(describe(*t), "0:-60 0:P5 0:P0 0:+0 0:-0 0:E");
    EXPECT_EQ(t->event(3)->velocity, 0);
    EXPECT_EQ(cap->visibleTexts(),
              (std::vector<std::string>{"MDTK0D00000C Wrong program change is modified to zero.",
                                        "MDTK0D000017 An internal error gave a note an invalid number; it was set to 0."}));
    cap->clear();
    auto again = readChunk(chunk(body({0x00, 0x90, 0x80, 50})));  // reading resets the flag
    EXPECT_EQ(cap->count(), 1u);
}

TEST(TrackChunkRead, SystemExclusiveRunsToItsF7) {
    // The length byte says 2, the message is longer; an F7 escape keeps its length.
    auto t = readChunk(chunk(body({0x00, 0xF0, 0x02, 0x7E, 0x7F, 0x09, 0x01, 0xF7,
                                   0x00, 0xF7, 0x02, 0x11, 0x22})));
    ASSERT_EQ(t->eventCount(), 3);
    const MidiEvent* s = t->event(0);
    EXPECT_EQ(std::vector<uint8_t>(s->getData(), s->getData() + s->length),
              (std::vector<uint8_t>{0xF0, 0x02, 0x7E, 0x7F, 0x09, 0x01, 0xF7}));
    EXPECT_EQ(s->type, sysex::GmSystemOn);
    const MidiEvent* x = t->event(1);
    EXPECT_EQ(x->status, ev::EscapedSysEx);
    EXPECT_EQ(std::vector<uint8_t>(x->getData(), x->getData() + x->length),
              (std::vector<uint8_t>{0xF7, 0x02, 0x11, 0x22}));
}

TEST(TrackChunkRead, MetaEvents) {
    ScopedCapture cap;
    std::vector<uint8_t> b = {0x00, 0xFF, 0x58, 0x04, 6, 3, 24, 8,       // 6/8
                              0x00, 0xFF, 0x58, 0x04, 0, 2, 24, 8,       // numerator 0
                              0x00, 0xFF, 0x51, 0x03, 0, 0, 0,           // tempo 0
                              0x00, 0xFF, 0x51, 0x09, 0x07, 0xA1, 0x20,  // length byte not checked
                              0x05, 0xFF, 0x21, 0x01, 0x00,              // port prefix: dropped
                              0x03, 0xFF, 0x09, 0x03, 'd', 'e', 'v',     // device name: stored as 4
                              0x00, 0xFF, 0x20, 0x01, 0x05,              // only the size is kept
                              0x00, 0xFF, 0x59, 0x02, 0xFD, 0x01,
                              0x00, 0xFF, 0x03, 0x81, 0x00};             // 128 bytes of name
    b.insert(b.end(), 128, 'n');
    auto t = readChunk(chunk(body(b)));
    EXPECT_EQ(describe(*t), "0:M88 0:M88 0:T500000 0:T500000 8:M4 0:M32 0:M89 0:M3 0:E");
    EXPECT_EQ(t->event(0)->value, 6 * 256 + 8);
    EXPECT_EQ(t->event(1)->value, 1028);
    EXPECT_EQ(t->event(1)->getData()[0], 4);
    EXPECT_EQ(t->event(1)->getData()[1], 2);
    EXPECT_EQ(t->event(4)->text(), "dev");
    EXPECT_EQ(t->event(5)->length, 1);
    EXPECT_EQ(t->event(5)->getData()[0], 0);
    EXPECT_EQ(t->event(7)->length, 128);
    EXPECT_EQ(cap->visibleTexts(), (std::vector<std::string>{"MDTK0D000027 Error occured in time sign!",
                                                             "MDTK0D000005 Tempo is wrong."}));
}

TEST(TrackChunkRead, BadChunksLeaveTheTrackEmpty) {
    ScopedCapture cap;
    auto wrongId = readChunk(chunk(body({}), "MThd"));
    EXPECT_EQ(wrongId->eventCount(), 0);
    auto shortData = chunk(body({0x00, 0x90, 60, 100}));
    shortData.pop_back();
    auto pastEnd = readChunk(shortData);
    EXPECT_EQ(pastEnd->eventCount(), 0);
    auto tooBig = readChunk(chunk(body({0x00, 0x90, 60, 100})), 12);
    EXPECT_EQ(tooBig->eventCount(), 0);
    const uint8_t tiny[3] = {'M', 'T', 'r'};
    MidiTrackData none(tiny, 3, 0, 0);
    EXPECT_EQ(cap->visibleTexts(), (std::vector<std::string>{"MDTK0D000007 This is not a midi file.",
                                                             "MDTK0D000001 MidiTrackData Internal Error",
                                                             "MDTK0D000006 Large data",
                                                             "MDTK0D000007 This is not a midi file."}));
    cap->clear();
    // A chunk further into the data, with another accepted identifier.
    std::vector<uint8_t> data = {1, 2, 3};
    auto xf = chunk(body({0x00, 0xFF, 0x01, 0x01, 'x'}), "XFKM");
    data.insert(data.end(), xf.begin(), xf.end());
    MidiTrackData at(data.data(), static_cast<int>(data.size()), 3, 2);
    EXPECT_EQ(describe(at), "0:M1 0:E");
    EXPECT_EQ(cap->count(), 0u);
    EXPECT_EQ(trackYieldDelay(), 2);  // reading sets the process-wide yield delay
    setTrackYieldDelay(0);
}

TEST(TrackChunkRead, HostileBytesStopTheReader) {
    ScopedCapture cap;
    auto noStatus = readChunk(chunk({0x00, 0xFF, 0x01, 0x01, 'x', 0x00, 0x40, 0x40, 0x00, 0x90, 60, 1}));
    EXPECT_EQ(describe(*noStatus), "0:M1");  // a data byte before any channel status ends the read
    auto noF7 = readChunk(chunk({0x00, 0x90, 60, 1, 0x00, 0xF0, 0x05, 0x01, 0x02}));
    EXPECT_EQ(describe(*noF7), "0:+60");
    auto endless = readChunk(chunk({0x81, 0x82, 0x83, 0x84, 0x85}));
    EXPECT_EQ(endless->eventCount(), 0);
    EXPECT_EQ(cap->visibleTexts(), (std::vector<std::string>{"MDTK0D000002 Undefined Midi Event",
                                                             "MDTK0D000001 MidiTrackData Internal Error",
                                                             "MDTK0D000001 MidiTrackData Internal Error"}));
    cap->clear();
    // Two-byte events by running status would outgrow the slots: the reader stops there.
    std::vector<uint8_t> programs = {0x00, 0xC0, 0x01};
    for (int i = 0; i < 20; ++i) programs.insert(programs.end(), {0x00, 0x02});
    auto full = readChunk(chunk(programs), 60);
    EXPECT_EQ(full->eventCount(), 20);
    EXPECT_EQ(cap->visibleTexts(), std::vector<std::string>{"MDTK0D000006 Large data"});
}

TEST(TrackChunkRead, EveryTruncationIsSafe) {
    std::vector<uint8_t> b = {0x00, 0x90, 60, 100, 0x81, 0x00, 0x80, 60, 64, 0x00, 0xF0, 0x03, 0x01, 0x02, 0xF7,
                              0x00, 0xF7, 0x02, 0x01, 0x02, 0x00, 0xFF, 0x03, 0x02, 'a', 'b',
                              0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20, 0x00, 0xE0, 0x00, 0x40};
    b = body(b);
    const int complete = readChunk(chunk(b))->eventCount();
    for (size_t cut = 0; cut < b.size(); ++cut) {
        ScopedCapture cap;
        auto t = readChunk(chunk(std::vector<uint8_t>(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(cut))));
        EXPECT_LT(t->eventCount(), complete);
        EXPECT_LE(cap->count(), 1u) << "cut " << cut;
    }
}

// ---- Writing -----------------------------------------------------------------------------------

TEST(TrackChunkWrite, WhatIsReadIsWrittenBack) {
    const std::vector<uint8_t> b = body(
        {0x00, 0xFF, 0x03, 0x04, 'S', 'o', 'n', 'g', 0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20, 0x00, 0xFF, 0x58,
         0x04, 0x03, 0x02, 0x18, 0x08, 0x00, 0xFF, 0x59, 0x02, 0x01, 0x00, 0x00, 0xFF, 0x20, 0x01, 0x00, 0x00,
         0xF0, 0x05, 0x7E, 0x7F, 0x09, 0x01, 0xF7, 0x00, 0xF7, 0x01, 0x33, 0x00, 0xC2, 0x05, 0x00, 0xB2, 0x07,
         0x64, 0x00, 0xE2, 0x00, 0x40, 0x00, 0xD2, 0x10, 0x00, 0xA2, 0x3C, 0x20, 0x00, 0x92, 0x3C, 0x50, 0x8C,
         0x9A, 0x40, 0x82, 0x3C, 0x40, 0xFF, 0xFF, 0x7F, 0x92, 0x3E, 0x50, 0x00, 0xFF, 0x7F, 0x02, 0x01, 0x02});
    const std::vector<uint8_t> original = chunk(b);
    auto t = readChunk(original);
    // A writer that trusts the bound keeps no copy for undoing an encode that stops short.
    EXPECT_GE(t->chunkSizeBound(), original.size());
    ASSERT_EQ(t->encodeChunk("MTrk"), static_cast<int>(original.size()));
    EXPECT_EQ(t->state(), MidiTrackData::BytesOnly);
    EXPECT_EQ(t->eventCount(), 0);
    EXPECT_EQ(std::vector<uint8_t>(t->bytes(), t->bytes() + t->byteLength()), original);
}

TEST(TrackChunkWrite, ASystemExclusiveLengthIsAlwaysThatOfTheBytesWritten) {
    if (!testing::haveMido()) GTEST_SKIP() << "python3-mido is not installed";
    testing::TempFolder dir;
    // Stored lengths too short (2), too long (40) and absent (F0 F7), a poly pressure whose
    // event moved to another channel, and a note, in a format 0 file.
    const std::vector<uint8_t> events = body({0x00, 0xF0, 0x02, 0x7E, 0x7F, 0x09, 0x01, 0xF7,  //
                                              0x00, 0xF0, 0x28, 0x41, 0x10, 0x42, 0xF7,         //
                                              0x00, 0xF0, 0xF7,                                 //
                                              0x00, 0xA3, 0x3C, 0x20,                           //
                                              0x00, 0x90, 0x3C, 0x64, 0x60, 0x80, 0x3C, 0x40});
    auto t = readChunk(chunk(events));
    ASSERT_EQ(t->eventCount(), 7);
    t->event(3)->channel = 5;
    ASSERT_GT(t->encodeChunk("MTrk"), 0);
    std::vector<uint8_t> file = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0, 96};
    file.insert(file.end(), t->bytes(), t->bytes() + t->byteLength());
    testing::writeFileBytes(dir.file("out.mid"), file);
    std::string out;
    ASSERT_EQ(testing::runCommand("/usr/bin/python3 -c 'import mido, sys\n"
                                  "for m in mido.MidiFile(sys.argv[1]).tracks[0]:\n"
                                  "    print(m.type, list(m.data) if m.type == \"sysex\" else getattr(m, \"channel\", \"\"))' '" +
                                      dir.file("out.mid") + "'",
                                  out),
              0)
        << out;
    EXPECT_EQ(out,
              "sysex [126, 127, 9, 1]\nsysex [65, 16, 66]\nsysex []\npolytouch 5\nnote_on 0\nnote_off 0\nend_of_track \n");
}

TEST(TrackChunkWrite, NotesRoundTripWithReleaseVelocity64) {
    auto t = testing::noteTrack({{0, 60, 96}, {0, 64, 48}, {48, 67, 48}, {48, 60, 1}});
    t->addNote(5, 0, 40, 33, 10);
    t->ensureEndOfTrack(20);
    const std::string notes = describe(*t);
    t->splitNotes();
    t->prepareForWriting();
    const int size = t->encodeChunk();
    ASSERT_GT(size, 8);
    auto back = readChunk(std::vector<uint8_t>(t->bytes(), t->bytes() + size));
    int offs = 0;
    for (const auto& e : back->events())
        if (e->status == ev::NoteOff) {
            EXPECT_EQ(e->velocity, 64);
            ++offs;
        }
    EXPECT_EQ(offs, 5);
    back->joinNotes();
    EXPECT_EQ(describe(*back), notes);
}

TEST(TrackChunkWrite, LongDeltasAndMetaLengths) {
    ScopedCapture cap;
    auto t = readChunk(chunk(body({})));
    auto add = [&](int delta, uint32_t type, int length) {
        auto e = std::make_unique<MidiEvent>(delta);
        e->status = ev::Meta;
        e->type = type;
        std::vector<uint8_t> text(static_cast<size_t>(length), 'q');
        e->setData(text.data(), length);
        t->insertEvent(t->eventCount() - 1, 2, std::move(e));
    };
    add(200000, meta::Text, 1);
    add(2097151, meta::Text, 1);
    add(2097152, meta::Text, 1);
    add(0, meta::InstrumentName, 200);  // written with a length quantity, readable again
    const int size = t->encodeChunk();
    const std::vector<uint8_t> bytes(t->bytes(), t->bytes() + size);
    const std::vector<uint8_t> head(bytes.begin() + 8, bytes.begin() + 8 + 18);
    EXPECT_EQ(head, (std::vector<uint8_t>{0x8C, 0x9A, 0x40, 0xFF, 0x01, 0x01, 'q', 0xFF, 0xFF, 0x7F, 0xFF, 0x01,
                                          0x01, 'q', 0x81, 0x80, 0x80, 0x00}));
    EXPECT_EQ(cap->visibleTexts(), std::vector<std::string>{"MDTK0D00000B The song contains an event that is too large."});
    auto back = readChunk(bytes);
    EXPECT_EQ(describe(*back), "200000:M1 2097151:M1 2097152:M1 0:M4 0:E");
    EXPECT_EQ(back->event(3)->length, 200);
}

TEST(TrackChunkWrite, RefusesWithoutEndOfTrackAndSkipsBadChannels) {
    ScopedCapture cap;
    auto open = readChunk(chunk({0x00, 0x90, 60, 100}));
    EXPECT_EQ(open->encodeChunk(), 0);
    EXPECT_EQ(open->state(), MidiTrackData::MidiEvents);
    EXPECT_EQ(cap->visibleTexts(), std::vector<std::string>{"MDTK0D000001 MidiTrackData Internal Error"});
    cap->clear();
    auto t = readChunk(chunk(body({0x05, 0x90, 60, 100, 0x07, 0x80, 60, 64})));
    t->event(0)->channel = 16;
    t->event(1)->channel = 16;
    const int size = t->encodeChunk();
    EXPECT_EQ(std::vector<uint8_t>(t->bytes() + 8, t->bytes() + size), (std::vector<uint8_t>{0x0C, 0xFF, 0x2F, 0x00}));
    EXPECT_EQ(cap->visibleTexts(), std::vector<std::string>(2, "MDTK0D000003 Chanel is wrong"));
}

TEST(TrackChunkWrite, StopsShortOfTheCapacityWithAWellFormedChunk) {
    ScopedCapture cap;
    MidiTrackData t(900, MidiTrackData::NoteEvents);
    for (int i = 0; i < 140; ++i) t.addNote(0, 10, 60, 100, 5);
    t.ensureEndOfTrack(10);
    t.splitNotes();
    const int size = t.encodeChunk();
    EXPECT_EQ(cap->visibleTexts(), std::vector<std::string>{"MDTK0D00001A Can not add data!"});
    EXPECT_LE(size, 900 - 256 + 4);
    const std::vector<uint8_t> bytes(t.bytes(), t.bytes() + size);
    EXPECT_EQ(std::vector<uint8_t>(bytes.end() - 3, bytes.end()), (std::vector<uint8_t>{0xFF, 0x2F, 0x00}));
    cap->clear();
    auto back = readChunk(bytes);
    EXPECT_EQ(cap->count(), 0u);
    back->joinNotes();
    EXPECT_GT(back->eventCount(), 50);
}

// ---- Files written by another program ---------------------------------------------------------

// Every track chunk of a file (after the 14-byte header), as its position in the file.
std::vector<int> chunkPositions(const std::vector<uint8_t>& file) {
    std::vector<int> at;
    for (size_t p = 14; p + 8 <= file.size();) {
        at.push_back(static_cast<int>(p));
        const size_t length =
            (size_t{file[p + 4]} << 24) | (size_t{file[p + 5]} << 16) | (size_t{file[p + 6]} << 8) | file[p + 7];
        p += 8 + length;
    }
    return at;
}

// Each event as text with its stored bytes, which describe() leaves out.
std::vector<std::string> eventsWithBytes(const MidiTrackData& t) {
    std::vector<std::string> out;
    for (const auto& e : t.events()) {
        std::string s = std::to_string(e->status) + "/" + std::to_string(e->type) + ":";
        if (e->status == ev::SysEx || e->status == ev::EscapedSysEx || e->status == ev::Meta)
            for (int i = 0; i < e->length; ++i) s += " " + std::to_string(e->getData()[i]);
        out.push_back(s);
    }
    return out;
}

TEST(TrackChunkCorpus, EveryChunkOfEveryFileReadsBackAsWrittenAndWritesTheSameBytesAgain) {
    int chunks = 0;
    for (const auto& entry : std::filesystem::directory_iterator(testing::midiDataFolder())) {
        if (entry.path().extension() != ".mid") continue;
        const std::vector<uint8_t> file = testing::readFileBytes(entry.path().string());
        for (int position : chunkPositions(file)) {
            SCOPED_TRACE(entry.path().filename().string() + " chunk at " + std::to_string(position));
            ++chunks;
            ScopedCapture cap;
            MidiTrackData read(file.data(), static_cast<int>(file.size()), position, 0);
            ASSERT_GT(read.eventCount(), 1);
            const std::string events = describe(read);
            const auto withBytes = eventsWithBytes(read);
            const int size = read.encodeChunk();
            ASSERT_GT(size, 8);
            const std::vector<uint8_t> written(read.bytes(), read.bytes() + size);

            auto back = readChunk(written);
            EXPECT_EQ(describe(*back), events);
            EXPECT_EQ(eventsWithBytes(*back), withBytes);
            ASSERT_EQ(back->encodeChunk(), size);
            EXPECT_EQ(std::vector<uint8_t>(back->bytes(), back->bytes() + size), written);
            EXPECT_TRUE(cap->visibleTexts().empty());
        }
    }
    EXPECT_GE(chunks, 13);
}

}  // namespace
}  // namespace tunecase

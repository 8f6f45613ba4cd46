// Song-data files are built here byte by byte at literal offsets, so a wrong layout constant
// in the reader shows up as a wrong value rather than agreeing with itself.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "base/reporter.h"
#include "songs/song_data.h"
#include "support/test_support.h"

namespace tunecase {
namespace {

using Bytes = std::vector<uint8_t>;

void put32(Bytes& b, size_t at, int32_t v) {
    for (int i = 0; i < 4; ++i) b[at + static_cast<size_t>(i)] = static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * i));
}
void put16(Bytes& b, size_t at, int v) {
    b[at] = static_cast<uint8_t>(v);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
}
void putText(Bytes& b, size_t at, const std::string& s) { std::memcpy(b.data() + at, s.data(), s.size()); }

// A current-layout file: every note record [-2, -2, -3], measures/beats/key at 90432, a
// title and tempo in the information block at 90112.
Bytes currentFile(size_t size, int measures, int beats, int key) {
    Bytes b(size, 0);
    for (size_t r = 0; r < 2048; ++r) {
        const size_t at = 16384 + r * 36;
        if (at + 12 > size) break;
        put32(b, at, -2);
        put32(b, at + 4, -2);
        put32(b, at + 8, -3);
    }
    if (size >= 90444) {
        put32(b, 90112 + 200, 100);  // tempo
        put32(b, 90112 + 204, 5);    // program
        putText(b, 90112 + 289, "Old Song");
        put32(b, 90432, measures);
        put16(b, 90436, beats);
        put16(b, 90438, 1);  // mode
        put32(b, 90440, key);
    }
    return b;
}

std::unique_ptr<CSongData> load(const Bytes& b, int mode = 0) {
    int m = 0, beats = 0, key = 0;
    // An exactly sized copy, so a read past the end is a read past the allocation.
    auto exact = std::make_unique<uint8_t[]>(b.size() ? b.size() : 1);
    if (!b.empty()) std::memcpy(exact.get(), b.data(), b.size());
    return CSongData::fromFileBytes(exact.get(), b.size(), m, beats, key, mode);
}

TEST(SongDataLayout, ByteTableAndExtensionPresenceFollowsTheFileSize) {
    Bytes full = currentFile(121880, 8, 3, 16);
    full[92492 + 5] = 7;            // table B, beat 5
    full[93516 + 5] = 4;            // table C, beat 5
    full[94540] = 0xAB;             // extension block 1
    full[121879] = 0xCD;            // end of extension block 3
    putText(full, 90444, "notes");  // song text A
    put32(full, 16384 + 10 * 36, 64);

    ScopedCapture capture;
    auto song = load(full);
    EXPECT_EQ(song->measures(), 8);
    EXPECT_EQ(song->beatsPerMeasure(), 3);
    EXPECT_EQ(song->keyName(), "Em");
    EXPECT_EQ(song->tempo(), 100);
    EXPECT_EQ(song->program(), 5);
    EXPECT_EQ(song->title(), "Old Song");
    EXPECT_EQ(song->songText(), "notes");
    EXPECT_EQ(song->tableB(5), 7);
    EXPECT_EQ(song->tableC(5), 4);
    EXPECT_EQ(song->image()[94540], 0xAB);
    EXPECT_EQ(song->image()[121879], 0xCD);
    EXPECT_EQ(song->lowestNote(), 64);
    EXPECT_EQ(song->toBytes(), full);  // nothing to repair: written back byte for byte

    // The same content cut to 92,492 bytes: song text kept, tables and extensions empty.
    Bytes cut(full.begin(), full.begin() + 92492);
    auto old = load(cut);
    EXPECT_EQ(old->songText(), "notes");
    EXPECT_EQ(old->keyName(), "Em");
    for (int beat = 0; beat < 1024; ++beat) {
        ASSERT_EQ(old->tableB(beat), 0);
        ASSERT_EQ(old->tableC(beat), 0);
    }
    for (size_t i = 94540; i < 121880; ++i) ASSERT_EQ(old->image()[i], 0) << i;
    // 90,444 bytes: no song text either.
    auto older = load(Bytes(full.begin(), full.begin() + 90444));
    EXPECT_EQ(older->songText(), "");
    EXPECT_EQ(older->measures(), 8);
    EXPECT_TRUE(capture->reports().empty());
}

TEST(SongDataLayout, OldKindsWidenTheirRecords) {
    // 32,780 bytes: 8-byte chord records, 12-byte note records, then measures/beats/key.
    Bytes shortKind(32780, 0);
    putText(shortKind, 3 * 8, "G7");
    put32(shortKind, 8192 + 5 * 12, 67);
    putText(shortKind, 8192 + 5 * 12 + 4, "\x01");
    put32(shortKind, 32768, 2);
    put16(shortKind, 32772, 4);
    put32(shortKind, 32776, 1);
    auto a = load(shortKind);
    EXPECT_EQ(a->measures(), 2);
    EXPECT_EQ(a->keyName(), "G ");
    EXPECT_EQ(a->chordName(3), "G7");
    EXPECT_EQ(a->secondChordName(3), "");
    NoteRecord r = a->noteRecord(5);
    EXPECT_EQ(r.value[0], 67);
    EXPECT_EQ(r.value[1], -2);
    EXPECT_EQ(r.value[2], -3);
    EXPECT_TRUE(r.melody(0));
    EXPECT_EQ(a->tempo(), 120);  // no information block: a new song's

    // 81,932 bytes: 8-byte chord records, full note records at 8192, measures at 81920.
    Bytes narrow(81932, 0);
    for (size_t r = 0; r < 2048; ++r) {
        put32(narrow, 8192 + r * 36, -2);
        put32(narrow, 8192 + r * 36 + 4, -2);
        put32(narrow, 8192 + r * 36 + 8, -3);
    }
    putText(narrow, 0, "Am");
    put32(narrow, 8192 + 36 * 3, 57);
    put32(narrow, 8192 + 36 * 3 + 4, 60);
    put32(narrow, 8192 + 36 * 3 + 8, 64);
    put32(narrow, 81920, 3);
    put16(narrow, 81924, 2);
    put32(narrow, 81928, 15);
    auto b = load(narrow);
    EXPECT_EQ(b->measures(), 3);
    EXPECT_EQ(b->beatsPerMeasure(), 2);
    EXPECT_EQ(b->keyName(), "Am");
    EXPECT_EQ(b->chordName(0), "Am");
    EXPECT_EQ(b->noteRecord(3).positions(), 3);
    EXPECT_EQ(b->lowestNote(), 57);
    EXPECT_EQ(b->highestNote(), 64);
}

TEST(SongDataLayout, TruncatedFilesKeepWhatTheyCoverAndNeverReadPastTheEnd) {
    const Bytes full = currentFile(121880, 4, 4, 0);
    ScopedCapture capture;
    for (size_t size : {size_t{0}, size_t{1}, size_t{12}, size_t{16383}, size_t{16384}, size_t{90111},
                        size_t{90443}, size_t{90445}, size_t{94539}, size_t{99208}, size_t{121879}}) {
        auto song = load(Bytes(full.begin(), full.begin() + static_cast<long>(size)));
        if (size < 90444) {
            // Measures and beats are not covered: the meter check replaces the song.
            EXPECT_FALSE(song->isLoaded()) << size;
            EXPECT_EQ(song->beatsPerMeasure(), 4);
        } else {
            EXPECT_TRUE(song->isLoaded()) << size;
            EXPECT_EQ(song->tempo(), 100) << size;
        }
    }
}

TEST(SongDataRepairs, InformationBlockValues) {
    Bytes b = currentFile(94540, 2, 4, 3);
    put32(b, 90112 + 200, 300);
    put32(b, 90112 + 204, 128);
    put32(b, 90112 + 192, static_cast<int32_t>(0xFEEEFEEE));
    put32(b, 90112 + 196, static_cast<int32_t>(0xFEEEFEEE));
    b[90112 + 64] = 0xDD;
    put32(b, 90112 + 212, 77);  // carried unchanged
    auto song = load(b);
    EXPECT_EQ(song->tempo(), 80);
    EXPECT_EQ(song->program(), 0);
    EXPECT_EQ(song->infoValue(192), 0);
    EXPECT_EQ(song->infoValue(196), 1);
    EXPECT_EQ(song->informationBlock()[64], 0);
    EXPECT_EQ(song->infoValue(212), 77);

    put32(b, 90112 + 200, 39);
    EXPECT_EQ(load(b)->tempo(), 80);
    put32(b, 90112 + 200, 240);
    EXPECT_EQ(load(b)->tempo(), 240);
}

TEST(SongDataRepairs, ModeMeasuresFallbackAndGridBounds) {
    Bytes b = currentFile(94540, 0, 4, 0);
    put16(b, 90438, 0);
    put32(b, 90112, 5);       // measures, beats and key in the information block
    put16(b, 90112 + 4, 3);
    put32(b, 90112 + 8, 25);  // Cm
    int m = 0, beats = 0, key = 0, mode = 0;
    auto song = CSongData::fromFileBytes(b.data(), b.size(), m, beats, key, mode);
    EXPECT_EQ(m, 5);
    EXPECT_EQ(beats, 3);
    EXPECT_EQ(key, 25);
    EXPECT_EQ(mode, 1);  // 0 stored counts as 1
    EXPECT_EQ(song->keyName(), "Cm");
    mode = 2;
    CSongData::fromFileBytes(b.data(), b.size(), m, beats, key, mode);
    EXPECT_EQ(mode, 2);

    // More measures than the grid holds, and a key outside the table.
    Bytes huge = currentFile(94540, 100000, 3, 31);
    auto big = load(huge);
    EXPECT_EQ(big->measures(), 341);
    EXPECT_EQ(big->beatCount(), 1023);
    EXPECT_EQ(big->keyIndex(), 0);
}

TEST(SongDataRepairs, ChordNamesLyricsAndSongText) {
    Bytes b = currentFile(94540, 1, 4, 0);
    putText(b, 0 * 16, "C9");
    putText(b, 1 * 16, "F#9");
    putText(b, 2 * 16, "Cm9\0\0\0");
    putText(b, 3 * 16, "Cadd9");
    putText(b, 4 * 16, "D9");  // beyond the song's 4 beats: left alone
    b[3 * 16 + 12] = 205;      // a short name of 205 counts as empty
    putText(b, 2 * 16 + 12, "G7");
    // Lyrics: a stream over the negative slots, zero bytes ending lines. Record 0 has three
    // negative positions, record 1 a note in position 0 (its slot is not lyrics).
    putText(b, 16384 + 12, "Twin-kle");
    putText(b, 16384 + 20, " star");  // the zero after "star" ends line 1
    putText(b, 16384 + 28, "Up");
    put32(b, 16384 + 36, 60);
    putText(b, 16384 + 36 + 12, "\x01xyz");
    putText(b, 16384 + 36 + 20, "so");
    putText(b, 16384 + 36 + 28, "\0\0\0\0\0\0\0\0");
    putText(b, 16384 + 2 * 36 + 12, "never");  // after the twelfth line: not taken
    putText(b, 90444, "  Hello \x81\x40  world \r\n  next\x81\x40 ");

    auto song = load(b);
    EXPECT_EQ(song->chordName(0), "Cadd9");
    EXPECT_EQ(song->chordName(1), "F#add9");
    EXPECT_EQ(song->chordName(2), "Cmadd9");
    EXPECT_EQ(song->chordName(3), "Cadd9");
    EXPECT_EQ(song->chordName(4), "D9");
    EXPECT_EQ(song->secondChordName(3), "");
    EXPECT_EQ(song->secondChordName(2), "G7");

    // Every zero byte ends a line: " star" ends line 1 and two empty lines follow.
    const std::vector<std::string> lines{"Twin-kle star", "", "", "Up", "", "", "", "", "", "so", "", ""};
    for (size_t i = 0; i < 12; ++i) EXPECT_EQ(song->lyricLine(static_cast<int>(i)), lines[i]) << i;
    EXPECT_EQ(song->noteRecord(0).slot[0][0], 0);  // taken bytes are cleared
    EXPECT_EQ(std::string(song->noteRecord(1).slot[0], 4), "\x01xyz");
    EXPECT_EQ(std::string(song->noteRecord(2).slot[0], 5), "never");

    EXPECT_EQ(song->songText(), "Hello world\r\n next");

    // Written back, the lines return to the negative slots and read the same.
    auto again = load(song->toBytes());
    for (int i = 0; i < 12; ++i) EXPECT_EQ(again->lyricLine(i), song->lyricLine(i));
}

TEST(SongDataMeter, ZeroBeatsGiveANewFourFourSongAfterTwoMessages) {
    ScopedCapture capture;
    int m = 0, beats = 0, key = 0, mode = 0;
    Bytes b = currentFile(92492, 6, 0, 5);
    auto song = CSongData::fromFileBytes(b.data(), b.size(), m, beats, key, mode);
    EXPECT_EQ(capture->visibleTexts(), (std::vector<std::string>{"[0]", "time sign 0"}));
    EXPECT_EQ(m, 4);
    EXPECT_EQ(beats, 4);
    EXPECT_EQ(key, 0);
    EXPECT_EQ(mode, 0);
    EXPECT_EQ(song->measures(), 4);
    EXPECT_EQ(song->beatsPerMeasure(), 4);
    EXPECT_EQ(song->title(), "");
    EXPECT_EQ(song->tempo(), 120);

    capture->clear();
    put16(b, 90436, 9);
    load(b);
    EXPECT_EQ(capture->visibleTexts(), (std::vector<std::string>{"[9]", "time sign 0"}));
}

TEST(SongDataPath, MissingFileGivesTheRequestedNewSong) {
    testing::TempFolder folder;
    ScopedCapture capture;
    int m = 3, beats = 3, key = 17, mode = 0;
    CSongData song(folder.file("none.mwd"), m, beats, key, mode);
    EXPECT_TRUE(capture->reports().empty());
    EXPECT_FALSE(song.isLoaded());
    EXPECT_EQ(song.measures(), 3);
    EXPECT_EQ(song.beatsPerMeasure(), 3);
    EXPECT_EQ(song.keyName(), "Bm");
    EXPECT_EQ(song.path(), folder.file("none.mwd"));
    // Each measure starts as one long rest; beats past the song have no chord.
    for (int beat = 0; beat < 1024; ++beat) {
        NoteRecord first = song.noteRecord(beat, 0);
        ASSERT_EQ(first.value[0], beat % 3 == 0 ? -1 : -2) << beat;
        ASSERT_EQ(song.noteRecord(beat, 1).value[0], -2);
        ASSERT_EQ(first.value[2], -3);
        ASSERT_EQ(song.chordName(beat), beat < 9 ? "" : "----") << beat;
    }
    EXPECT_EQ(song.lowestNote(), -1);

    // A file that exists is read, whatever was asked for.
    Bytes b = currentFile(121880, 2, 2, 8);
    testing::writeFileBytes(folder.file("two.mwd"), b);
    CSongData read(folder.file("two.mwd"), m, beats, key, mode);
    EXPECT_EQ(m, 2);
    EXPECT_EQ(beats, 2);
    EXPECT_EQ(key, 8);
    EXPECT_EQ(read.keyName(), "F ");
    EXPECT_EQ(read.title(), "Old Song");
}

TEST(SongDataDownload, AcceptedSizesAndBoundedExtensionBlocks) {
    ScopedCapture capture;
    Bytes odd = currentFile(93000, 2, 4, 0);
    CSongData refused(odd.data(), odd.size());
    ASSERT_EQ(capture->visibleTexts(),
              std::vector<std::string>{"SGDT00000004 This song data is in an old format and cannot be used here."});
    EXPECT_FALSE(refused.isLoaded());
    EXPECT_EQ(refused.title(), "");

    capture->clear();
    Bytes small = currentFile(92492, 2, 4, 0);
    EXPECT_TRUE(CSongData(small.data(), small.size()).isLoaded());

    // 99,208 bytes carry the extension blocks as far as the data goes, and no further.
    Bytes full = currentFile(121880, 2, 4, 0);
    for (size_t i = 94540; i < 121880; ++i) full[i] = static_cast<uint8_t>(i % 251 + 1);
    auto exact = std::make_unique<uint8_t[]>(99208);
    std::memcpy(exact.get(), full.data(), 99208);
    CSongData mid(exact.get(), 99208);
    EXPECT_TRUE(mid.isLoaded());
    for (size_t i = 94540; i < 121880; ++i) ASSERT_EQ(mid.image()[i], i < 99208 ? full[i] : 0) << i;
    // Other sizes above 94,540 take tables B and C but no extension blocks.
    CSongData other(full.data(), 99000);
    EXPECT_EQ(other.image()[94540], 0);
    EXPECT_TRUE(capture->reports().empty());
}

TEST(SongDataWrite, BuiltSongSurvivesSaveAndReadFieldByField) {
    CSongData song;
    song.newSong(2, 3, 0, 0);
    ASSERT_TRUE(song.setTitle("\x83\x65\x83\x58\x83\x67 song"));  // CP932 bytes, kept as they are
    ASSERT_FALSE(song.setTitle(std::string(31, 'x')));
    ASSERT_TRUE(song.setKey(20));
    ASSERT_TRUE(song.setMeasures(5));
    ASSERT_FALSE(song.setMeasures(400));  // 1,200 beats
    song.setTempo(132);
    song.setProgram(11);
    ASSERT_TRUE(song.setSongText("about this song"));
    NoteRecord triplet;
    triplet.value[0] = 72;
    triplet.value[1] = 74;
    triplet.value[2] = 76;
    for (int p = 0; p < 3; ++p) triplet.slot[p][0] = 1;
    ASSERT_TRUE(song.setNoteRecord(0, 0, triplet));
    NoteRecord low;
    low.value[0] = 55;
    ASSERT_TRUE(song.setNoteRecord(14, 1, low));
    ASSERT_TRUE(song.setMelodyFlag(29, 0, true));
    ASSERT_TRUE(song.setChordName(0, "G#m7"));
    ASSERT_TRUE(song.setSecondChordName(0, "D#7"));
    ASSERT_FALSE(song.setSecondChordName(1, "C#m7b5"));
    ASSERT_TRUE(song.setBassValues(4, 7, 4));
    ASSERT_TRUE(song.setLyricLine(0, "la la"));
    ASSERT_TRUE(song.setLyricLine(3, "\xe3\x81\x82"));
    ASSERT_TRUE(song.lyricsFit());
    song.setMode(1);  // a stored 0 reads as 1

    testing::TempFolder folder;
    const std::string path = folder.file("built.mwd");
    ASSERT_TRUE(song.saveFile(path));
    ASSERT_EQ(testing::readFileBytes(path).size(), 121880u);

    int m = 0, beats = 0, key = 0, mode = 0;
    ScopedCapture capture;
    CSongData back(path, m, beats, key, mode);
    EXPECT_TRUE(capture->reports().empty());
    EXPECT_EQ(back.title(), song.title());
    EXPECT_EQ(back.keyName(), "G#m");
    EXPECT_EQ(back.measures(), 5);
    EXPECT_EQ(back.beatsPerMeasure(), 3);
    EXPECT_EQ(back.tempo(), 132);
    EXPECT_EQ(back.program(), 11);
    EXPECT_EQ(back.songText(), "about this song");
    EXPECT_EQ(back.lowestNote(), 55);
    EXPECT_EQ(back.highestNote(), 76);
    for (int beat = 0; beat < 1024; ++beat) {
        ASSERT_EQ(back.chordName(beat), song.chordName(beat)) << beat;
        ASSERT_EQ(back.secondChordName(beat), song.secondChordName(beat)) << beat;
        ASSERT_EQ(back.tableB(beat), song.tableB(beat)) << beat;
        ASSERT_EQ(back.tableC(beat), song.tableC(beat)) << beat;
        for (int half = 0; half < 2; ++half) {
            const NoteRecord a = song.noteRecord(beat, half), c = back.noteRecord(beat, half);
            for (int p = 0; p < 3; ++p) {
                ASSERT_EQ(a.value[p], c.value[p]);
                ASSERT_EQ(a.melody(p), c.melody(p)) << beat << " " << half << " " << p;
            }
        }
    }
    for (int i = 0; i < 12; ++i) EXPECT_EQ(back.lyricLine(i), song.lyricLine(i));
    EXPECT_EQ(back.toBytes(), song.toBytes());
}

TEST(SongDataCopy, MeasureRangeTakesItsBeatsAndTheOtherSongsSettings) {
    CSongData song;
    song.newSong(6, 2, 4, 0);
    song.setTitle("Whole");
    for (int beat = 0; beat < 12; ++beat) {
        song.setChordName(beat, "C" + std::to_string(beat));
        song.setTableB(beat, static_cast<uint8_t>(beat));
        NoteRecord r;
        r.value[0] = beat == 4 ? -2 : 60 + beat;
        song.setNoteRecord(beat, 0, r);
    }
    CSongData part(song, 2, 5);
    EXPECT_EQ(part.measures(), 3);
    EXPECT_EQ(part.beatsPerMeasure(), 2);
    EXPECT_EQ(part.keyName(), "E ");
    EXPECT_EQ(part.title(), "Whole");
    EXPECT_EQ(part.noteRecord(0, 0).value[0], -1);  // began with a held note
    for (int beat = 1; beat < 6; ++beat) {
        EXPECT_EQ(part.chordName(beat), "C" + std::to_string(beat + 4));
        EXPECT_EQ(part.tableB(beat), beat + 4);
        EXPECT_EQ(part.noteRecord(beat, 0).value[0], 64 + beat);
    }
    EXPECT_EQ(part.chordName(6), "----");
    EXPECT_EQ(part.lowestNote(), 65);
    EXPECT_EQ(part.highestNote(), 69);
}

// tunecase-cli info reads song-data files by their extension, in any case, and its JSON is
// valid UTF-8 whatever bytes a title holds (python decodes it strictly).
TEST(SongDataInfo, JsonShowsEveryTitleAsUtf8) {
    testing::TempFolder dir;
    const std::pair<std::string, std::string> titles[] = {
        {"\x83\x65\x83\x58\x83\x67", "\xE3\x83\x86\xE3\x82\xB9\xE3\x83\x88"},  // CP932 "テスト"
        {"Fr\xC3\xA8re", "Fr\xC3\xA8re"},                                           // UTF-8 as it is
        {"\xFF\xFE bad", " bad"},                                                     // neither
    };
    int n = 0;
    for (const auto& [stored, shown] : titles) {
        CSongData song;
        song.newSong(3, 3, 15, 0);
        ASSERT_TRUE(song.setTitle(stored));
        song.setTempo(96);
        ASSERT_TRUE(song.setLyricLine(0, stored));
        NoteRecord r;
        r.value[0] = 81;
        song.setNoteRecord(4, 1, r);
        const std::string path = dir.file("song" + std::to_string(n++) + ".MWD");
        ASSERT_TRUE(song.saveFile(path));
        std::string out;
        ASSERT_EQ(testing::runCommand(std::string(TUNECASE_CLI) + " info --json '" + path +
                                          "' | python3 -c 'import json,sys; j = json.loads(sys.stdin.buffer.read()"
                                          ".decode(\"utf-8\")); print(j[\"title\"], j[\"lyrics\"][0], j[\"measures\"], "
                                          "j[\"beatsPerMeasure\"], j[\"key\"], j[\"tempo\"], j[\"lowestNote\"])'",
                                      out),
                  0)
            << out;
        EXPECT_NE(out.find(shown), std::string::npos) << out;
        EXPECT_NE(out.find(" 3 3 Am 96 81\n"), std::string::npos) << out;
    }
}

}  // namespace
}  // namespace tunecase

// tunecase-cli info and convert, run as a user would: output, exit status and the exact
// message texts on stderr; converted files are read back by an outside reader.
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>

#include "midi/smf_test_util.h"

namespace tunecase {
namespace {

using testing::runCommand;

std::string cli() { return TUNECASE_CLI; }
std::string data(const std::string& name) { return testing::midiDataFolder() + "/" + name; }

TEST(CliInfo, ReportsTracksNotesAndTheMergedSong) {
    std::string out;
    ASSERT_EQ(runCommand(cli() + " info --json '" + data("mido_three_tracks.mid") + "'", out), 0) << out;
    const auto info = nlohmann::json::parse(out);
    EXPECT_EQ(info["format"], 1);
    EXPECT_EQ(info["tracks"], 3);
    EXPECT_EQ(info["division"], 480);
    EXPECT_EQ(info["trackInfo"][2], nlohmann::json::parse(R"({"index": 2, "events": 130, "notes": 64})"));
    EXPECT_EQ(info["merged"], nlohmann::json::parse(R"({"notes": 154, "lengthTicks": 15180})"));

    ASSERT_EQ(runCommand(cli() + " info '" + data("mido_format0_melody.mid") + "'", out), 0) << out;
    EXPECT_NE(out.find("format:   0\ntracks:   1\ndivision: 96\ntrack  0: 28 events, 11 notes\nmerged:   11 notes, 864 ticks"),
              std::string::npos)
        << out;
}

TEST(CliInfo, JsonIsValidUtf8WhateverTheFileNameBytes) {
    testing::TempFolder dir;
    // A Shift-JIS name ("曲.mid") and a name with a byte that is neither UTF-8 nor Shift-JIS.
    for (const std::string name : {std::string("\x8B\xC8.mid"), std::string("bad\xFF\\\"q.mid")}) {
        const std::string path = dir.file(name);
        std::filesystem::copy_file(data("mido_format0_melody.mid"), path);
        std::string out;
        ASSERT_EQ(runCommand(cli() + " info --json '" + path + "' | python3 -c 'import json,sys; "
                                     "f = json.loads(sys.stdin.buffer.read().decode(\"utf-8\"))[\"file\"]; "
                                     "sys.stdout.buffer.write(f.encode(\"utf-8\"))'",
                             out),
                  0)
            << out;
        EXPECT_NE(out.find(name[0] == 'b' ? "bad" : "\xE6\x9B\xB2.mid"), std::string::npos) << out;
    }
}

TEST(CliOptions, GnuFormsAndErrorsComeFromTheDeclaration) {
    testing::TempFolder dir;
    std::string out;
    EXPECT_EQ(runCommand(cli() + " prepare --plate=262 -- '" + data("mido_format0_melody.mid") + "' '" +
                             dir.file("p.mid") + "'",
                         out),
              0)
        << out;
    EXPECT_NE(out.find("Small Disk"), std::string::npos) << out;
    EXPECT_EQ(runCommand(cli() + " play --bogus x.mid 2>&1 >/dev/null", out), 2);
    EXPECT_NE(out.find("--bogus"), std::string::npos) << out;
    EXPECT_EQ(runCommand(cli() + " render --help", out), 0);
    EXPECT_NE(out.find("--soundfont"), std::string::npos) << out;
}

TEST(CliInfo, BrokenFilesFailWithTheReadersMessage) {
    std::string err;
    EXPECT_EQ(runCommand(cli() + " info '" + data("broken/format2.mid") + "' 2>&1 >/dev/null", err), 1);
    EXPECT_EQ(err, "M1DT03000002 This file is not format 1 of midi.\n");
    EXPECT_EQ(runCommand(cli() + " info '" + data("broken/empty.mid") + "' 2>&1 >/dev/null", err), 1);
    EXPECT_EQ(err, "M1DT03000004 This is not Midi file!\n");
    EXPECT_EQ(runCommand(cli() + " info 2>&1 >/dev/null", err), 2);
}

TEST(CliConvert, FailsWithTheExactMessageAndWritesNothing) {
    testing::TempFolder dir;
    std::string err;
    EXPECT_EQ(runCommand(cli() + " convert '" + data("broken/zero_division.mid") + "' '" + dir.file("o.mid") +
                             "' 2>&1 >/dev/null",
                         err),
              1);
    EXPECT_EQ(err, "M0DT04000009 Musical information is wrong!\n");
    EXPECT_FALSE(std::filesystem::exists(dir.file("o.mid")));
    EXPECT_EQ(runCommand(cli() + " convert '" + data("broken/truncated_chunk.mid") + "' '" + dir.file("o.mid") +
                             "' 2>&1 >/dev/null",
                         err),
              1);
    EXPECT_EQ(err, "MDTK0D000001 MidiTrackData Internal Error\n");
    EXPECT_EQ(runCommand(cli() + " convert '" + data("mido_format0_melody.mid") + "' /nonexistent-dir/o.mid 2>&1 >/dev/null", err), 1);
    EXPECT_EQ(err, "M0DT04000002 Can not open the file! [/nonexistent-dir/o.mid: No such file or directory]\n");
}

TEST(CliConvert, FormatZeroAndSplitFormatOneKeepEveryNote) {
    if (!testing::haveMido()) GTEST_SKIP() << "python3-mido is not installed";
    testing::TempFolder dir;
    for (const char* name : {"mido_three_tracks.mid", "mido_format0_melody.mid", "mido_eight_parts.mid"}) {
        SCOPED_TRACE(name);
        const auto expected = testing::midoNotes(data(name));
        std::string out, header;
        ASSERT_EQ(runCommand(cli() + " convert '" + data(name) + "' '" + dir.file("f0.mid") + "'", out), 0) << out;
        EXPECT_EQ(testing::midoNotes(dir.file("f0.mid"), &header), expected);
        EXPECT_EQ(header.rfind("type 0 tracks 1", 0), 0u) << header;
        ASSERT_EQ(runCommand(cli() + " convert --format1 '" + data(name) + "' '" + dir.file("f1.mid") + "'", out), 0) << out;
        EXPECT_EQ(testing::midoNotes(dir.file("f1.mid"), &header), expected);
        EXPECT_EQ(header.rfind("type 1 tracks 17", 0), 0u) << header;
        // midicsv reads both without complaint.
        EXPECT_EQ(runCommand("midicsv '" + dir.file("f1.mid") + "' >/dev/null", out), 0) << out;
        EXPECT_EQ(runCommand("midicsv '" + dir.file("f0.mid") + "' >/dev/null", out), 0) << out;
    }
}

}  // namespace
}  // namespace tunecase

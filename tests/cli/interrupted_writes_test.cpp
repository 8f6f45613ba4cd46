// Every command that writes a file, run with a file size limit as a disk about to fill: killed
// part-way (the limit's signal), or told "File too large" (the signal ignored), it leaves the
// file that was already there byte for byte, and a failure it lives through leaves no
// temporary file either.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "midi/smf_test_util.h"
#include "support/test_support.h"

namespace tunecase {
namespace {

namespace fs = std::filesystem;
using testing::runCommand;

std::string cli() { return TUNECASE_CLI; }
std::string data(const std::string& name) { return testing::midiDataFolder() + "/" + name; }
std::string quoted(const std::string& path) { return "'" + path + "'"; }

struct Writer {
    const char* name;
    std::string command;  // OUT stands for the file written
    std::string out;      // its name in the scratch folder
};

TEST(CliInterruptedWrites, AFullDiskOrAKillLeavesTheOldFileAsItWas) {
    const std::string song = quoted(data("mido_eight_parts.mid"));
    const std::vector<Writer> writers = {
        {"convert", "convert " + song + " OUT", "song.mid"},
        {"prepare", "prepare " + song + " OUT", "song.mid"},
        {"export", "export " + song + " OUT", "box.mid"},
        {"compose", "compose --seed 7 OUT", "composed.mid"},
        {"render", "render " + song + " OUT", "song.wav"},
        {"qr png", "qr --size 1200 https://songs.tunecase.example/ OUT", "code.png"},
        {"qr svg", "qr https://songs.tunecase.example/a/longer/address OUT", "code.svg"},
        {"strip pdf", "strip --box 30-note " + song + " OUT", "strip.pdf"},
        {"strip svg", "strip --box 30-note " + song + " OUT", "strip.svg"},
    };
    const std::string old = "the file that was there before";
    for (const Writer& w : writers) {
        testing::TempFolder dir;
        const std::string out = dir.file(w.out);
        std::string command = w.command;
        command.replace(command.find("OUT"), 3, quoted(out));
        command = cli() + " " + command;
        std::string text;

        // Written whole first, to know the limit below cuts it short.
        ASSERT_EQ(runCommand(command, text), 0) << w.name << ": " << text;
        // The limit is one block: 512 bytes (dash) or 1,024 (bash).
        ASSERT_GT(fs::file_size(out), 1024u) << w.name << " writes too little for the limit to cut";

        testing::writeFileText(out, old);
        EXPECT_NE(runCommand("ulimit -f 1 && exec " + command, text), 0) << w.name << ": " << text;
        EXPECT_EQ(testing::readFileBytes(out), std::vector<uint8_t>(old.begin(), old.end())) << w.name << " killed";

        for (const auto& entry : fs::directory_iterator(dir.path()))
            if (entry.path() != out) fs::remove(entry.path());
        EXPECT_NE(runCommand("trap '' XFSZ && ulimit -f 1 && exec " + command, text), 0) << w.name << ": " << text;
        EXPECT_EQ(testing::readFileBytes(out), std::vector<uint8_t>(old.begin(), old.end())) << w.name << " refused";
        EXPECT_EQ(testing::namesIn(dir.path()), std::vector<std::string>{w.out}) << w.name << ": " << text;
        if (std::string(w.name) == "render")
            EXPECT_NE(text.find("cannot write " + out + ": File too large\n"), std::string::npos) << text;
    }
}

}  // namespace
}  // namespace tunecase

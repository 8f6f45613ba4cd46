// Libraries opened on first use: the loader itself, and the command line run as a user would,
// watching with the dynamic linker's own trace which libraries each command loads.
#include "platform/shared_library.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <regex>
#include <set>

#include "platform/fluid_synth_device.h"
#include "platform/rtmidi_device.h"
#include "support/test_support.h"

// Declared for its type only; no library defines it.
extern "C" size_t tunecase_no_such_function(const char*);

namespace tunecase {
namespace {

#define FOUND_FUNCTIONS(X) X(strlen) X(strtol)
struct FoundApi {
    FOUND_FUNCTIONS(TUNECASE_TABLE_ENTRY)
    bool resolve(SharedLibrary& library) { return true FOUND_FUNCTIONS(TUNECASE_TABLE_FIND); }
};

#define HALF_FOUND_FUNCTIONS(X) X(strlen) X(tunecase_no_such_function) X(strtol)
struct HalfFoundApi {
    HALF_FOUND_FUNCTIONS(TUNECASE_TABLE_ENTRY)
    bool resolve(SharedLibrary& library) { return true HALF_FOUND_FUNCTIONS(TUNECASE_TABLE_FIND); }
};

TEST(SharedLibrary, ATableIsWholeOrAbsentWithTheReason) {
    std::string error;
    auto found = loadFunctionTable<FoundApi>("libc.so.6", error);
    ASSERT_NE(found, nullptr) << error;
    EXPECT_EQ(error, "");
    // The entries are the library's functions, not just any addresses.
    EXPECT_EQ(found->strlen("music box"), 9u);
    EXPECT_EQ(found->strtol("0x7F", nullptr, 16), 127);

    EXPECT_EQ(loadFunctionTable<HalfFoundApi>("libc.so.6", error), nullptr);
    EXPECT_NE(error.find("tunecase_no_such_function"), std::string::npos) << error;

    EXPECT_EQ(loadFunctionTable<FoundApi>("libtunecase-absent.so.1", error), nullptr);
    EXPECT_NE(error.find("libtunecase-absent.so.1"), std::string::npos) << error;

    // Looking up in a library that did not open fails quietly and keeps the open's reason.
    SharedLibrary absent("libtunecase-absent.so.1");
    EXPECT_FALSE(absent.isOpen());
    decltype(&::strlen) fn = &::strlen;
    EXPECT_FALSE(absent.find("strlen", fn));
    EXPECT_EQ(fn, nullptr);
    EXPECT_NE(absent.error().find("libtunecase-absent.so.1"), std::string::npos) << absent.error();
}

std::string cli() { return TUNECASE_CLI; }
std::string song() { return std::string(TUNECASE_TEST_DATA) + "/midi/mido_format0_melody.mid"; }

// The file names of every library `command` loaded, linked or opened later, as the dynamic
// linker traces them.
std::set<std::string> loadedOnTheWay(const std::string& command, int& status) {
    std::string trace;
    status = testing::runCommand("LD_DEBUG=files " + command, trace);
    std::set<std::string> names;
    static const std::regex line(R"(file=(\S+) \[\d+\];)");
    for (std::sregex_iterator it(trace.begin(), trace.end(), line), end; it != end; ++it)
        names.insert(std::filesystem::path((*it)[1].str()).filename().string());
    return names;
}

bool mentions(const std::set<std::string>& names, const std::string& part) {
    for (const auto& n : names)
        if (n.find(part) != std::string::npos) return true;
    return false;
}

TEST(LazyLibraries, OnlyCommandsThatListOrPlayDevicesLoadThem) {
    if (!fluidSynthAvailable() && !rtMidiAvailable()) GTEST_SKIP() << "built without either library";
    int status = 0;
    for (const std::string& quiet : {cli() + " --version", cli() + " info '" + song() + "'"}) {
        auto loaded = loadedOnTheWay(quiet, status);
        EXPECT_EQ(status, 0) << quiet;
        EXPECT_FALSE(mentions(loaded, "fluidsynth")) << quiet;
        EXPECT_FALSE(mentions(loaded, "rtmidi")) << quiet;
        // Nor the network and drawing libraries: their commands are handed on.
        for (const char* heavy : {"libcurl", "httplib", "libcairo"}) EXPECT_FALSE(mentions(loaded, heavy)) << quiet;
    }
    // The same trace sees them when the devices are listed, so its silence above means
    // something.
    auto loaded = loadedOnTheWay(cli() + " devices", status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(mentions(loaded, "fluidsynth"), fluidSynthAvailable());
    EXPECT_EQ(mentions(loaded, "rtmidi"), rtMidiAvailable());
    // A strip is drawn by the program the command is handed to, with cairo.
    loaded = loadedOnTheWay(cli() + " strip --box 30-note --report '" + song() + "'", status);
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(mentions(loaded, "libcairo"));
}

// A library that is there by name but broken (here: not a library at all, found first on
// LD_LIBRARY_PATH) leaves its devices out, as in a build without it, and nothing crashes.
TEST(LazyLibraries, ABrokenLibraryMeansNoDeviceNotACrash) {
    if (!fluidSynthAvailable() && !rtMidiAvailable()) GTEST_SKIP() << "built without either library";
    int status = 0;
    auto names = loadedOnTheWay(cli() + " devices", status);
    ASSERT_FALSE(names.empty());
    testing::TempFolder shadow;
    for (const auto& name : names)
        if (name.find("fluidsynth") != std::string::npos || name.find("rtmidi") != std::string::npos)
            testing::writeFileText(shadow.file(name), "not a shared library\n");
    const std::string env = "LD_LIBRARY_PATH='" + shadow.path().string() + "' ";

    std::string out;
    EXPECT_EQ(testing::runCommand(env + cli() + " devices", out), 0) << out;
    EXPECT_EQ(out,
              " -1  MIDI mapper (plays through device 0)  [default]\n"
              "no MIDI output devices\n");

    testing::TempFolder work;
    const std::string wav = work.file("song.wav");
    EXPECT_EQ(testing::runCommand(env + cli() + " render '" + song() + "' '" + wav + "' 2>&1 >/dev/null", out), 1);
    if (fluidSynthAvailable()) {
        EXPECT_EQ(out.rfind("tunecase-cli render: the synthesizer is not available: " + shadow.path().string(), 0), 0u)
            << out;
    }
    EXPECT_FALSE(std::filesystem::exists(wav));

    EXPECT_EQ(testing::runCommand(env + cli() + " play '" + song() + "' 2>&1 >/dev/null", out), 1);
    EXPECT_EQ(out, "MDCT07000001 Can not open Midi device!\n");

    // A capture file needs neither library and still plays.
    const std::string capture = work.file("capture.txt");
    EXPECT_EQ(testing::runCommand(env + cli() + " play --speed 150 --capture '" + capture + "' '" + song() + "'", out), 0)
        << out;
    EXPECT_FALSE(testing::readFileBytes(capture).empty());
}

}  // namespace
}  // namespace tunecase

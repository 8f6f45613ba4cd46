#include "platform/midi_out_device.h"

#include <gtest/gtest.h>

#include "platform/capture_device.h"
#include "platform/fluid_synth_device.h"
#include "support/test_support.h"

namespace tunecase {
namespace {

// Undoes a capture file setting however the test ends.
struct CaptureFileGuard {
    ~CaptureFileGuard() { setMidiCaptureFile(""); }
};

TEST(MidiOutDevice, CaptureFileTakesDeviceZerosPlace) {
    CaptureFileGuard guard;
    testing::TempFolder folder;
    setMidiCaptureFile("");
    auto plain = midiOutDevices();
    std::string path = folder.file("out.txt");
    setMidiCaptureFile(path);
    auto devices = midiOutDevices();
    ASSERT_FALSE(devices.empty());
    EXPECT_EQ(devices[0].id, 0);
    EXPECT_EQ(devices[0].name, "Capture to " + path);
    // Only device 0 changes; with no synthesizer built in, capture is one device more.
    EXPECT_EQ(devices.size(), plain.size() + (fluidSynthAvailable() ? 0 : 1));
    EXPECT_EQ(midiOutGetNumDevs(), static_cast<int>(devices.size()));
    for (size_t i = 0; i < devices.size(); ++i) EXPECT_EQ(devices[i].id, static_cast<int>(i));

    // The mapper and device 0 both record into the file; each open starts it afresh.
    for (int id : {kMidiMapper, 0}) {
        std::unique_ptr<MidiOutDevice> device;
        ASSERT_EQ(midiOutOpen(id, device), midiresult::NoError);
        ASSERT_NE(device, nullptr);
        EXPECT_EQ(device->sendShort(0x7F4090u + static_cast<uint32_t>(id + 1)), midiresult::NoError);
        device->close();
        std::vector<TimedMidiMessage> lines;
        ASSERT_TRUE(readCaptureFile(path, lines));
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_EQ(lines[0].bytes, (std::vector<uint8_t>{uint8_t(0x90 + id + 1), 0x40, 0x7F}));
    }
}

TEST(MidiOutDevice, UnknownIdsDoNotOpen) {
    std::unique_ptr<MidiOutDevice> device;
    EXPECT_EQ(midiOutOpen(-2, device), midiresult::BadDeviceId);
    EXPECT_EQ(midiOutOpen(midiOutGetNumDevs() + 5, device), midiresult::BadDeviceId);
    EXPECT_EQ(device, nullptr);
}

TEST(MidiOutDevice, BuiltInSynthesizerFailsCleanlyWithoutAudioOrSoundfont) {
    if (!fluidSynthAvailable()) GTEST_SKIP() << "built without the synthesizer";
    std::unique_ptr<MidiOutDevice> device;
    int mapper = openFluidSynthDevice(true, kDefaultSoundfont, device);
    if (mapper == midiresult::NoError) {
        // This machine has sound: a soundfont that is not there must fail the open.
        testing::TempFolder folder;
        std::unique_ptr<MidiOutDevice> other;
        EXPECT_EQ(openFluidSynthDevice(false, folder.file("none.sf2"), other), midiresult::Error);
        EXPECT_EQ(device->reset(), midiresult::NoError);
        EXPECT_EQ(device->close(), midiresult::NoError);
        EXPECT_EQ(device->sendShort(0x403C90), midiresult::InvalidHandle);
    } else {
        EXPECT_EQ(mapper, midiresult::NoMapperPort);
        EXPECT_EQ(openFluidSynthDevice(false, kDefaultSoundfont, device), midiresult::NoDriver);
        EXPECT_EQ(device, nullptr);
    }
}

TEST(MidiOutDevice, DevicesCommandListsMapperAndDevices) {
    std::string out;
    ASSERT_EQ(testing::runCommand(std::string(TUNECASE_CLI) + " devices", out), 0) << out;
    EXPECT_EQ(out.rfind(" -1  MIDI mapper (plays through device 0)  [default]\n", 0), 0u) << out;
    for (const auto& d : midiOutDevices())
        EXPECT_NE(out.find(std::to_string(d.id) + "  " + d.name), std::string::npos) << out;
    // Nothing else on stderr: the back ends that are missing here stay quiet.
    size_t lines = std::count(out.begin(), out.end(), '\n');
    size_t expected = 1 + std::max<size_t>(midiOutDevices().size(), 1);
    EXPECT_EQ(lines, expected) << out;
    EXPECT_EQ(testing::runCommand(std::string(TUNECASE_CLI) + " devices extra", out), 2);
}

}  // namespace
}  // namespace tunecase

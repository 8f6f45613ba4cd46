#include "playback/midi_controler.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/reporter.h"
#include "platform/capture_device.h"
#include "platform/fluid_synth_device.h"
#include "support/test_support.h"

namespace tunecase {
namespace {

using Bytes = std::vector<uint8_t>;

std::string hex(const Bytes& b) {
    // A capture line without its time.
    return formatCaptureLine(0, b.data(), b.size()).substr(2);
}

// What the fake devices saw, in order: messages as bytes, and "reset-synth" / "close".
struct DeviceLog {
    std::vector<std::string> entries;
    std::vector<Bytes> messages;
};

class FakeDevice final : public MidiOutDevice {
public:
    FakeDevice(std::shared_ptr<DeviceLog> log, int id, bool failShorts, bool failReset, bool failClose)
        : log_(std::move(log)), id_(id), failShorts_(failShorts), failReset_(failReset), failClose_(failClose) {}

    int sendShort(uint32_t packed) override {
        uint8_t b[3];
        size_t n = unpackShortMessage(packed, b);
        if (failShorts_) return midiresult::Error;
        record(Bytes(b, b + (n ? n : 3)));
        return midiresult::NoError;
    }
    int sendLong(const uint8_t* bytes, size_t length) override {
        record(Bytes(bytes, bytes + length));
        return midiresult::NoError;
    }
    int close() override {
        log_->entries.push_back("close " + std::to_string(id_));
        return failClose_ ? midiresult::Error : midiresult::NoError;
    }

protected:
    int resetSynth() override {
        log_->entries.push_back("reset-synth");
        return failReset_ ? midiresult::Error : midiresult::NoError;
    }

private:
    void record(Bytes b) {
        log_->entries.push_back(hex(b));
        log_->messages.push_back(std::move(b));
    }
    std::shared_ptr<DeviceLog> log_;
    int id_;
    bool failShorts_, failReset_, failClose_;
};

// A set of fake devices: `count` of them, some of which refuse to open with a given code.
class FakeSystem final : public MidiOutSystem {
public:
    explicit FakeSystem(int count) : count_(count) { previous_ = setMidiOutSystem(this); }
    ~FakeSystem() override { setMidiOutSystem(previous_); }

    std::vector<MidiOutDeviceInfo> devices() override {
        std::vector<MidiOutDeviceInfo> list;
        for (int i = 0; i < count_; ++i) list.push_back({i, "fake " + std::to_string(i)});
        return list;
    }
    int open(int deviceId, std::unique_ptr<MidiOutDevice>& out) override {
        opened.push_back(deviceId);
        auto failure = failures.find(deviceId);
        if (failure != failures.end()) return failure->second;
        out = std::make_unique<FakeDevice>(log, deviceId, failShorts, failReset, failClose);
        return midiresult::NoError;
    }

    std::shared_ptr<DeviceLog> log = std::make_shared<DeviceLog>();
    std::map<int, int> failures;
    std::vector<int> opened;
    bool failShorts = false, failReset = false, failClose = false;

private:
    int count_;
    MidiOutSystem* previous_;
};

// Each test starts with the process-wide flag as a fresh process has it.
class MidiControlerTest : public ::testing::Test {
protected:
    void SetUp() override { reportMissingMidiDevice = 1; }
    void TearDown() override { reportMissingMidiDevice = 1; }
    ScopedCapture boxes;
};

const std::string kCantOpen = "MDCT07000001 Can not open Midi device!";
const std::string kMapperText =
    "No MIDI port was found. This happens only when the default MIDI output is opened.";

TEST_F(MidiControlerTest, NoDeviceShowsTheBoxOnceThenFailsSilently) {
    FakeSystem system(0);
    {
        MidiControler first(kMidiMapper);
        EXPECT_FALSE(first.isOpen());
    }
    MidiControler second(kMidiMapper);
    MidiControler third(0);
    EXPECT_FALSE(second.isOpen());
    EXPECT_FALSE(third.isOpen());
    EXPECT_EQ(boxes->visibleTexts(), std::vector<std::string>{kCantOpen});
    EXPECT_EQ(boxes->reports()[0].kind, BoxKind::SystemModalOk);
    EXPECT_TRUE(system.opened.empty());
    EXPECT_EQ(reportMissingMidiDevice.load(), 0);
}

TEST_F(MidiControlerTest, MapperFailureShowsSystemTextOnceThenPlaysThroughDeviceZero) {
    FakeSystem system(2);
    system.failures[kMidiMapper] = midiresult::NoMapperPort;
    MidiControler port(kMidiMapper);
    ASSERT_TRUE(port.isOpen());
    EXPECT_EQ(system.opened, (std::vector<int>{kMidiMapper, 0}));
    ASSERT_EQ(boxes->count(), 1u);
    EXPECT_EQ(boxes->reports()[0].visible, kMapperText);
    EXPECT_EQ(boxes->reports()[0].kind, BoxKind::Ok);
    EXPECT_EQ(port.noteOn(60, 100, 0), midiresult::NoError);
    EXPECT_EQ(system.log->entries, std::vector<std::string>{"90 3C 64"});
}

TEST_F(MidiControlerTest, OpenFailuresShowTheSystemTextThenTheOpenError) {
    struct Case {
        int device;
        int result;
        std::string text;
        std::vector<int> tries;
    };
    const std::vector<Case> cases = {
        // The mapper retries on device 0, which fails too: only the first text is shown.
        {kMidiMapper, midiresult::BadDeviceId, "The MIDI device number is out of range.", {kMidiMapper, 0}},
        // Other devices are not retried.
        {1, midiresult::Allocated, "The MIDI device is already in use.", {1}},
        {1, midiresult::NoMemory, "The system could not allocate or lock memory.", {1}},
        {1, midiresult::InvalidParam, "An invalid parameter was passed to the MIDI device.", {1}},
        // A code without a system text shows an empty box.
        {1, midiresult::NoDriver, "", {1}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.result);
        FakeSystem system(2);
        system.failures[c.device] = c.result;
        system.failures[0] = midiresult::NoDriver;
        boxes->clear();
        MidiControler port(c.device);
        EXPECT_FALSE(port.isOpen());
        EXPECT_EQ(system.opened, c.tries);
        EXPECT_EQ(boxes->visibleTexts(), (std::vector<std::string>{c.text, kCantOpen}));
        // A closed port sends nothing and close does nothing.
        EXPECT_EQ(port.noteOn(60, 100, 0), midiresult::InvalidHandle);
        EXPECT_EQ(port.close(), 1);
        EXPECT_TRUE(system.log->entries.empty());
    }
    // Failed opens never touch the missing-device flag.
    EXPECT_EQ(reportMissingMidiDevice.load(), 1);
}

TEST_F(MidiControlerTest, ShortMessagesCarryTheirBytes) {
    FakeSystem system(1);
    MidiControler port(0);
    port.noteOn(60, 200, 0);      // bit 7 set: sent as 127
    port.noteOn(60, 100, 9);      // as given
    port.noteOn(61, 0x100, 1);    // bit 7 clear: masked to 7 bits
    port.noteOff(60, 2);          // release velocity always 0
    port.controlChange(64, 7, 3);
    port.programChange(19, 15);
    port.sendShort(0x40, 0x00, 0xE4);
    port.sendShort(0x140, 0x105, 0x1B0);  // each value masked to 8 bits
    EXPECT_EQ(system.log->entries, (std::vector<std::string>{
                                       "90 3C 7F", "99 3C 64", "91 3D 00", "82 3C 00",
                                       "B3 07 40", "CF 13", "E4 00 40", "B0 05 40"}));
    EXPECT_EQ(boxes->count(), 0u);
}

TEST_F(MidiControlerTest, OnlyAFailedProgramChangeIsReported) {
    FakeSystem system(1);
    system.failShorts = true;
    MidiControler port(0);
    EXPECT_NE(port.noteOn(60, 100, 0), midiresult::NoError);
    EXPECT_NE(port.noteOff(60, 0), midiresult::NoError);
    EXPECT_NE(port.controlChange(0, 7, 0), midiresult::NoError);
    EXPECT_EQ(boxes->count(), 0u);
    EXPECT_NE(port.programChange(5, 0), midiresult::NoError);
    EXPECT_EQ(boxes->visibleTexts(),
              std::vector<std::string>{"MDCT07000003 Can not change tone with Midi device!"});
}

TEST_F(MidiControlerTest, SystemExclusiveDropsTheLengthByte) {
    FakeSystem system(1);
    MidiControler port(0);
    EXPECT_EQ(port.sendGmSystemOn(), midiresult::NoError);
    const uint8_t escape[] = {0xF7, 0xF8, 0x90, 0x3C, 0x40};
    EXPECT_EQ(port.sendSystemExclusive(sizeof escape, escape), midiresult::NoError);
    ASSERT_EQ(system.log->messages.size(), 2u);
    EXPECT_EQ(system.log->messages[0], (Bytes{0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7}));
    EXPECT_EQ(system.log->messages[1], Bytes(escape, escape + sizeof escape));
    EXPECT_EQ(boxes->count(), 0u);
}

TEST_F(MidiControlerTest, SystemExclusiveLongerThanTheSendBlockIsRefused) {
    FakeSystem system(1);
    MidiControler port(0);
    auto stored = [](size_t length) {
        Bytes b(length, 0x11);
        b[0] = 0xF0;
        b[1] = static_cast<uint8_t>(length - 2);
        b[length - 1] = 0xF7;
        return b;
    };
    // 257 stored bytes fill the 256-byte block exactly.
    Bytes largest = stored(kMaxStoredSysEx);
    EXPECT_EQ(port.sendSystemExclusive(largest.size(), largest.data()), midiresult::NoError);
    ASSERT_EQ(system.log->messages.size(), 1u);
    EXPECT_EQ(system.log->messages[0].size(), 256u);
    EXPECT_EQ(system.log->messages[0].front(), 0xF0);
    EXPECT_EQ(system.log->messages[0][1], 0x11);
    EXPECT_EQ(system.log->messages[0].back(), 0xF7);
    EXPECT_EQ(boxes->count(), 0u);

    Bytes tooLong = stored(kMaxStoredSysEx + 1);
    Bytes escapeTooLong(kSysExBlockSize + 1, 0xF7);
    EXPECT_EQ(port.sendSystemExclusive(tooLong.size(), tooLong.data()), midiresult::InvalidParam);
    EXPECT_EQ(port.sendSystemExclusive(escapeTooLong.size(), escapeTooLong.data()),
              midiresult::InvalidParam);
    EXPECT_EQ(port.sendSystemExclusive(5, nullptr), midiresult::InvalidParam);
    EXPECT_EQ(boxes->visibleTexts(), std::vector<std::string>(3, "MDCT07000005 Invalid parameter in Midi!"));
    // Nothing empty is sent, and that fails without a box, as any failed send does.
    const uint8_t onlyStart[] = {0xF0};
    EXPECT_NE(port.sendSystemExclusive(1, onlyStart), midiresult::NoError);
    EXPECT_NE(port.sendSystemExclusive(0, nullptr), midiresult::NoError);
    EXPECT_EQ(system.log->messages.size(), 1u);
    EXPECT_EQ(boxes->count(), 3u);
}

TEST_F(MidiControlerTest, AllNotesOffGoesToEveryChannelInOrder) {
    FakeSystem system(1);
    MidiControler port(0);
    port.allNotesOff();
    ASSERT_EQ(system.log->messages.size(), 16u);
    for (uint8_t ch = 0; ch < 16; ++ch)
        EXPECT_EQ(system.log->messages[ch], (Bytes{static_cast<uint8_t>(0xB0 + ch), 123, 0}));
}

TEST_F(MidiControlerTest, CloseResetsThenClosesOnce) {
    FakeSystem system(1);
    {
        MidiControler port(0);
        EXPECT_EQ(port.close(), 1);
        EXPECT_FALSE(port.isOpen());
        EXPECT_EQ(port.close(), 1);  // nothing more happens
    }  // nor when the port goes away
    std::vector<std::string> expected;
    for (int ch = 0; ch < 16; ++ch) {
        uint8_t status = static_cast<uint8_t>(0xB0 + ch);
        expected.push_back(hex({status, 120, 0}));  // all sound off
        expected.push_back(hex({status, 121, 0}));  // reset all controllers
    }
    expected.push_back("reset-synth");
    expected.push_back("close 0");
    EXPECT_EQ(system.log->entries, expected);
    EXPECT_EQ(boxes->count(), 0u);
}

TEST_F(MidiControlerTest, DestroyingAnOpenPortClosesIt) {
    FakeSystem system(1);
    { MidiControler port(0); }
    ASSERT_FALSE(system.log->entries.empty());
    EXPECT_EQ(system.log->entries.back(), "close 0");
}

TEST_F(MidiControlerTest, EachCloseFailureIsReported) {
    const std::string cantClose = "MDCT07000002 Can not close Midi device!";
    {
        FakeSystem system(1);
        system.failReset = true;
        MidiControler port(0);
        EXPECT_EQ(port.close(), 0);
        EXPECT_EQ(boxes->visibleTexts(), std::vector<std::string>{cantClose});
        EXPECT_EQ(system.log->entries.back(), "close 0");  // closing still happens
    }
    boxes->clear();
    {
        FakeSystem system(1);
        system.failReset = true;
        system.failClose = true;
        MidiControler port(0);
        EXPECT_EQ(port.close(), 0);
        EXPECT_EQ(boxes->visibleTexts(), std::vector<std::string>(2, cantClose));
        EXPECT_FALSE(port.isOpen());
    }
}

// The real device list with a capture file: the mapper records into the file.
TEST_F(MidiControlerTest, CaptureThroughTheMapperRecordsTheRun) {
    testing::TempFolder folder;
    std::string path = folder.file("run.txt");
    struct Undo {
        ~Undo() { setMidiCaptureFile(""); }
    } undo;
    setMidiCaptureFile(path);
    {
        MidiControler port(kMidiMapper);
        ASSERT_TRUE(port.isOpen());
        port.sendGmSystemOn();
        port.noteOn(72, 200, 0);
        port.noteOff(72, 0);
        port.close();
    }
    EXPECT_EQ(boxes->count(), 0u);
    std::vector<TimedMidiMessage> lines;
    ASSERT_TRUE(readCaptureFile(path, lines));
    ASSERT_EQ(lines.size(), 3u + 32u + 1u);
    EXPECT_EQ(lines[0].bytes, (Bytes{0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7}));
    EXPECT_EQ(lines[1].bytes, (Bytes{0x90, 72, 127}));
    EXPECT_EQ(lines[2].bytes, (Bytes{0x80, 72, 0}));
    EXPECT_EQ(lines[3].bytes, (Bytes{0xB0, 120, 0}));
    EXPECT_EQ(lines.back().bytes, Bytes{0xFF});
}

// On a machine without audio output the built-in synthesizer cannot open: the mapper's
// system text, then the open error, each once; with audio, no box at all.
TEST_F(MidiControlerTest, BuiltInSynthesizerEitherOpensOrReportsOnce) {
    if (!fluidSynthAvailable()) GTEST_SKIP() << "built without the synthesizer";
    setMidiCaptureFile("");
    MidiControler port(kMidiMapper);
    if (port.isOpen()) {
        EXPECT_EQ(boxes->count(), 0u);
        EXPECT_EQ(port.sendGmSystemOn(), midiresult::NoError);
        EXPECT_EQ(port.close(), 1);
    } else {
        EXPECT_EQ(boxes->visibleTexts(), (std::vector<std::string>{kMapperText, kCantOpen}));
    }
}

}  // namespace
}  // namespace tunecase

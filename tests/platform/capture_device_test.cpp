#include "platform/capture_device.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "support/test_support.h"

namespace tunecase {
namespace {

using Bytes = std::vector<uint8_t>;

TEST(CaptureDevice, LineFormat) {
    const uint8_t note[] = {0x90, 0x3C, 0x40};
    EXPECT_EQ(formatCaptureLine(125000, note, 3), "125000 90 3C 40");
    const uint8_t sysex[] = {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7};
    EXPECT_EQ(formatCaptureLine(0, sysex, 6), "0 F0 7E 7F 09 01 F7");
    const uint8_t clock = 0xF8;
    EXPECT_EQ(formatCaptureLine(7, &clock, 1), "7 F8");
}

TEST(CaptureDevice, RecordsEverythingItIsSentInOrder) {
    testing::TempFolder folder;
    std::string path = folder.file("capture.txt");
    std::unique_ptr<MidiOutDevice> device;
    ASSERT_EQ(CaptureDevice::open(path, device), midiresult::NoError);
    EXPECT_EQ(device->sendShort(0x403C90), midiresult::NoError);
    EXPECT_EQ(device->sendShort(0xAA0513), midiresult::InvalidParam);  // a data byte is no status
    EXPECT_EQ(device->sendShort(0xFF05C0), midiresult::NoError);      // program change: two bytes
    EXPECT_EQ(device->sendShort(0x0000F8), midiresult::NoError);      // clock: one byte
    Bytes longMessage(300, 0x22);
    longMessage.front() = 0xF0;
    longMessage.back() = 0xF7;
    EXPECT_EQ(device->sendLong(longMessage.data(), longMessage.size()), midiresult::NoError);
    EXPECT_EQ(device->sendLong(nullptr, 0), midiresult::InvalidParam);
    EXPECT_EQ(device->close(), midiresult::NoError);
    EXPECT_EQ(device->sendShort(0x403C90), midiresult::InvalidHandle);
    EXPECT_EQ(device->close(), midiresult::InvalidHandle);

    std::vector<TimedMidiMessage> lines;
    ASSERT_TRUE(readCaptureFile(path, lines));
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0].bytes, (Bytes{0x90, 0x3C, 0x40}));
    EXPECT_EQ(lines[1].bytes, (Bytes{0xC0, 0x05}));
    EXPECT_EQ(lines[2].bytes, Bytes{0xF8});
    EXPECT_EQ(lines[3].bytes, longMessage);
    // Times count from the open and never go back; a sanity bound only.
    for (size_t i = 0; i < lines.size(); ++i) {
        EXPECT_GE(lines[i].timeUs, 0);
        EXPECT_LT(lines[i].timeUs, 60'000'000);
        if (i) EXPECT_GE(lines[i].timeUs, lines[i - 1].timeUs);
    }
    // Exactly one line per message, one blank between fields, upper-case hex.
    Bytes raw = testing::readFileBytes(path);
    std::string text(raw.begin(), raw.end());
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 4);
    EXPECT_NE(text.find(" 90 3C 40\n"), std::string::npos);
    EXPECT_NE(text.find(" C0 05\n"), std::string::npos);
}

TEST(CaptureDevice, ResetRecordsSoundOffControllersThenSystemReset) {
    testing::TempFolder folder;
    std::string path = folder.file("reset.txt");
    std::unique_ptr<MidiOutDevice> device;
    ASSERT_EQ(CaptureDevice::open(path, device), midiresult::NoError);
    EXPECT_EQ(device->reset(), midiresult::NoError);
    device.reset();  // destruction closes the file

    std::vector<TimedMidiMessage> lines;
    ASSERT_TRUE(readCaptureFile(path, lines));
    ASSERT_EQ(lines.size(), 33u);
    for (uint8_t ch = 0; ch < 16; ++ch) {
        EXPECT_EQ(lines[2 * ch].bytes, (Bytes{uint8_t(0xB0 + ch), 120, 0}));
        EXPECT_EQ(lines[2 * ch + 1].bytes, (Bytes{uint8_t(0xB0 + ch), 121, 0}));
    }
    EXPECT_EQ(lines[32].bytes, Bytes{0xFF});
}

TEST(CaptureDevice, OpenFailsWhenTheFileCannotBeWritten) {
    testing::TempFolder folder;
    std::unique_ptr<MidiOutDevice> device;
    EXPECT_EQ(CaptureDevice::open(folder.file("missing/folder/x.txt"), device), midiresult::Error);
    EXPECT_EQ(device, nullptr);
}

TEST(CaptureDevice, ParsesWhatItWritesAndRejectsMalformedLines) {
    std::vector<TimedMidiMessage> out;
    ASSERT_TRUE(parseCaptureText("0 90 3C 40\r\n\n125000 f0 7e f7\n999999999999999999 FF", out));
    ASSERT_EQ(out.size(), 3u);
    EXPECT_EQ(out[0], (TimedMidiMessage{0, {0x90, 0x3C, 0x40}}));
    EXPECT_EQ(out[1], (TimedMidiMessage{125000, {0xF0, 0x7E, 0xF7}}));
    EXPECT_EQ(out[2].timeUs, 999999999999999999);

    const std::vector<std::pair<std::string, size_t>> bad = {
        {"12", 1},                          // no bytes
        {"x 90", 1},                        // no time
        {"0 90\n12 9", 2},                  // half a byte
        {"0 90\n\n5 90  3C", 3},            // two blanks
        {"5 90 ", 1},                       // trailing blank
        {"5 9G", 1},                        // not hex
        {"-5 90", 1},                       // negative time
        {"1000000000000000000 90", 1},      // 19 digits
        {"5\t90", 1},                       // tab instead of blank
    };
    for (const auto& [text, line] : bad) {
        SCOPED_TRACE(text);
        size_t badLine = 0;
        EXPECT_FALSE(parseCaptureText(text, out, &badLine));
        EXPECT_EQ(badLine, line);
    }
    EXPECT_FALSE(readCaptureFile("/nonexistent/capture.txt", out));
}

std::vector<Bytes> split(const Bytes& in) {
    std::vector<Bytes> out;
    splitMidiBytes(in.data(), in.size(), [&](const uint8_t* m, size_t n) { out.emplace_back(m, m + n); });
    return out;
}

TEST(MidiOutDeviceBytes, WholeMessagesRunningStatusAndRealTime) {
    EXPECT_EQ(split({0x90, 0x3C, 0x40, 0x3E, 0x40, 0xC1, 0x05, 0x07}),
              (std::vector<Bytes>{{0x90, 0x3C, 0x40}, {0x90, 0x3E, 0x40}, {0xC1, 0x05}, {0xC1, 0x07}}));
    // Real-time bytes inside other messages come out on their own, first.
    EXPECT_EQ(split({0xF0, 0x7E, 0xF8, 0x7F, 0xF7, 0x90, 0xFE, 0x3C, 0x40}),
              (std::vector<Bytes>{{0xF8}, {0xF0, 0x7E, 0x7F, 0xF7}, {0xFE}, {0x90, 0x3C, 0x40}}));
    // A system-exclusive message cut short by a status byte is dropped; so is an end byte
    // without a start, stray data without running status, and an unfinished message.
    EXPECT_EQ(split({0xF0, 0x01, 0x02, 0x80, 0x3C, 0x00}), (std::vector<Bytes>{{0x80, 0x3C, 0x00}}));
    EXPECT_EQ(split({0xF7, 0x3C, 0x40, 0x90, 0x3C}), std::vector<Bytes>{});
    // System common messages end running status.
    EXPECT_EQ(split({0x90, 0x3C, 0x40, 0xF3, 0x02, 0x3C, 0x40}),
              (std::vector<Bytes>{{0x90, 0x3C, 0x40}, {0xF3, 0x02}}));
    EXPECT_EQ(split({0xF0, 0xF7}), (std::vector<Bytes>{{0xF0, 0xF7}}));
    splitMidiBytes(nullptr, 5, [](const uint8_t*, size_t) { ADD_FAILURE(); });
}

}  // namespace
}  // namespace tunecase

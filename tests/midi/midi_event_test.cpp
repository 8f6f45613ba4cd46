#include <gtest/gtest.h>

#include <vector>

#include "base/reporter.h"
#include "midi/midi_event.h"
#include "midi/midi_status.h"

namespace tunecase {
namespace {

TEST(MidiEventData, OversizedDataIsKeptAfterOneMessage) {
    ScopedCapture cap;
    std::vector<uint8_t> bytes(257);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i);
    MusicEvent e;
    EXPECT_EQ(e.setData(bytes.data(), 257), 257);
    EXPECT_EQ(e.length, 257);
    EXPECT_EQ(e.getData()[256], 0);  // byte 256 of the source
    EXPECT_EQ(e.getData()[255], 255);
    ASSERT_EQ(cap->visibleTexts(),
              std::vector<std::string>{"MUEV06000001 Event data size is too large! If it includes MFi terminal "
                                       "tone data, it would not be a problem."});
    cap->clear();
    e.setData(bytes.data(), 256);
    EXPECT_EQ(cap->count(), 0u);
    EXPECT_EQ(e.setData(bytes.data(), 0), 0);
    EXPECT_EQ(e.length, 256);
}

TEST(MidiEventData, ByteAccessStaysInsideTheBuffer) {
    ScopedCapture cap;
    MusicEvent e;
    const uint8_t bytes[3] = {1, 2, 3};
    e.setData(bytes, 3);
    EXPECT_EQ(e.getByte(2), 3);
    EXPECT_EQ(e.getByte(10), 0);  // inside the 8 spare bytes: no message
    EXPECT_EQ(cap->count(), 0u);
    EXPECT_EQ(e.getByte(11), 0);
    EXPECT_EQ(e.bytePointer(11), nullptr);
    EXPECT_EQ(cap->visibleTexts(), (std::vector<std::string>{"MUEV06000002 Error occured in event data!",
                                                             "MUEV06000002 Error occured in event data!"}));
    cap->clear();
    e.setByte(40, 9);  // grows the buffer, keeps the old bytes
    EXPECT_GE(e.bufferSize(), 41);
    EXPECT_EQ(e.peekByte(40), 9);
    EXPECT_EQ(e.peekByte(1), 2);
    EXPECT_EQ(e.length, 3);
    EXPECT_EQ(cap->count(), 0u);

    MusicEvent empty;
    empty.setByte(0, 1);
    EXPECT_EQ(empty.getData(), nullptr);
    uint8_t out[4] = {};
    EXPECT_EQ(empty.copyDataTo(out), 0);
    EXPECT_EQ(cap->count(), 2u);
}

TEST(MidiEventData, CopiesAreDeep) {
    MidiEvent a;
    const uint8_t bytes[2] = {7, 8};
    a.setData(bytes, 2);
    a.channel = 3;
    MidiEvent b(&a);
    b.getData()[0] = 99;
    EXPECT_EQ(a.getData()[0], 7);
    EXPECT_EQ(b.channel, 3);

    // Short buffers live in the event, long ones apart: both copy deep and move whole.
    for (int n : {2, 8, 9, 40}) {
        std::vector<uint8_t> data(static_cast<size_t>(n));
        for (int i = 0; i < n; ++i) data[static_cast<size_t>(i)] = static_cast<uint8_t>(i + 1);
        MidiEvent source;
        source.setData(data.data(), n);
        MidiEvent copy(source);
        copy.getData()[n - 1] = 0;
        EXPECT_EQ(source.getData()[n - 1], n) << n;
        MidiEvent moved(std::move(source));
        EXPECT_EQ(source.getData(), nullptr) << n;
        ASSERT_EQ(moved.bufferSize(), n + 8) << n;
        EXPECT_EQ(std::vector<uint8_t>(moved.getData(), moved.getData() + n), data) << n;
        EXPECT_EQ(moved.peekByte(n), 0) << n;
        copy = std::move(moved);  // a buffer of either kind replaces the one held
        EXPECT_EQ(copy.getData()[n - 1], n) << n;
        copy = a;
        EXPECT_EQ(copy.bufferSize(), 10) << n;
        EXPECT_EQ(copy.getData()[1], 8) << n;
    }

    MidiEvent noBuffer;
    noBuffer.length = 5;
    MidiEvent c(noBuffer);
    EXPECT_EQ(c.getData(), nullptr);
    EXPECT_EQ(c.length, 5);

    ScopedCapture cap;
    MidiEvent missing(static_cast<const MidiEvent*>(nullptr));
    EXPECT_EQ(missing.channel, 255);
    EXPECT_EQ(missing.status, 0);
    EXPECT_EQ(cap->visibleTexts(), std::vector<std::string>{"MDEV00000000 Error occurred in MidiEvent!"});
}

TEST(MidiEventBuilders, TempoMasterVolumeAndPitchBend) {
    MidiEvent t;
    t.makeTempo(0x07A120);
    EXPECT_EQ(t.status, 0xFF);
    EXPECT_EQ(t.type, 0x51u);
    EXPECT_EQ(t.value, 500000);
    EXPECT_EQ(std::vector<uint8_t>(t.getData(), t.getData() + t.length), (std::vector<uint8_t>{0x07, 0xA1, 0x20}));

    MidiEvent v;
    v.makeMasterVolume(100);
    EXPECT_EQ(std::vector<uint8_t>(v.getData(), v.getData() + v.length),
              (std::vector<uint8_t>{0xF0, 0x07, 0x7F, 0x7F, 0x04, 0x01, 0x00, 100, 0xF7}));
    v.classifySysEx();
    EXPECT_EQ(v.type, 1u);
    EXPECT_EQ(v.value, 100);

    MidiEvent b;
    EXPECT_FALSE(b.setPitchBendValue(20000));
    EXPECT_EQ(b.pitchBendValue(), 16383);
    EXPECT_FALSE(b.setPitchBendValue(-5));
    EXPECT_EQ(b.pitchBendValue(), 0);
    EXPECT_TRUE(b.setPitchBendValue(8193));
    EXPECT_EQ(b.value, 64);
    EXPECT_EQ(b.data1, 1);
}

TEST(MidiEventBuilders, SecondPortMark) {
    MidiEvent e;
    e.status = ev::Meta;
    e.type = meta::InstrumentName;
    const std::string names[] = {"SC-88B part", "my 88B", "SC-88 B", "SC88B"};
    for (const auto& n : names) {
        e.setData(reinterpret_cast<const uint8_t*>(n.data()), static_cast<int>(n.size()));
        EXPECT_TRUE(e.isSecondPortMark()) << n;
    }
    const std::string plain = "SC-88 A";
    e.setData(reinterpret_cast<const uint8_t*>(plain.data()), static_cast<int>(plain.size()));
    EXPECT_FALSE(e.isSecondPortMark());
}

struct SysExCase {
    std::vector<uint8_t> bytes;
    uint32_t type;
    int value;
    int channel;
};

class SysExClassification : public ::testing::TestWithParam<SysExCase> {};

TEST_P(SysExClassification, Table) {
    const SysExCase& c = GetParam();
    MidiEvent e;
    e.status = ev::SysEx;
    e.value = -1;
    e.setData(c.bytes.data(), static_cast<int>(c.bytes.size()));
    ScopedCapture cap;
    e.classifySysEx();
    EXPECT_EQ(e.type, c.type);
    EXPECT_EQ(e.value, c.value);
    EXPECT_EQ(e.channel, c.channel);
    EXPECT_EQ(cap->count(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    AllRules, SysExClassification,
    ::testing::Values(
        SysExCase{{0xF0, 0x07, 0x7F, 0x7F, 0x04, 0x01, 0x00, 0x55, 0xF7}, 1, 0x55, 255},
        SysExCase{{0xF0, 0x07, 0x7F, 0x7F, 0x04, 0x02, 0x00, 0x30, 0xF7}, 40, 0x30, 255},
        SysExCase{{0xF0, 0x0A, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x04, 0x64, 0x5C, 0xF7}, 1, 0x64, 255},
        SysExCase{{0xF0, 0x0A, 0x41, 0x10, 0x42, 0x12, 0x40, 0x01, 0x3F, 0x11, 0x00, 0xF7}, 40, 0x11, 255},
        SysExCase{{0xF0, 0x0A, 0x41, 0x10, 0x42, 0x12, 0x40, 0x01, 0x5A, 0x12, 0x00, 0xF7}, 64, 0x12, 255},
        // Parameter 36 is not classified, but its value is still taken.
        SysExCase{{0xF0, 0x0A, 0x41, 0x10, 0x42, 0x12, 0x40, 0x01, 0x36, 0x13, 0x00, 0xF7}, 0, 0x13, 255},
        SysExCase{{0xF0, 0x0A, 0x41, 0x10, 0x42, 0x12, 0x40, 0x02, 0x03, 0x14, 0x00, 0xF7}, 68, 0x14, 255},
        SysExCase{{0xF0, 0x0A, 0x41, 0x10, 0x42, 0x12, 0x40, 0x02, 0x04, 0x15, 0x00, 0xF7}, 0, 0x15, 255},
        SysExCase{{0xF0, 0x0A, 0x41, 0x10, 0x42, 0x12, 0x40, 0x10, 0x15, 0x01, 0x1A, 0xF7}, 18, 1, 9},
        SysExCase{{0xF0, 0x0A, 0x41, 0x10, 0x42, 0x12, 0x40, 0x1A, 0x15, 0x01, 0x10, 0xF7}, 18, 1, 10},
        SysExCase{{0xF0, 0x0A, 0x41, 0x10, 0x42, 0x12, 0x40, 0x11, 0x15, 0x00, 0x1A, 0xF7}, 18, 0, 0},
        SysExCase{{0xF0, 0x0A, 0x41, 0x10, 0x42, 0x12, 0x40, 0x11, 0x16, 0x05, 0x00, 0xF7}, 0, 5, 255},
        SysExCase{{0xF0, 0x0A, 0x41, 0x10, 0x42, 0x12, 0x40, 0x4F, 0x20, 0x02, 0x00, 0xF7}, 69, 2, 15},
        SysExCase{{0xF0, 0x0A, 0x41, 0x10, 0x42, 0x12, 0x00, 0x00, 0x7F, 0x00, 0x01, 0xF7}, 19, -1, 255},
        SysExCase{{0xF0, 0x05, 0x7E, 0x7F, 0x09, 0x01, 0xF7}, 9, -1, 255},
        SysExCase{{0xF0, 0x07, 0x43, 0x79, 0x06, 0x7F, 0x01, 0x02, 0xF7}, 127, -1, 255},
        // GS reset, XG on and a message too short to hold the rules' bytes stay unclassified.
        SysExCase{{0xF0, 0x0A, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7}, 0, -1, 255},
        SysExCase{{0xF0, 0x08, 0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7}, 0, -1, 255},
        SysExCase{{0xF0, 0xF7}, 0, -1, 255}));

TEST(GsHelpers, PartBytesAndChecksum) {
    for (int ch = 0; ch < 16; ++ch) {
        EXPECT_EQ(gsChannelOfPart(gsPartByte(ch, 0x10)), ch);
        EXPECT_EQ(gsChannelOfPart(gsPartByte(ch, 0x40)), ch);
    }
    EXPECT_EQ(gsPartByte(9, 0x10), 0x10);
    EXPECT_EQ(gsPartByte(0, 0x40), 0x41);
    EXPECT_EQ(gsPartByte(10, 0x40), 0x4A);

    uint8_t msg[12] = {0xF0, 0x0A, 0x41, 0x10, 0x42, 0x12, 0x40, 0x40, 0x7F, 0x01, 0x55, 0xF7};
    ASSERT_TRUE(gsChecksum(msg, sizeof msg));  // 0x40 + 0x40 + 0x7F + 0x01 = 256
    EXPECT_EQ(msg[10], 0);
    uint8_t gsReset[12] = {0xF0, 0x0A, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x00, 0xF7};
    gsChecksum(gsReset, sizeof gsReset);
    EXPECT_EQ(gsReset[10], 0x41);

    ScopedCapture cap;
    EXPECT_FALSE(gsChecksum(nullptr, 12));
    MidiEvent noBuffer;
    EXPECT_FALSE(noBuffer.moveGsPart(3));
    EXPECT_EQ(cap->visibleTexts(), (std::vector<std::string>{"MDSX36000001 Error occured in System Exclusive!",
                                                             "MDSX36000001 Error occured in System Exclusive!"}));
}

TEST(MidiStatusSnapshot, EventsInOrder) {
    MidiStatus s;
    std::vector<MidiEvent> out;
    s.tempo = 400000;
    EXPECT_EQ(s.toEvents(out), 1);
    EXPECT_EQ(out[0].type, meta::Tempo);

    out.clear();
    s.reset();
    s.controllers[2][7] = 90;
    s.controllers[2][1] = 5;
    s.program[2] = 12;
    s.pitchBend[2][0] = 64;
    s.pitchBend[2][1] = 3;
    s.program[0] = 1;
    s.timeSignature = 3 * 256 + 8;
    s.tempo = 500000;
    ASSERT_EQ(s.toEvents(out), 7);
    EXPECT_EQ(out[0].status, ev::ProgramChange);
    EXPECT_EQ(out[0].channel, 0);
    EXPECT_EQ(out[1].status, ev::ProgramChange);
    EXPECT_EQ(out[1].value, 12);
    EXPECT_EQ(out[2].status, ev::PitchBend);
    EXPECT_EQ(out[2].pitchBendValue(), 64 * 128 + 3);
    EXPECT_EQ(out[3].type, 1u);
    EXPECT_EQ(out[4].type, 7u);
    EXPECT_EQ(out[4].value, 90);
    EXPECT_EQ(out[5].type, meta::Tempo);
    EXPECT_EQ(out[6].value, 3 * 256 + 8);
    EXPECT_EQ(std::vector<uint8_t>(out[6].getData(), out[6].getData() + 4), (std::vector<uint8_t>{3, 3, 18, 8}));

    ScopedCapture cap;
    out.clear();
    s.reset();
    s.timeSignature = 0;
    EXPECT_EQ(s.toEvents(out), 0);
    EXPECT_EQ(cap->visibleTexts(), std::vector<std::string>{"MDSS37000002 Time Sign is invalid!"});
}

TEST(MidiStatusSnapshot, RecordsWhatEventsChange) {
    MidiStatus s;
    MidiEvent cc;
    cc.makeControlChange(4, 10, 33);
    s.record(cc);
    MidiEvent bend;
    bend.status = ev::PitchBend;
    bend.channel = 4;
    bend.setPitchBendValue(1000);
    s.record(bend);
    MidiEvent outside;
    outside.makeControlChange(16, 10, 1);
    s.record(outside);
    EXPECT_EQ(s.controllers[4][10], 33);
    EXPECT_EQ(s.pitchBend[4][0] * 128 + s.pitchBend[4][1], 1000);
    std::vector<MidiEvent> out;
    EXPECT_EQ(s.toEvents(out), 2);
}

}  // namespace
}  // namespace tunecase

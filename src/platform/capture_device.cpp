#include "platform/capture_device.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

#include "base/utilities.h"

namespace tunecase {

int CaptureDevice::open(const std::string& path, std::unique_ptr<MidiOutDevice>& out) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        setMidiOutOpenFailure(path + ": " + std::strerror(errno));
        return midiresult::Error;
    }
    out.reset(new CaptureDevice(file));
    return midiresult::NoError;
}

CaptureDevice::CaptureDevice(std::FILE* file) : file_(file), opened_(std::chrono::steady_clock::now()) {}

CaptureDevice::~CaptureDevice() { close(); }

int CaptureDevice::write(const uint8_t* bytes, size_t length) {
    auto now = std::chrono::steady_clock::now();
    std::lock_guard lock(mutex_);
    if (!file_) return midiresult::InvalidHandle;
    auto us = std::chrono::duration_cast<std::chrono::microseconds>(now - opened_).count();
    std::string line = formatCaptureLine(us, bytes, length);
    line.push_back('\n');
    // Flushed per line so that a capture shows everything sent up to a crash or a kill.
    if (std::fwrite(line.data(), 1, line.size(), file_) != line.size() || std::fflush(file_) != 0)
        return midiresult::Error;
    return midiresult::NoError;
}

int CaptureDevice::sendShort(uint32_t packed) {
    uint8_t bytes[3];
    size_t n = unpackShortMessage(packed, bytes);
    if (n == 0) return midiresult::InvalidParam;
    return write(bytes, n);
}

int CaptureDevice::sendLong(const uint8_t* bytes, size_t length) {
    if (!bytes || length == 0) return midiresult::InvalidParam;
    return write(bytes, length);
}

int CaptureDevice::resetSynth() {
    const uint8_t systemReset = 0xFF;
    return write(&systemReset, 1);
}

int CaptureDevice::close() {
    std::lock_guard lock(mutex_);
    if (!file_) return midiresult::InvalidHandle;
    int failed = std::fclose(file_);
    file_ = nullptr;
    return failed ? midiresult::Error : midiresult::NoError;
}

std::string formatCaptureLine(int64_t timeUs, const uint8_t* bytes, size_t length) {
    static const char hex[] = "0123456789ABCDEF";
    std::string line = std::to_string(timeUs);
    line.reserve(line.size() + 3 * length);
    for (size_t i = 0; i < length; ++i) {
        line.push_back(' ');
        line.push_back(hex[bytes[i] >> 4]);
        line.push_back(hex[bytes[i] & 0x0F]);
    }
    return line;
}

namespace {

bool parseLine(std::string_view line, TimedMidiMessage& out) {
    size_t i = 0;
    int64_t time = 0;
    // At most 18 digits, so the time cannot overflow.
    while (i < line.size() && line[i] >= '0' && line[i] <= '9') {
        if (i == 18) return false;
        time = time * 10 + (line[i] - '0');
        ++i;
    }
    if (i == 0) return false;
    out.timeUs = time;
    out.bytes.clear();
    while (i < line.size()) {
        if (line[i] != ' ') return false;
        ++i;
        if (line.size() - i < 2) return false;
        int high = hexDigitValue(line[i]), low = hexDigitValue(line[i + 1]);
        if (high < 0 || low < 0) return false;
        out.bytes.push_back(static_cast<uint8_t>(high * 16 + low));
        i += 2;
    }
    return !out.bytes.empty();
}

}  // namespace

bool parseCaptureText(std::string_view text, std::vector<TimedMidiMessage>& out, size_t* badLine) {
    out.clear();
    size_t lineNumber = 0;
    while (!text.empty()) {
        ++lineNumber;
        size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty()) continue;
        TimedMidiMessage message;
        if (!parseLine(line, message)) {
            if (badLine) *badLine = lineNumber;
            return false;
        }
        out.push_back(std::move(message));
    }
    return true;
}

bool readCaptureFile(const std::string& path, std::vector<TimedMidiMessage>& out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return parseCaptureText(text, out);
}

}  // namespace tunecase

#include "midi/midi_byte_buffer.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "base/utilities.h"

namespace tunecase {

MidiByteBuffer::MidiByteBuffer(int capacity)
    : bytes_(std::make_unique<uint8_t[]>(static_cast<size_t>(std::max(capacity, 0)))),
      capacity_(std::max(capacity, 0)) {}

void MidiByteBuffer::freeBuffer() {
    bytes_.reset();
    capacity_ = byteLength_ = readPosition_ = 0;
}

int MidiByteBuffer::loadFile(std::string_view path) {
    std::vector<uint8_t> content;
    byteLength_ = readPosition_ = 0;
    if (!readUpTo(path, content, static_cast<size_t>(capacity_))) return 0;
    assign(content.data(), static_cast<int>(content.size()));
    return 1;
}

int MidiByteBuffer::saveFile(std::string_view path) const {
    return writeWhole(path, bytes_.get(), static_cast<size_t>(byteLength_));
}

int MidiByteBuffer::assign(const uint8_t* data, int n) {
    n = std::clamp(n, 0, capacity_);
    if (n > 0 && data) std::memcpy(bytes_.get(), data, static_cast<size_t>(n));
    byteLength_ = data ? n : 0;
    readPosition_ = 0;
    return byteLength_;
}

void MidiByteBuffer::setByteLength(int n) { byteLength_ = std::clamp(n, 0, capacity_); }

void MidiByteBuffer::setReadPosition(int position) { readPosition_ = std::clamp(position, 0, capacity_); }

}  // namespace tunecase

#include "midi/midi_byte_buffer.h"

#include <algorithm>
#include <utility>

#include "base/utilities.h"

namespace tunecase {

MidiByteBuffer::MidiByteBuffer(int capacity) : capacity_(std::max(capacity, 0)) {}

void MidiByteBuffer::freeBuffer() {
    bytes_.clear();
    bytes_.shrink_to_fit();
    capacity_ = byteLength_ = readPosition_ = 0;
}

int MidiByteBuffer::loadFile(std::string_view path) {
    std::vector<uint8_t> content;
    byteLength_ = readPosition_ = 0;
    if (!readUpTo(path, content, static_cast<size_t>(capacity_))) return 0;
    assign(std::move(content));
    return 1;
}

int MidiByteBuffer::saveFile(std::string_view path) const {
    return writeWhole(path, bytes(), static_cast<size_t>(byteLength_));
}

int MidiByteBuffer::assign(const uint8_t* data, int n) {
    n = data ? std::clamp(n, 0, capacity_) : 0;
    bytes_.assign(data, data + n);
    byteLength_ = n;
    readPosition_ = 0;
    return byteLength_;
}

int MidiByteBuffer::assign(std::vector<uint8_t>&& image) {
    bytes_ = std::move(image);
    if (bytes_.size() > static_cast<size_t>(capacity_)) bytes_.resize(static_cast<size_t>(capacity_));
    byteLength_ = static_cast<int>(bytes_.size());
    readPosition_ = 0;
    return byteLength_;
}

void MidiByteBuffer::setByteLength(int n) {
    byteLength_ = std::clamp(n, 0, capacity_);
    if (bytes_.size() < static_cast<size_t>(byteLength_)) bytes_.resize(static_cast<size_t>(byteLength_));
}

void MidiByteBuffer::setReadPosition(int position) { readPosition_ = std::clamp(position, 0, capacity_); }

}  // namespace tunecase

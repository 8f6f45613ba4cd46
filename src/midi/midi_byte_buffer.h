// A byte buffer with a capacity, a length and a read position: the raw bytes of a track
// chunk or of a whole Standard MIDI File.
//
// The capacity is the most the buffer may hold; storage is only taken for the bytes that
// are actually held, so a small file costs what it is, not what the largest song would.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace tunecase {

class MidiByteBuffer {
public:
    // A buffer that may hold up to `capacity` bytes (negative counts as 0); length 0,
    // position 0.
    explicit MidiByteBuffer(int capacity);
    virtual ~MidiByteBuffer() = default;
    MidiByteBuffer(const MidiByteBuffer&) = delete;
    MidiByteBuffer& operator=(const MidiByteBuffer&) = delete;

    // Frees the storage: capacity, length and position become 0.
    void freeBuffer();

    // Loads at most `capacity` bytes of the file; the number read becomes the length and
    // the position returns to 0. Returns 1, or 0 (after the general file error box) when
    // the file does not open.
    int loadFile(std::string_view path);

    // Saves the first `byteLength` bytes to the file (replaced whole). Returns 1 or 0.
    int saveFile(std::string_view path) const;

    // Replaces the content by a copy of n bytes (cut to the capacity); position 0.
    // Returns the number of bytes kept.
    int assign(const uint8_t* data, int n);
    // The same, taking the bytes over instead of copying them.
    int assign(std::vector<uint8_t>&& image);

    // The held bytes (byteLength of them), or nullptr when nothing has been stored.
    uint8_t* bytes() { return bytes_.empty() ? nullptr : bytes_.data(); }
    const uint8_t* bytes() const { return bytes_.empty() ? nullptr : bytes_.data(); }
    int byteLength() const { return byteLength_; }
    int readPosition() const { return readPosition_; }
    int capacity() const { return capacity_; }

    // Both are clamped to 0..capacity; a length beyond the bytes held adds zero bytes.
    void setByteLength(int n);
    void setReadPosition(int position);

protected:
    int byteLength_ = 0;
    int readPosition_ = 0;
    std::vector<uint8_t> bytes_;  // at least byteLength_ bytes, never more than capacity_
    int capacity_ = 0;
};

}  // namespace tunecase

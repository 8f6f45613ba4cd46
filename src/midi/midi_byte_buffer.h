// A fixed-capacity byte buffer with a length and a read position: the raw bytes of a
// track chunk or of a whole Standard MIDI File.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

namespace tunecase {

class MidiByteBuffer {
public:
    // Zero-filled storage of `capacity` bytes (negative counts as 0), length 0, position 0.
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

    uint8_t* bytes() { return bytes_.get(); }
    const uint8_t* bytes() const { return bytes_.get(); }
    int byteLength() const { return byteLength_; }
    int readPosition() const { return readPosition_; }
    int capacity() const { return capacity_; }

    // Both are clamped to 0..capacity.
    void setByteLength(int n);
    void setReadPosition(int position);

protected:
    int byteLength_ = 0;
    int readPosition_ = 0;
    std::unique_ptr<uint8_t[]> bytes_;
    int capacity_ = 0;
};

}  // namespace tunecase

// General utilities shared by every module: whole-file reading and writing, file and folder
// names, random integers, tempo arithmetic, base64.
//
// Failures show the general error box (GENE) and return the documented failure value; no
// function here throws.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tunecase {

// ---- Files -------------------------------------------------------------------------------

// The size at which a whole-file read is taken to be too large (0xF0000 bytes).
inline constexpr size_t kLargeReadLimit = 0xF0000;

// Reads at most `max` bytes of `path` into `out` (resized to what arrived).
// Returns 1 on success. A file that does not open shows an OK box with the path and
// GENE 0x01000007 with the path, leaves `out` empty and returns 0. When `max` is
// kLargeReadLimit and exactly that many bytes arrive, the file is too large:
// GENE 0x0100000A and the "delete to fix" box are shown, and 1 is still returned.
int readUpTo(std::string_view path, std::vector<uint8_t>& out, size_t max);

// Reads up to `size` bytes of `path` into `buffer`. Returns the number of bytes read,
// or -1 when the file does not open (nothing is shown; the caller decides).
int64_t readExact(std::string_view path, void* buffer, size_t size);

// Writes `size` bytes to `path` through a temporary file renamed over the old one, so a
// crash never leaves a short file. Returns 1 on success, 0 on failure (file unchanged);
// `reason`, when given, then gets the path and the system's reason ("PATH: No such file or
// directory").
int writeWhole(std::string_view path, const void* buffer, size_t size, std::string* reason = nullptr);

// 1 if `path` is a regular file that opens for reading, else 0.
int fileCanBeOpened(std::string_view path);

// Why `path` cannot be read, in plain words with the path ("song.mid: No such file or
// directory"); empty when it can.
std::string whyNotReadable(std::string_view path);

// The size of the file in bytes; 0 for a folder; -1 when nothing is there. A size of
// 4 GiB or more shows GENE 0x0100000D and returns -1.
int64_t fileSize(std::string_view path);

// 1 if anything (file or folder) exists at `path`.
int folderExists(std::string_view path);

// Creates every missing folder level of `path`, top down; existing levels are fine.
// Returns 1 when the folder exists afterwards.
int makeFolders(std::string_view path);

// The text after the last "\" or "/". In a Shift-JIS (CP932) path the second byte of a
// double-byte character never counts as a separator; a path that is valid UTF-8 is
// taken as UTF-8.
std::string fileNamePart(std::string_view path);

// The text after the last "." of the file name, with A..Z lower-cased; "" without a dot.
std::string extensionLower(std::string_view path);

// `folder` joined to `name` with one "/" between them.
std::string joinPath(std::string_view folder, std::string_view name);

// The current working folder, or "" when it cannot be read.
std::string currentFolder();

// ---- Numbers -----------------------------------------------------------------------------

// Seeds the standard library generator from the current time.
void seedRandom();

// Uniform over the closed range between a and b, in either order: low + rand() % (high -
// low + 1); a itself when a == b.
int randomBetween(int a, int b);

// 60000 / (u / 1000), integer division. A zero divisor shows GENE 0x01000012, returns 0.
int bpmFromMicroseconds(int microsecondsPerQuarter);

// (60000 / b) * 1000, integer division. A zero divisor shows GENE 0x01000013, returns 0.
int microsecondsFromBpm(int bpm);

// ---- Memory and encoding -----------------------------------------------------------------

using ZeroedBlock = std::unique_ptr<uint8_t[]>;

// A zero-filled block of `size` bytes; nullptr after GENE 0x01000002 when memory runs out.
ZeroedBlock allocZeroed(size_t size);

// Standard base64 (RFC 4648 alphabet, "=" padding), no line breaks.
std::string base64(const uint8_t* bytes, size_t n);

// The value of one hexadecimal digit (either case), or -1 for any other character.
int hexDigitValue(char c);

// Bounded copy of a NUL-terminated field of `capacity` bytes into a std::string.
std::string fieldText(const char* field, size_t capacity);

// Copies `text` into a fixed field of `capacity` bytes, NUL-terminated. Returns false and
// leaves the field unchanged when the text (plus its NUL) does not fit.
bool setFieldText(char* field, size_t capacity, std::string_view text);

}  // namespace tunecase

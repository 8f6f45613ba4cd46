// The song server's list: a delimited table of five columns split at ",", one row per song.
// Reading it (the client), writing it (our own server), searching it, and the request paths.
// Nothing here touches the network, so the readers can be fuzzed on their own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/table_reader.h"

namespace tunecase {

// Request paths on the song server.
inline constexpr const char* kSongListPath = "/music/music_get_list.php";
inline constexpr const char* kSongFilePath = "/music/music_get_file.php?fn=";
inline constexpr const char* kSongPagePath = "/music/song.php?fn=";

// The largest list answer a client reads. Other requests keep the 262,144-byte buffer; a
// list of a large library does not fit in that (3,000 songs make about 290 KB), so the list
// alone may be 8 MiB: room for the 39,999 rows a table keeps, and still a bound on what a
// server can send.
inline constexpr size_t kSongListAnswerLimit = size_t{8} << 20;

inline constexpr int kSongListColumns = 5;
inline constexpr char kSongListDelimiter = ',';

// The columns of a row.
enum SongListColumn : int {
    kColumnTitle = 0,     // shown in the list and searched
    kColumnKey = 1,       // not used by the client (our server puts the key name there)
    kColumnFileName = 2,  // passed to the file request
    kColumnPageUrl = 3,   // the song's web page
    kColumnExtra = 4,     // not used by the client (our server puts the tempo there)
};

// One row to write: the five cells as bytes.
struct SongListRow final {
    std::string cells[kSongListColumns];
};

class SongListTable final {
public:
    // Reads the list from the answer's bytes. Returns 1 when every row parsed; a table that
    // breaks off keeps the rows before the fault (and the reader's box has been shown), 0.
    int parse(std::string_view answer);

    int rows() const { return table_.rows(); }
    const std::string& cell(int row, int column) const { return table_.cell(row, column); }

    // The rows, in table order, whose title contains `search` byte for byte (case-sensitive);
    // every row when `search` is empty. A text typed as UTF-8 also matches a title stored in
    // Shift-JIS when its Shift-JIS form is contained.
    std::vector<int> search(std::string_view search) const;

private:
    TableReader table_;
};

// The request path of one song's file: kSongFilePath and the file name, percent-encoded so
// that names with blanks, "&", "#" or "+" reach the server whole.
std::string songFileRequest(std::string_view fileName);

// Percent-encodes every byte outside A-Z a-z 0-9 - . _ ~ (UTF-8 and Shift-JIS bytes included).
std::string percentEncode(std::string_view bytes);

// Decodes %XX escapes; "+" stays "+" (peers send names unencoded). False for a "%" not
// followed by two hexadecimal digits.
bool percentDecode(std::string_view text, std::string& out);

// One field of the table as our server writes it, so that the reader gets `value` back: a
// field holding the delimiter is put between double quotes, or, when it holds a double quote
// too, each comma is written as two backslashes. Line breaks become blanks. A field cannot
// start with a double quote unquoted, nor hold one quoted: such a leading quote becomes "'".
// (A pair of backslashes in a title reads back as a comma; the format has no way around it.)
std::string songListField(std::string_view value);

// The rows as list text, each ended by CR LF (the reader needs a line end after the last).
std::string songListText(const std::vector<SongListRow>& rows);

}  // namespace tunecase

// Arbitrary bytes as everything the song and upload servers send or are sent: the song list
// table, an upload answer and its page header, a posted form with its base64, a
// percent-encoded name, words searched and the server settings file. Also checks that a row our server writes reads back as written.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/reporter.h"
#include "base/utilities.h"
#include "net/server_settings.h"
#include "net/song_list_table.h"
#include "net/song_server_client.h"
#include "net/song_store.h"
#include "net/upload_form.h"

using namespace tunecase;

namespace {

// Cells the writer promises to carry unchanged: no backslash (a pair reads as a comma), no
// line break, no leading double quote, and short enough for the reader.
bool carriedUnchanged(const std::string& cell) {
    return cell.find_first_of("\\\r\n") == std::string::npos && (cell.empty() || cell[0] != '"') &&
           songListField(cell).size() <= kTableCellChars;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static SilentSink sink;
    setReportSink(&sink);
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    SongListTable table;
    table.parse(text);
    for (int row = 0; row < table.rows(); ++row)
        for (int column = 0; column < kSongListColumns; ++column)
            if (table.cell(row, column).size() > kTableCellChars) __builtin_trap();
    const std::string_view needle = text.substr(0, size % 5);
    for (int row : table.search(needle))
        if (row < 0 || row >= table.rows()) __builtin_trap();

    const std::string key = uploadKeyFromAnswer(text);
    if (key.size() > kUploadAnswerLimit || key.find('\0') != std::string::npos) __builtin_trap();

    for (const auto& field : splitFormBody(text)) {
        if (const auto bytes = decodeBase64(field.value)) {
            const std::string& v = field.value;
            size_t padding = 0;
            while (padding < v.size() && v[v.size() - 1 - padding] == '=') ++padding;
            if (bytes->size() != v.size() / 4 * 3 - padding) __builtin_trap();
            if (decodeBase64(base64(bytes->data(), bytes->size())) != bytes) __builtin_trap();
        }
        std::string decoded;
        if (percentDecode(field.value, decoded) && decoded.size() > field.value.size()) __builtin_trap();
        isUploadKey(field.value);
    }
    parseServerSettings(text);
    parseServerAddress(text);

    // An upload answer's page header: what is kept is printable, http(s) and ends in the key.
    const std::string page = uploadPageFromHeader(text, key);
    if (!page.empty()) {
        if (page != text || page.size() > 1000 || page.find(' ') != std::string::npos) __builtin_trap();
        if (page.compare(page.size() - key.size(), key.size(), key) != 0) __builtin_trap();
    }
    const std::string word(text.substr(0, size % 64));
    if (searchQuery(word).size() > 4 * word.size() + 8) __builtin_trap();

    // A row of up to five tab-separated cells, written and read back.
    SongListRow row;
    int column = 0;
    for (char c : text) {
        if (c == '\t') {
            if (++column == kSongListColumns) break;
        } else {
            row.cells[column].push_back(c);
        }
    }
    bool plain = true;
    for (const auto& cell : row.cells) plain = plain && carriedUnchanged(cell);
    if (plain) {
        SongListTable back;
        if (!back.parse(songListText({row, row})) || back.rows() != 2) __builtin_trap();
        for (int r = 0; r < 2; ++r)
            for (int c = 0; c < kSongListColumns; ++c)
                if (back.cell(r, c) != row.cells[c]) __builtin_trap();
    }
    return 0;
}

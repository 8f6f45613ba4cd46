#include "net/song_list_table.h"

#include "base/text_codec.h"
#include "base/utilities.h"

namespace tunecase {

int SongListTable::parse(std::string_view answer) {
    return table_.parse(reinterpret_cast<const uint8_t*>(answer.data()), answer.size(), kSongListColumns,
                        kSongListDelimiter);
}

std::vector<int> SongListTable::search(std::string_view text) const {
    // A title stored in Shift-JIS never contains the UTF-8 bytes a terminal or window types.
    const std::string shiftJis = isValidUtf8(text) ? utf8ToCp932(text) : std::string(text);
    std::vector<int> found;
    for (int row = 0; row < rows(); ++row) {
        const std::string& title = cell(row, kColumnTitle);
        if (text.empty() || title.find(text) != std::string::npos ||
            (shiftJis != text && title.find(shiftJis) != std::string::npos))
            found.push_back(row);
    }
    return found;
}

std::string percentEncode(std::string_view bytes) {
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes.size() * 3);
    for (char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                           c == '-' || c == '.' || c == '_' || c == '~';
        if (plain) {
            out.push_back(ch);
        } else {
            out.push_back('%');
            out.push_back(hex[c >> 4]);
            out.push_back(hex[c & 15]);
        }
    }
    return out;
}

bool percentDecode(std::string_view text, std::string& out) {
    out.clear();
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out.push_back(text[i]);
            continue;
        }
        const int high = i + 1 < text.size() ? hexDigitValue(text[i + 1]) : -1;
        const int low = i + 2 < text.size() ? hexDigitValue(text[i + 2]) : -1;
        if (high < 0 || low < 0) return false;
        out.push_back(static_cast<char>(high * 16 + low));
        i += 2;
    }
    return true;
}

std::string songFileRequest(std::string_view fileName) { return kSongFilePath + percentEncode(fileName); }

std::string songListField(std::string_view value) {
    std::string field(value);
    for (char& c : field)
        if (c == '\r' || c == '\n') c = ' ';
    const bool hasComma = field.find(kSongListDelimiter) != std::string::npos;
    const bool hasQuote = field.find('"') != std::string::npos;
    if (hasComma && !hasQuote) return '"' + field + '"';
    if (!field.empty() && field[0] == '"') field[0] = '\'';
    if (!hasComma) return field;
    std::string out;
    for (char c : field) {
        if (c == kSongListDelimiter)
            out += "\\\\";
        else
            out.push_back(c);
    }
    return out;
}

std::string songListText(const std::vector<SongListRow>& rows) {
    std::string out;
    for (const auto& row : rows) {
        for (int i = 0; i < kSongListColumns; ++i) {
            if (i > 0) out.push_back(kSongListDelimiter);
            out += songListField(row.cells[i]);
        }
        out += "\r\n";
    }
    return out;
}

}  // namespace tunecase

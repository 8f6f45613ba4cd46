// Reader for delimited text tables (the song server's list files): quoted fields without
// escapes, CR LF or LF line ends, a "\\" pair in a field standing for a comma.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "base/reporter.h"
#include "base/translation.h"

namespace tunecase {

namespace gnll {
inline constexpr uint32_t CannotOpen = 0x1E000001;
inline constexpr uint32_t DataError = 0x1E000002;
inline constexpr uint32_t TooManyItems = 0x1E000003;
inline constexpr uint32_t InvalidSpace = 0x1E000004;
inline constexpr uint32_t NoDirectory = 0x1E000005;
inline constexpr uint32_t TitleTooLong = 0x1E000006;
inline constexpr uint32_t BadColumns = 0x1E000000;
}  // namespace gnll

extern const MessageTable kTableErrors;

inline constexpr size_t kTableBufferBytes = 1'400'000;
inline constexpr int kTableMaxColumns = 130;
inline constexpr int kTableRowLimit = 39'999;  // storing one more row than this stops the read
inline constexpr size_t kTableCellChars = 254;  // longest field kept
inline constexpr const char* kLineErrorSuffix = N_("line error occrued!");

class TableReader final {
public:
    // Decides whether a parsed row is stored: 1 keeps it.
    using RowFilter = std::function<int(const std::vector<std::string>& row)>;

    // Reads the table at `path` (a bare file name is taken from the current folder),
    // `columns` fields per row (1..130) split at `delimiter`. Returns 1 when the whole
    // file parsed. On failure the GNLL box is shown, the rows stored before it stay, an OK
    // box shows the path, and 0 is returned.
    int readTable(std::string_view path, int columns, char delimiter, RowFilter filter = {});

    // Parses bytes already in memory (the same rules and messages, without the path box).
    int parse(const uint8_t* data, size_t length, int columns, char delimiter,
              const RowFilter& filter = {});

    // The text of a cell; "" for an empty cell or one outside the table.
    const std::string& cell(int row, int column) const;
    int rows() const { return static_cast<int>(cells_.size()); }
    int columns() const { return columns_; }
    // The longest field seen in `column` while parsing (stored or not).
    int width(int column) const;
    const std::string& path() const { return path_; }

private:
    int parseRows(const uint8_t* data, size_t length, int columns, char delimiter,
                  const RowFilter& filter);

    std::string path_;
    int columns_ = 0;
    std::vector<std::vector<std::string>> cells_;
    std::vector<int> widths_;
};

}  // namespace tunecase

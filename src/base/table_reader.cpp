#include "base/table_reader.h"
#include "base/translation.h"

#include <algorithm>

#include "base/utilities.h"

namespace tunecase {

const MessageTable kTableErrors{
    "GNLL",
    {
        {gnll::CannotOpen, N_("Can not open list file. Do not drag & drop for copy. Do it for sohrt cut.")},
        {gnll::DataError, N_("List file data contains error value.")},
        {gnll::TooManyItems, N_("Too many items in list!")},
        {gnll::InvalidSpace, N_("List file contains invalid space!")},
        {gnll::NoDirectory, N_("Can not get directory!")},
        {gnll::TitleTooLong, N_("Song title is too long!")},
    },
    N_("Error occured during list loading!"),
};

namespace {

const std::string kEmpty;

// Every "\\" pair becomes one comma, left to right without overlap.
std::string unescapeCell(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == '\\') {
            out.push_back(',');
            ++i;
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

}  // namespace

int TableReader::readTable(std::string_view pathView, int columns, char delimiter, RowFilter filter) {
    cells_.clear();
    widths_.clear();
    std::string path(pathView);
    if (fileNamePart(path) == path) {
        std::string here = currentFolder();
        if (here.empty()) {
            reportCoded(kTableErrors, gnll::NoDirectory);
            path_ = path;
            reportText(path_, BoxKind::Ok);
            return 0;
        }
        path = joinPath(here, path);
    }
    path_ = path;
    if (!fileCanBeOpened(path_)) {
        reportCoded(kTableErrors, gnll::CannotOpen);
        reportText(path_, BoxKind::Ok);
        return 0;
    }
    std::vector<uint8_t> buffer(kTableBufferBytes);
    int64_t got = readExact(path_, buffer.data(), buffer.size());
    if (got < 0) {
        reportCoded(kTableErrors, gnll::CannotOpen);
        reportText(path_, BoxKind::Ok);
        return 0;
    }
    buffer.resize(got < 0 ? 0 : static_cast<size_t>(got));
    int ok = parse(buffer.data(), buffer.size(), columns, delimiter, filter);
    if (!ok) reportText(path_, BoxKind::Ok);
    return ok;
}

int TableReader::parse(const uint8_t* data, size_t length, int columns, char delimiter,
                       const RowFilter& filter) {
    cells_.clear();
    int ok = parseRows(data, length, columns, delimiter, filter);
    // Rows stored before a failure are kept, and unescaped like the rest.
    for (auto& r : cells_)
        for (auto& text : r) text = unescapeCell(text);
    return ok;
}

int TableReader::parseRows(const uint8_t* data, size_t length, int columns, char delimiter,
                           const RowFilter& filter) {
    if (columns < 1 || columns > kTableMaxColumns) {
        columns_ = 0;
        widths_.clear();
        reportCoded(kTableErrors, gnll::BadColumns);
        return 0;
    }
    columns_ = columns;
    widths_.assign(static_cast<size_t>(columns), 0);
    const auto delim = static_cast<uint8_t>(delimiter);
    auto isLineEnd = [](uint8_t c) { return c == '\r' || c == '\n'; };

    std::vector<std::string> row(static_cast<size_t>(columns));
    std::vector<size_t> fullLength(static_cast<size_t>(columns));
    size_t pos = 0;
    while (pos < length) {
        for (auto& text : row) text.clear();
        std::fill(fullLength.begin(), fullLength.end(), 0);
        for (int i = 0; i < columns; ++i) {
            auto& text = row[static_cast<size_t>(i)];
            size_t start, end;
            if (pos < length && data[pos] == '"') {
                start = pos + 1;
                end = start;
                while (end < length && data[end] != '"') ++end;
                if (end >= length) {
                    reportCoded(kTableErrors, gnll::DataError);
                    return 0;
                }
                pos = end + 1;  // past the closing quote
                if (pos < length && data[pos] == delim) ++pos;
            } else {
                start = pos;
                end = start;
                while (end < length && data[end] != delim && !isLineEnd(data[end])) ++end;
                if (end >= length) {
                    reportCoded(kTableErrors, gnll::DataError);
                    reportText(std::to_string(rows()) + tr(kLineErrorSuffix), BoxKind::Ok);

                    return 0;
                }
                pos = data[end] == delim ? end + 1 : end;  // a line end is left for the row end
            }
            // Keep one character more than a cell may hold, so an over-long field is still
            // recognised without copying all of it.
            size_t n = end - start;
            fullLength[static_cast<size_t>(i)] = n;
            text.assign(reinterpret_cast<const char*>(data + start), std::min(n, kTableCellChars + 1));
            int& width = widths_[static_cast<size_t>(i)];
            width = std::max(width, static_cast<int>(n));
            if (pos >= length || isLineEnd(data[pos])) break;
        }
        bool lineFeedFollows = false;
        if (pos < length && data[pos] == '\r') ++pos;
        if (pos < length && data[pos] == '\n') lineFeedFollows = true;

        if (!filter || filter(row) == 1) {
            for (size_t i = 0; i < row.size(); ++i) {
                if (fullLength[i] > kTableCellChars) {
                    reportCoded(kTableErrors, gnll::TitleTooLong);
                    return 0;
                }
            }
            cells_.push_back(row);
            if (rows() > kTableRowLimit) {
                reportCoded(kTableErrors, gnll::TooManyItems);
                return 0;
            }
        }
        if (lineFeedFollows) ++pos;
    }
    return 1;
}

const std::string& TableReader::cell(int row, int column) const {
    if (row < 0 || row >= rows() || column < 0 || column >= columns_) return kEmpty;
    return cells_[static_cast<size_t>(row)][static_cast<size_t>(column)];
}

int TableReader::width(int column) const {
    if (column < 0 || column >= static_cast<int>(widths_.size())) return 0;
    return widths_[static_cast<size_t>(column)];
}

}  // namespace tunecase

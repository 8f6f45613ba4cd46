// Arbitrary bytes as a delimited table: the first byte picks the column count and the
// second the delimiter; the rest is the table text.
#include <cstddef>
#include <cstdint>

#include "base/reporter.h"
#include "base/table_reader.h"


extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static tunecase::SilentSink sink;
    tunecase::setReportSink(&sink);
    if (size < 2) return 0;
    const int columns = 1 + data[0] % 140;  // also tries counts past the limit
    const char delimiter = static_cast<char>(data[1]);
    tunecase::TableReader table;
    table.parse(data + 2, size - 2, columns, delimiter,
                [](const std::vector<std::string>& row) { return row.empty() || row[0] != "skip" ? 1 : 0; });
    for (int r = 0; r < table.rows(); ++r)
        for (int c = 0; c <= table.columns(); ++c)
            if (table.cell(r, c).size() > 254) __builtin_trap();
    return 0;
}

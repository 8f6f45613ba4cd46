// Arbitrary bytes as setup.ini and mbox.lst: both records load from bytes of any length and
// content (in memory, by the rule the binding applies to the files), and every song list
// operation stays inside the 100 slots afterwards.
#include <cstddef>
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "base/config_control.h"
#include "base/records.h"
#include "base/reporter.h"
#include "songs/song_list.h"
#include "base/utilities.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tunecase;
    static tunecase::SilentSink sink;
    setReportSink(&sink);

    // The list record is 51,608 bytes; repeat the input to reach it so its fields vary.
    static std::vector<uint8_t> listBytes;
    listBytes.clear();
    if (size > 0) {
        // The input, then the bytes so far doubled until they reach the record's size.
        const size_t want = std::max(sizeof(SongList) + 8, size);
        listBytes.resize(want);
        std::memcpy(listBytes.data(), data, size);
        for (size_t have = size; have < want; have *= 2)
            std::memcpy(listBytes.data() + have, listBytes.data(), std::min(have, want - have));
    }
    if (size > 0 && data[0] & 1) listBytes.resize(listBytes.size() / 2);  // sometimes short

    const PlayerSettings defaults = defaultPlayerSettings();
    PlayerSettings settings;
    loadRecordBytes(data, size, &settings, sizeof settings, &defaults);
    const SongList empty = emptySongList();
    static SongList list;
    loadRecordBytes(listBytes.data(), listBytes.size(), &list, sizeof list, &empty);
    normaliseSongList(list);
    const int ops = size > 1 ? data[1] % 16 : 0;
    for (int i = 0; i < ops; ++i) {
        switch ((data[i % size] >> 2) % 5) {
            case 0: stepForward(list); break;
            case 1: stepBack(list); break;
            case 2: removeEntry(list, data[(i + 1) % size] - 10); break;
            case 3: insertOrAppend(list, "/tmp/x.mid", "x", data[(i + 2) % size] % 101 - 1); break;
            default: selectLast(list); break;
        }
        if (list.count < 0 || list.count > kMaxSongs) __builtin_trap();
        if (list.currentIndex < 0 || list.currentIndex >= (list.count > 0 ? list.count : 1)) __builtin_trap();
        if (fieldText(currentEntry(list).title, kTitleBytes).size() >= kTitleBytes) __builtin_trap();
    }
    return 0;
}

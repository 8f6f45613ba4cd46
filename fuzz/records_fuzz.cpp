// Arbitrary bytes as setup.ini and mbox.lst: both records load from a file of any size and
// content, and every song list operation stays inside the 100 slots afterwards.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "base/config_control.h"
#include "base/records.h"
#include "base/reporter.h"
#include "songs/song_list.h"
#include "base/utilities.h"

namespace {

std::string scratchPath(const char* name) {
    return "/tmp/tunecase-fuzz-" + std::to_string(::getpid()) + "-" + name;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tunecase;
    static tunecase::SilentSink sink;
    setReportSink(&sink);

    const std::string settingsPath = scratchPath("setup.ini");
    const std::string listPath = scratchPath("mbox.lst");
    writeWhole(settingsPath, data, size);
    // The list record is 51,608 bytes; repeat the input to reach it so its fields vary.
    std::string listBytes;
    if (size > 0)
        while (listBytes.size() < sizeof(SongList) + 8) listBytes.append(reinterpret_cast<const char*>(data), size);
    if (size > 0 && data[0] & 1) listBytes.resize(listBytes.size() / 2);  // sometimes short
    writeWhole(listPath, listBytes.data(), listBytes.size());

    PlayerSettings defaults = defaultPlayerSettings();
    PlayerSettings settings;
    SongList empty = emptySongList();
    SongList list;
    {
        CConfigControl settingsControl(settingsPath, &settings, sizeof settings, &defaults);
        CConfigControl listControl(listPath, &list, sizeof list, &empty);
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
            (void)fieldText(currentEntry(list).title, kTitleBytes);
        }
    }
    std::remove(settingsPath.c_str());
    std::remove(listPath.c_str());
    return 0;
}

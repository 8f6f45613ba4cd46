#include "cli/song_data_info.h"
#include "base/translation.h"

#include <cstdio>
#include <nlohmann/json.hpp>
#include <vector>

#include "base/text_codec.h"
#include "base/utilities.h"
#include "cli/json_output.h"
#include "songs/song_data.h"

namespace tunecase::cli {

namespace {

std::string trimmedKey(const CSongData& song) {
    std::string name = song.keyName();
    while (!name.empty() && name.back() == ' ') name.pop_back();
    return name;
}

// Lyric lines up to the last one that holds text, shown as titles are.
std::vector<std::string> shownLyrics(const CSongData& song) {
    const auto& lines = song.lyricLines();
    size_t used = lines.size();
    while (used > 0 && lines[used - 1].empty()) --used;
    std::vector<std::string> out;
    for (size_t i = 0; i < used; ++i) out.push_back(displayText(lines[i]));
    return out;
}

}  // namespace

int songDataInfo(const std::string& path, bool json) {
    std::vector<uint8_t> bytes;
    // Nothing past the current layout is read; a larger file has the same layout.
    if (!readUpTo(path, bytes, songdata::kFileSize)) return 1;
    int measures = 0, beats = 0, key = 0, mode = 0;
    auto song = CSongData::fromFileBytes(bytes.data(), bytes.size(), measures, beats, key, mode, path);
    if (!song->isLoaded()) return 1;  // the reader said why
    const std::vector<std::string> lyrics = shownLyrics(*song);
    if (json) {
        nlohmann::ordered_json out = {
            {"file", displayText(path)},
            {"kind", "song-data"},
            {"size", bytes.size()},
            {"title", displayText(song->title())},
            {"measures", song->measures()},
            {"beatsPerMeasure", song->beatsPerMeasure()},
            {"key", trimmedKey(*song)},
            {"tempo", song->tempo()},
            {"program", song->program()},
            {"lowestNote", song->lowestNote()},
            {"highestNote", song->highestNote()},
            {"lyrics", lyrics},
        };
        std::printf("%s\n", jsonLine(out).c_str());
        return 0;
    }
    std::printf(tr("file:     %s\ntitle:    %s\nmeasures: %d\nbeats:    %d\nkey:      %s\ntempo:    %d\n"
                   "program:  %d\nlowest:   %d\nhighest:  %d\n"),
                escapeControls(path).c_str(), escapeControls(song->title()).c_str(), song->measures(),
                song->beatsPerMeasure(), escapeControls(trimmedKey(*song)).c_str(), song->tempo(), song->program(),
                song->lowestNote(), song->highestNote());
    for (const auto& line : lyrics) std::printf(tr("lyrics:   %s\n"), escapeControls(line).c_str());
    return 0;
}

}  // namespace tunecase::cli

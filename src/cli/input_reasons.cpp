#include "cli/input_reasons.h"

#include <array>
#include <cstdio>
#include <cstring>

#include "base/reporter.h"
#include "base/translation.h"
#include "base/utilities.h"
#include "songs/song_data.h"

namespace tunecase::cli {

namespace {

// A MIDI file starts with "MThd", or carries it at 128 behind a MacBinary header.
bool startsLikeMidi(const std::string& path) {
    std::array<char, 132> head{};
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    const size_t got = std::fread(head.data(), 1, head.size(), f);
    std::fclose(f);
    return (got >= 4 && std::memcmp(head.data(), "MThd", 4) == 0) ||
           (got >= 132 && std::memcmp(head.data() + 128, "MThd", 4) == 0);
}

bool looksLikeSongData(const std::string& path) {
    if (extensionLower(path) == "mwd") return true;
    const int64_t size = fileSize(path);
    return size > 0 && isSongDataSize(static_cast<size_t>(size)) && songDataFileProblem(path).empty();
}

}  // namespace

std::string midiInputReason(std::string_view command, const std::string& path) {
    if (std::string unreadable = whyNotReadable(path); !unreadable.empty()) return unreadable;
    const std::string name = fileNamePart(path);
    if (startsLikeMidi(path)) return {};
    if (looksLikeSongData(path))
        return fillIn(tr("%s reads MIDI files; %s is a song-data file: arrange it first"), {command, name});
    return fillIn(tr("%s reads MIDI files; %s does not start like one (a MIDI file starts with \"MThd\")"),
                  {command, name});
}

std::string songDataInputReason(std::string_view command, const std::string& path) {
    if (std::string unreadable = whyNotReadable(path); !unreadable.empty()) return unreadable;
    if (startsLikeMidi(path))
        return fillIn(tr("%s reads song-data files (.mwd); %s is a MIDI file"), {command, fileNamePart(path)});
    return songDataFileProblem(path);
}

}  // namespace tunecase::cli

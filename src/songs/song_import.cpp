#include "songs/song_import.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <thread>

#include "base/reporter.h"
#include "songs/song_list.h"
#include "base/utilities.h"
#include "midi/midi_f0_data.h"
#include "base/translation.h"

namespace tunecase {

namespace {

std::string timeStampedName(std::chrono::system_clock::time_point now) {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    std::tm utc{};
    ::gmtime_r(&seconds, &utc);
    char name[64];
    std::snprintf(name, sizeof name, "%d-%d-%d-%d-%d-%d-%d.mid", utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday,
                  utc.tm_hour, utc.tm_min, utc.tm_sec, static_cast<int>(ms));
    return name;
}

}  // namespace

std::string newSongPath(std::string_view folder) {
    for (;;) {
        std::string path = joinPath(folder, timeStampedName(std::chrono::system_clock::now()));
        if (!folderExists(path)) return path;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

bool addSongToList(SongList& list, std::string_view path, std::string_view title, int at) {
    if (list.count >= kMaxSongs) {
        reportText(kListFullText, BoxKind::Ok);
        return false;
    }
    if (path.size() >= kPathBytes || title.size() >= kTitleBytes) {
        reportText(N_("The song's file name or title is too long to be kept in the list."), BoxKind::Ok);
        return false;
    }
    return insertOrAppend(list, path, title, at);
}

ImportedSong importMidiFile(const std::string& source, const std::string& dataFolder) {
    ImportedSong result;
    auto song = MidiF0Data::openFile(source, kDefaultSongCapacity);
    if (!song || !song->isLoaded() || !song->track()) return result;
    MidiTrackData& track = *song->track();

    for (int ch = 0; ch < 16; ++ch)
        if (track.isDrumChannel(ch)) song->deleteChannel(ch);

    track.removeProgramChanges(-1);
    for (int ch = 0; ch < 16; ++ch) {
        bool used = false;
        for (int i = 0; i < track.eventCount() && !used; ++i) used = track.event(i)->channel == ch;
        if (used) track.insertProgramChangeForChannel(ch, kMusicBoxProgram);
    }

    track.removePitchBends();
    song->changeDivision(kImportDivision);
    track.removeControlChanges();
    song->removeTempos(0, -1);
    song->insertTempoAtFirstNote(kImportTempo);

    std::string title = song->title();
    if (title.empty()) title = fileNamePart(source);

    result.path = newSongPath(dataFolder);
    if (!song->saveFile(result.path)) return result;
    result.title = title;
    result.ok = true;
    return result;
}

}  // namespace tunecase

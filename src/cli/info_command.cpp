// tunecase-cli info: what a Standard MIDI File holds, track by track, and what the player
// makes of it (the song merged into one track).
#include <cstdio>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <utility>
#include <vector>

#include "base/text_codec.h"
#include "base/translation.h"
#include "base/utilities.h"
#include "cli/commands.h"
#include "cli/json_output.h"
#include "cli/song_data_info.h"
#include "midi/midi_f0_data.h"
#include "midi/midi_f1_data.h"
#include "midi/midi_file_messages.h"

namespace tunecase::cli {

namespace {

struct TrackCounts {
    int events = 0;  // as in the file: note on and note off apart
    int notes = 0;   // after pairing them
};

struct FileDescription {
    int format = 0;
    int division = 0;
    int smpteDivision = 0;  // the header's division bits of a file timed in SMPTE frames
    int declaredTracks = 0; // as the header says (what an SMPTE file shows)
    std::vector<TrackCounts> tracks;
    int mergedNotes = 0;
    long long mergedLengthTicks = 0;
};

int countNotes(const MidiTrackData& track) {
    int n = 0;
    for (const auto& e : track.events())
        if (e->status == ev::Note) ++n;
    return n;
}

// A format 0 file (its bytes are taken over): its one track, as read and as paired notes.
bool describeFormat0(std::vector<uint8_t>&& bytes, FileDescription& d, MidiF0Data& song) {
    song.assign(std::move(bytes));
    if (!song.readHeader(true) || !song.readTrack()) return false;
    TrackCounts counts;
    counts.events = song.track()->eventCount();
    song.toNotes();
    counts.notes = countNotes(*song.track());
    d.tracks.push_back(counts);
    d.division = song.division();
    return true;
}

// Format 1, or anything else (the format 1 reader says what is wrong with it): every track,
// then the merge the player makes of them into `merged`.
bool describeFormat1(std::vector<uint8_t>&& bytes, FileDescription& d, MidiF0Data& merged) {
    MidiF1Data file(kDefaultSongCapacity);
    file.assign(std::move(bytes));
    std::vector<int> eventsAsRead;
    if (!file.readHeader() || !file.readTracksAsNotes(&eventsAsRead)) return false;
    for (int i = 0; i < file.trackCount(); ++i)
        d.tracks.push_back({eventsAsRead[static_cast<size_t>(i)], countNotes(*file.track(i))});
    d.division = file.division();
    // As the player opens it: a master volume where none is set, then one track.
    file.ensureMasterVolume(false);
    if (file.trackCount() > 0) file.moveMergedInto(merged);
    else merged.setDivision(d.division);
    return true;
}

// Reads the file at `path` and describes it; false after the readers' messages.
bool describeMidiFile(const std::string& path, FileDescription& d) {
    if (fileSize(path) > kDefaultSongCapacity) {
        format1Error(m1dt::TooLarge);
        return false;
    }
    std::vector<uint8_t> bytes;
    if (!readUpTo(path, bytes, static_cast<size_t>(kDefaultSongCapacity))) return false;
    if (bytes.empty()) {
        format1Error(m1dt::NotMidi);
        return false;
    }
    int length = static_cast<int>(bytes.size());
    d.format = MidiF0Data::fileFormatOf(bytes.data(), length);  // may drop a header in front
    bytes.resize(static_cast<size_t>(length));
    // A file timed in SMPTE frames is described from its header: it is not played.
    d.smpteDivision = smpteDivisionOf(bytes.data(), length);
    if (d.smpteDivision != 0) {
        d.declaredTracks = (bytes[10] << 8) | bytes[11];
        return true;
    }
    std::unique_ptr<MidiF0Data> song;
    if (d.format == 0) {
        song = std::make_unique<MidiF0Data>(kDefaultSongCapacity);
        if (!describeFormat0(std::move(bytes), d, *song)) return false;
    } else {
        song = MidiF0Data::newSong();
        if (!describeFormat1(std::move(bytes), d, *song)) return false;
    }
    d.mergedNotes = countNotes(*song->track());
    d.mergedLengthTicks = static_cast<long long>(song->lengthInTicks());
    return true;
}

void printSmpteText(const std::string& path, const FileDescription& d) {
    std::printf(tr("file:     %s\nformat:   %d\ntracks:   %d\ndivision: %s (not played)\n"), escapeControls(path).c_str(),
                d.format, d.declaredTracks, smpteDivisionText(d.smpteDivision).c_str());
}

void printText(const std::string& path, const FileDescription& d) {
    std::printf(tr("file:     %s\nformat:   %d\ntracks:   %zu\ndivision: %d\n"), escapeControls(path).c_str(), d.format,
                d.tracks.size(), d.division);
    for (size_t i = 0; i < d.tracks.size(); ++i)
        std::printf(tr("track %2zu: %d events, %d notes\n"), i, d.tracks[i].events, d.tracks[i].notes);
    std::printf(tr("merged:   %d notes, %lld ticks\n"), d.mergedNotes, d.mergedLengthTicks);
}

// The file name is shown as the player shows titles (UTF-8, or decoded from CP932), so the
// output is always valid UTF-8.
void printJson(const std::string& path, const FileDescription& d) {
    if (d.smpteDivision != 0) {
        const int frames = -static_cast<int8_t>((d.smpteDivision >> 8) & 0xFF);
        nlohmann::ordered_json out = {
            {"file", displayText(path)},
            {"format", d.format},
            {"tracks", d.declaredTracks},
            {"division", nullptr},
            {"smpte",
             {{"framesPerSecond", frames == 29 ? nlohmann::ordered_json(29.97) : nlohmann::ordered_json(frames)},
              {"ticksPerFrame", d.smpteDivision & 0xFF}}},
            {"playable", false},
        };
        std::printf("%s\n", jsonLine(out).c_str());
        return;
    }
    nlohmann::ordered_json tracks = nlohmann::ordered_json::array();
    for (size_t i = 0; i < d.tracks.size(); ++i)
        tracks.push_back({{"index", i}, {"events", d.tracks[i].events}, {"notes", d.tracks[i].notes}});
    nlohmann::ordered_json out = {
        {"file", displayText(path)},
        {"format", d.format},
        {"tracks", d.tracks.size()},
        {"division", d.division},
        {"trackInfo", tracks},
        {"merged", {{"notes", d.mergedNotes}, {"lengthTicks", d.mergedLengthTicks}}},
    };
    std::printf("%s\n", jsonLine(out).c_str());
}

struct InfoOptions {
    bool json = false;
    std::string path;
};

int info(const InfoOptions& o) {
    if (extensionLower(o.path) == "mwd") return songDataInfo(o.path, o.json);
    FileDescription d;
    if (!describeMidiFile(o.path, d)) return 1;
    if (o.json) printJson(o.path, d);
    else if (d.smpteDivision != 0) printSmpteText(o.path, d);
    else printText(o.path, d);
    return 0;
}

}  // namespace

Action declareInfo(CLI::App& sub) {
    auto o = std::make_shared<InfoOptions>();
    sub.add_flag("--json", o->json, tr("print the description as one JSON object"));
    sub.add_option("FILE", o->path, tr("the MIDI or song-data (.mwd) file to describe"))->required();
    return [o] { return info(*o); };
}

}  // namespace tunecase::cli

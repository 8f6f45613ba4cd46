// tunecase-cli info: what a Standard MIDI File holds, track by track, and what the player
// makes of it (the song merged into one track).
#include <cstdio>
#include <string>
#include <vector>

#include "base/utilities.h"
#include "cli/commands.h"
#include "midi/midi_f0_data.h"
#include "midi/midi_f1_data.h"
#include "midi/midi_file_messages.h"

namespace tunecase::cli {

namespace {

struct TrackCounts {
    int events = 0;  // as in the file: note on and note off apart
    int notes = 0;   // after pairing them
};

int countNotes(const MidiTrackData& track) {
    int n = 0;
    for (const auto& e : track.events())
        if (e->status == ev::Note) ++n;
    return n;
}

std::string jsonString(const std::string& s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

}  // namespace

int infoMain(const Args& args) {
    bool json = false;
    std::string path;
    for (const auto& a : args) {
        if (a == "--json") {
            json = true;
        } else if (!a.empty() && a[0] == '-') {
            std::fprintf(stderr, "tunecase-cli info: unknown option '%s'\n", a.c_str());
            return 2;
        } else if (path.empty()) {
            path = a;
        } else {
            std::fprintf(stderr, "tunecase-cli info: unexpected argument '%s'\n", a.c_str());
            return 2;
        }
    }
    if (path.empty()) {
        std::fprintf(stderr, "usage: tunecase-cli info [--json] FILE\n");
        return 2;
    }

    if (fileSize(path) > kDefaultSongCapacity) {
        format1Error(m1dt::TooLarge);
        return 1;
    }
    std::vector<uint8_t> bytes;
    if (!readUpTo(path, bytes, static_cast<size_t>(kDefaultSongCapacity))) return 1;
    int length = static_cast<int>(bytes.size());
    if (length == 0) {
        format1Error(m1dt::NotMidi);
        return 1;
    }
    const int format = MidiF0Data::fileFormatOf(bytes.data(), length);

    std::vector<TrackCounts> tracks;
    int division = 0;
    auto song = MidiF0Data::newSong();
    if (format == 0) {
        song = std::make_unique<MidiF0Data>(kDefaultSongCapacity);
        song->assign(bytes.data(), length);
        if (!song->readHeader(true)) return 1;
        if (!song->readTrack()) return 1;
        TrackCounts counts;
        counts.events = song->track()->eventCount();
        song->toNotes();
        counts.notes = countNotes(*song->track());
        tracks.push_back(counts);
        division = song->division();
    } else {
        // Format 1, or anything else: the format 1 reader says what is wrong with it.
        MidiF1Data file(kDefaultSongCapacity);
        file.assign(bytes.data(), length);
        if (!file.readHeader()) return 1;
        if (!file.readTracks()) return 1;
        for (int i = 0; i < file.trackCount(); ++i) tracks.push_back({file.track(i)->eventCount(), 0});
        file.toNotes();
        for (int i = 0; i < file.trackCount(); ++i) tracks[static_cast<size_t>(i)].notes = countNotes(*file.track(i));
        division = file.division();
        // As the player opens it: a master volume where none is set, then one track.
        file.ensureMasterVolume(false);
        if (file.trackCount() > 0) file.mergeInto(*song);
        else song->setDivision(division);
    }
    const int mergedNotes = countNotes(*song->track());
    const long long mergedLength = static_cast<long long>(song->lengthInTicks());

    if (json) {
        std::printf("{\"file\": %s, \"format\": %d, \"tracks\": %zu, \"division\": %d, \"trackInfo\": [",
                    jsonString(path).c_str(), format, tracks.size(), division);
        for (size_t i = 0; i < tracks.size(); ++i)
            std::printf("%s{\"index\": %zu, \"events\": %d, \"notes\": %d}", i ? ", " : "", i, tracks[i].events,
                        tracks[i].notes);
        std::printf("], \"merged\": {\"notes\": %d, \"lengthTicks\": %lld}}\n", mergedNotes, mergedLength);
    } else {
        std::printf("file:     %s\nformat:   %d\ntracks:   %zu\ndivision: %d\n", path.c_str(), format, tracks.size(),
                    division);
        for (size_t i = 0; i < tracks.size(); ++i)
            std::printf("track %2zu: %d events, %d notes\n", i, tracks[i].events, tracks[i].notes);
        std::printf("merged:   %d notes, %lld ticks\n", mergedNotes, mergedLength);
    }
    return 0;
}

}  // namespace tunecase::cli

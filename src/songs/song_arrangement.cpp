#include "songs/song_arrangement.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <system_error>

#include "base/general_errors.h"
#include "base/reporter.h"
#include "base/utilities.h"
#include "compose/compose_context.h"
#include "compose/compose_driver.h"
#include "compose/compose_errors.h"
#include "midi/midi_f1_data.h"
#include "songs/song_data.h"
#include "styles/composition_parameters.h"
#include "styles/knowledge_names.h"
#include "styles/style_catalogue.h"

namespace tunecase {

namespace {

constexpr const char* kNoChord = "----";
constexpr const char* kSkipBeat = "Skip";
constexpr int kHalfBeat = 48;
constexpr int kReloadCapacity = 0x60000;
// A half beat without a chord name still ends a chord that has lasted longer than this.
constexpr int kUnnamedChordTicks = 767;

struct Quality {
    std::string_view suffix;
    const char* quality;
};

constexpr Quality kQualities[] = {
    {"", "MPo"},       {" ", "MPo"},      {"m", "mPo"},     {"7", "MPs"},      {"M7", "MPS"},
    {"m7", "mPs"},     {"mM7", "mPS"},    {"dim", "mdo"},   {"sus4", "4Po"},   {"7sus4", "4Ps"},
    {"<b5>", "Mdo"},   {"7<b5>", "Mds"},  {"aug", "MAo"},   {"augM7", "MAS"},  {"aug7", "MAs"},
    {"dim7", "md6"},   {"m7b5", "mds"},   {"6", "MP6"},     {"add9", "MP9"},   {"m6", "mP6"},
    {"7b5", "Mds"},    {"madd9", "mP9"},
};

// The engine's letter a semitone above or below a natural root, 0 for other letters.
char sharpened(char root) {
    switch (root) {
    case 'A': return 'b';
    case 'B': return 'C';
    case 'C': return 'd';
    case 'D': return 'e';
    case 'E': return 'F';
    case 'F': return 'g';
    case 'G': return 'a';
    default: return 0;
    }
}

char flattened(char root) {
    switch (root) {
    case 'A': return 'a';
    case 'B': return 'b';
    case 'C': return 'B';
    case 'D': return 'd';
    case 'E': return 'e';
    case 'F': return 'E';
    case 'G': return 'g';
    default: return 0;
    }
}

const char* qualityOf(std::string_view suffix) {
    for (const Quality& q : kQualities)
        if (q.suffix == suffix) return q.quality;
    return !suffix.empty() && suffix.front() == '9' ? "MP9" : "MPo";
}

std::string bassDigits(int value) {
    char text[3];
    std::snprintf(text, sizeof text, "%02d", std::clamp(value, 0, 99));
    return text;
}

// The note lines as the walk builds them: a running note grows while the grid continues it.
class LineBuilder {
public:
    explicit LineBuilder(ArrangedGrid& grid) : grid_(grid) {}

    void Position(int32_t value, bool melody, int ticks) {
        if (!started_ && value == songdata::kContinue) value = songdata::kRest;  // nothing to continue
        started_ = true;
        if (value == songdata::kContinue) {
            length_ += ticks;
            return;
        }
        Emit();
        value_ = value;
        melody_ = melody;
        length_ = ticks;
    }

    // Writes the running note out; the walk's end calls it once more.
    void Emit() {
        if (!started_ || length_ == 0) return;
        if (value_ < 0) {
            // A rest, or a position the grid marks unused: both lines wait, so that they
            // stay in time with the chords.
            grid_.melody.push_back({length_, 0});
            grid_.accompaniment.push_back({length_, 0});
        } else if (melody_) {
            grid_.melody.push_back({length_, value_});
            grid_.accompaniment.push_back({length_, 0});
        } else {
            grid_.accompaniment.push_back({length_, value_});
            grid_.melody.push_back({length_, 0});
        }
        length_ = 0;
    }

private:
    ArrangedGrid& grid_;
    bool started_ = false;
    int32_t value_ = songdata::kRest;
    bool melody_ = false;
    int32_t length_ = 0;
};

// Notes longer than `longest` become a note of that length followed by rests; the line is
// cut at kArrangedLineCapacity events (reported once).
std::vector<ArrangedNote> finishLine(const std::vector<ArrangedNote>& line, int longest) {
    std::vector<ArrangedNote> out;
    out.reserve(line.size());
    bool full = false;
    auto add = [&](ArrangedNote n) {
        if (out.size() >= kArrangedLineCapacity) {
            if (!full) ReportComposeError(zemc::NoMoreNotes);
            full = true;
            return;
        }
        out.push_back(n);
    };
    for (ArrangedNote n : line) {
        int32_t left = n.length;
        int32_t pitch = n.pitch;
        while (left > longest) {
            add({longest, pitch});
            left -= longest;
            pitch = 0;
        }
        add({left, pitch});
    }
    return out;
}

// The record at `path` when it was read as a song-data file. A file that is missing or
// cannot be opened is reported here; one the reader refused has said why.
std::unique_ptr<CSongData> loadSongData(const std::string& path) {
    auto song = CSongData::open(path);
    if (song->isLoaded()) return song;
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) generalError(gene::CantFindFile, path);
    else if (!fileCanBeOpened(path)) generalError(gene::CantOpenFile, path);
    return nullptr;
}

// A name beside `path` for the engine's own file, removed when it goes.
class ScratchFile {
public:
    explicit ScratchFile(const std::string& path) : path_(path + ".arranging-" + std::to_string(::getpid())) {}
    ~ScratchFile() { std::remove(path_.c_str()); }
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

}  // namespace

std::string chordCode(std::string_view name) {
    if (name == kNoChord) return "CMPS";
    if (name == kSkipBeat || name.empty()) return std::string(name);
    char root = name[0];
    std::string_view suffix = name.substr(1);
    if (name.size() > 1 && (name[1] == '#' || name[1] == 'b')) {
        const char moved = name[1] == '#' ? sharpened(root) : flattened(root);
        if (moved) root = moved;
        else reportText(kArrangerErrorText, BoxKind::Ok);
        suffix = name.substr(2);
    }
    return std::string(1, root) + qualityOf(suffix);
}

void setArrangerParameters(ComposeContext& ctx, int melodyProgram, int tempoBpm, int part3Program, int part7Program,
                           int beatKind, int keepDelays) {
    CompositionParameters& p = ctx.parameters;
    SelectKnowledgeSet(ctx, 1);
    p.modulation[0] = 0;
    p.progressionMethod = 8;
    p.partRules[1][rule::SecondLine] = 0;
    if (!keepDelays)
        for (int part : {1, 2, 3, 4, 5, 7, 8, 9}) p.partMixer[part][mixer::CopyDelay] = 0;
    p.partProgram[8] = kNotPlayed;
    p.partProgram[1] = melodyProgram;
    p.tempo = microsecondsFromBpm(tempoBpm);
    p.partProgram[3] = part3Program;
    p.partProgram[7] = part7Program;
    p.beatKind = static_cast<int16_t>(beatKind);
    ctx.engine.arrangementMode = kArrangingMode;
    ctx.engine.suppliedMelody = true;
    ctx.engine.suppliedSecondLine = false;
}

void applySongKey(ComposeContext& ctx, int keyIndex) {
    const SongKey& key = songKey(keyIndex);
    if (key.minor) {
        SelectKnowledgeSet(ctx, 2);
        ctx.parameters.key = (key.tonic + 3) % 12;
    } else {
        SelectKnowledgeSet(ctx, 1);
        ctx.parameters.key = key.tonic;
    }
}

ArrangedGrid arrangeGrid(const CSongData& song, int longestNote) {
    ArrangedGrid grid;
    LineBuilder lines(grid);
    const int beatsPerMeasure = song.beatsPerMeasure();
    const int beats = std::min(song.beatCount(), static_cast<int>(songdata::kMaxBeats));
    // A chord named again is written anew once it has lasted two measures.
    const int renewTicks = beatsPerMeasure * 4 * kHalfBeat;

    int32_t held = 0;                                    // ticks since the last chord entry
    std::string current = chordCode(song.chordName(0));  // the chord being held
    int bass = song.tableB(0);                           // and its bass value
    for (int beat = 0; beat < beats; ++beat) {
        const std::string first = song.chordName(beat);
        if (first == kSkipBeat) continue;
        const std::string second = song.secondChordName(beat);
        for (int half = 0; half < 2; ++half) {
            std::string name;
            if (half == 0 || second.empty()) {
                if (first == kNoChord) continue;
                name = first;
            } else {
                if (second == kNoChord) continue;
                name = second;
            }
            const std::string code = chordCode(name);
            const int halfBass = half == 0 ? song.tableB(beat) : song.tableC(beat);
            if (!name.empty() || held > kUnnamedChordTicks) {
                if (code != current || held >= renewTicks || halfBass != bass) {
                    // A chord that has not sounded yet (the song's first) is just replaced.
                    if (held > 0) grid.chords.push_back({held, current, bassDigits(bass)});
                    held = 0;
                    bass = halfBass;
                }
                if (!name.empty()) current = code;
            }
            const NoteRecord record = song.noteRecord(beat, half);
            const int positions = record.positions();
            for (int p = 0; p < positions; ++p) lines.Position(record.value[p], record.melody(p), kHalfBeat / positions);
            held += kHalfBeat;
        }
    }
    lines.Emit();
    grid.melody = finishLine(grid.melody, longestNote);
    grid.accompaniment = finishLine(grid.accompaniment, longestNote);
    if (held > 0) grid.chords.push_back({held, current, bassDigits(bass)});
    return grid;
}

int arrangeSongData(const std::string& songDataPath, const std::string& outputPath, std::string& titleOut,
                    std::optional<int32_t> seed) {
    std::unique_ptr<CSongData> song = loadSongData(songDataPath);
    if (!song) return 0;

    // A context of this arrangement's own (about 45 KB: on the heap).
    const auto ctx = std::make_unique<ComposeContext>();
    const int32_t songSeed = seed ? *seed : ClockSeed();
    ctx->Seed(songSeed);
    if (!rebuildAndApplyStyle(ctx->random, static_cast<unsigned>(songSeed), ctx->parameters, ctx->knowledgeNames,
                              kMusicBoxCategory, kMusicBoxSlot))
        return 0;
    CompositionParameters& p = ctx->parameters;
    p.timeSignature = song->beatsPerMeasure() == 4 ? 0 : 1;
    const ArrangedGrid grid = arrangeGrid(*song, kArrangedLongestNote);
    setArrangerParameters(*ctx, 10, 120, 10, 10, 1, 0);
    p.partMixer[15][mixer::Volume] = p.partMixer[1][mixer::Volume];
    p.partProgram[15] = 10;
    applySongKey(*ctx, song->keyIndex());
    p.scale = 1;

    // The engine writes beside the output; only the finished song takes the output's name.
    const ScratchFile scratch(outputPath);
    if (!renderArrangedGrid(*ctx, grid, scratch.path())) return 0;
    auto file = MidiF1Data::openFile(scratch.path(), kReloadCapacity);
    if (!file->isLoaded()) return 0;
    file->foldVolumeIntoVelocityAll();
    for (int i = 0; i < file->trackCount(); ++i) file->track(i)->removeControlChanges();
    if (!file->saveFile(outputPath)) return 0;
    titleOut = song->title();
    return 1;
}

}  // namespace tunecase

// The composition driver: the one door into the engine for automatic composition. It seeds
// the generator, applies the style, loads the knowledge files, repeats generation attempts
// until the song's length fits the style's target, and hands the result to score rendering,
// which writes the Standard MIDI File. Runs on the caller's thread and returns when the file
// is written (or the run has given up).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "compose/compose_information.h"
#include "compose/song_key.h"
#include "styles/style_catalogue.h"
#include "base/translation.h"

namespace tunecase {

struct ComposeContext;

// Songs play at 120 beats per minute unless another tempo is asked or the style is one of
// the music-box styles of our own, which keep theirs: 60000 / 120 * 1000.
inline constexpr int kComposeTempo = 60000 / 120 * 1000;

// When no attempt lands in the length window (a target the knowledge files cannot reach),
// the nearest of this many attempts is made into the song: the caller is never left hanging.
inline constexpr int kMaxComposeAttempts = 100;

// The smallest lower end of the accepted length window.
inline constexpr int kShortestWindow = 5;

struct ComposeOptions {
    bool seeded = false;  // use `seed` instead of the current time in seconds
    int32_t seed = 0;
    int measures = 0;     // the target length in measures; 0 keeps the style's own
    int category = kMusicBoxCategory;
    int slot = kMusicBoxSlot;
    // The key; none keeps the style's own (C major for the music-box styles). Another key than
    // C major or A minor is composed in one of those and transposed.
    std::optional<SongKey24> key;
    int meter = -1;       // 0 = 4/4, 1 = 3/4; -1 keeps the style's own
    int tempo = 0;        // microseconds per quarter note; 0: see kComposeTempo
    std::string title;    // the first track's name; "" writes none
    // Changes to the applied record before the knowledge files are loaded (callers that set
    // their own instruments, meter or rules).
    std::function<void(CompositionParameters&)> adjust;
};

// The knowledge files of set 1 (".DB", major) or 2 (".DB2", minor), the chart names for them
// and the style's knowledgeSet.
void SelectKnowledgeSet(ComposeContext& ctx, int set);

// The accepted length window of a target: a song of m measures is accepted when
// lower <= m + 2 <= upper.
struct LengthWindow {
    int lower;
    int upper;
    bool accepts(int measures) const { return lower <= measures + 2 && measures + 2 <= upper; }
    // How many measures `measures` lies outside the window (0 inside).
    int distance(int measures) const {
        return measures + 2 < lower ? lower - measures - 2 : measures + 2 > upper ? measures + 2 - upper : 0;
    }
};
LengthWindow LengthWindowFor(int target);

// Composes one song with the style of `options` and writes it to `outputPath`, working in
// `ctx` (a fresh context, or one a run has used before). Clears what an arrangement left in
// it (the arrangement switches, the supplied accompanying notes), seeds its generator (the
// song's seed, written into the song), rebuilds the style table and applies the style, sets
// the tempo and the chord display (and the key, meter, measure count, title and adjustments
// asked for), loads the knowledge files and runs the attempts. Returns 1 when the file was
// written; 0 when the style slot does not exist, a knowledge file cannot be read, the melody
// cannot be placed or the file cannot be saved (each reported where it happened). The
// context keeps the song's state for the caller to look at.
int ComposeSong(ComposeContext& ctx, std::string_view outputPath, const ComposeOptions& options = {});

// The attempt loop over the context's parameters, then rendering to its output name. Returns
// 1 when the song was written.
int ComposeAttempts(ComposeContext& ctx);

// The song made from the current form and charts: the melody of every block, the second
// line when the style has one, both joined in form order with their endings, and the
// structure marks. 0 when a melody block could not be placed.
int GenerateSong(ComposeContext& ctx);

// Fits the length of the current form (4/4 and 3/4; nothing for free progressions, one
// chord a measure, fixed four-chord charts and 7/8) by shortening or lengthening one chord
// at a time until the song is within one measure of `target` or the steps give up. Returns
// the measure count reached.
int FitSongLength(ComposeContext& ctx, int target);

// The length of the current form in measures (regular chords in form order and the closing
// chord), as the song chord sequence would count it.
int FormMeasures(const ComposeContext& ctx);

// What an arrangement hands the engine: the melody (rendered on channel 1), the accompanying
// notes (channel 15) and the chord entries with their lengths and bass texts, in playing
// order. The two note lists take the same time; a rest is a note of pitch 0.
struct SuppliedSong {
    EventList melody;
    EventList accompaniment;
    EventList chords;
};

// Shown when a style asks for key changes during an arrangement (none are made).
inline constexpr const char* kNoModulationText = N_("Key changes cannot be used.");

// The driver's arrangement form: the supplied chords take the place of the form and the
// progression, the supplied melody that of the generated one, and the style's
// accompaniment is added around them; then the song is rendered to `outputPath`. Runs on
// the context's parameters as the arranger set them (arrangement mode, supplied melody), with
// no lead-in and no chord markers. Returns 1 when the file was written; 0 when the
// arrangement switches are not set, the pattern file cannot be read or the file cannot be
// saved.
int ArrangeSuppliedSong(ComposeContext& ctx, std::string_view outputPath, const SuppliedSong& song);

}  // namespace tunecase

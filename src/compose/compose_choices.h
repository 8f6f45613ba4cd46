// What a user may ask of a composition (style, key, meter, tempo, length), checked and made
// into the driver's options and the song's title. The command line and the player's compose
// dialog both go through here, so they accept and refuse the same things in the same words.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "compose/compose_driver.h"
#include "compose/song_key.h"

namespace tunecase {

inline constexpr int kLowestComposeBpm = 40;
inline constexpr int kHighestComposeBpm = 200;
// The lengths the engine reaches within four measures (its length window takes songs up to
// four short, and the shortest forms it knows come out a measure long at 8 to 10): below 8
// they come out longer still, and above 200 (120 in 3/4) the knowledge runs out of forms
// long enough (681 gives about 280).
inline constexpr int kFewestComposeMeasures = 8;
inline constexpr int kMostComposeMeasures = 200;
inline constexpr int kMostComposeMeasuresIn34 = 120;
inline constexpr const char* kDefaultComposeStyle = "Music Box";

struct ComposeChoices {
    std::string style = kDefaultComposeStyle;
    std::string key;    // a key name as parseSongKey reads it; "" = C major
    int meter = -1;     // 0 = 4/4, 1 = 3/4, -1 = the style's own
    int bpm = 0;        // 0 = the style's own tempo
    int measures = 0;   // 0 = the style's own length
};

// "4/4" -> 0, "3/4" -> 1; nothing for anything else.
std::optional<int> parseMeter(std::string_view text);
const char* meterName(int meter);

// The style's own tempo in beats per minute (120 for "Music Box", which composes at that).
int styleBpm(const ComposableStyle& style);

// "Lullaby in G major".
std::string composedSongTitle(std::string_view styleName, SongKey24 key);

// Checks `choices` and fills `options` (style, key, meter, tempo, measures, title; seed and
// the rest left alone). Returns "" when they are good, else the one-line reason they are not.
std::string prepareComposeOptions(const ComposeChoices& choices, ComposeOptions& options);

}  // namespace tunecase

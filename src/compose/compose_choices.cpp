#include "compose/compose_choices.h"

#include "base/utilities.h"

namespace tunecase {

std::optional<int> parseMeter(std::string_view text) {
    if (text == "4/4") return 0;
    if (text == "3/4") return 1;
    return std::nullopt;
}

const char* meterName(int meter) { return meter == 1 ? "3/4" : "4/4"; }

int styleBpm(const ComposableStyle& style) {
    const bool musicBox = style.category == kMusicBoxCategory && style.slot == kMusicBoxSlot;
    return bpmFromMicroseconds(musicBox ? kComposeTempo : style.tempo);
}

std::string composedSongTitle(std::string_view styleName, SongKey24 key) {
    return std::string(styleName) + " in " + songKeyName(key);
}

std::string prepareComposeOptions(const ComposeChoices& choices, ComposeOptions& options) {
    const ComposableStyle* style = findComposableStyle(choices.style);
    if (!style) {
        std::string names;
        for (const ComposableStyle& s : composableStyles()) names += std::string(names.empty() ? "" : ", ") + s.name;
        return "There is no style \"" + choices.style + "\"; the styles are " + names + ".";
    }
    SongKey24 key;
    if (!choices.key.empty()) {
        const auto parsed = parseSongKey(choices.key);
        if (!parsed) {
            std::string names;
            for (const std::string& n : allSongKeyNames()) names += (names.empty() ? "" : ", ") + n;
            return "\"" + choices.key + "\" is not a key; the keys are " + names + ".";
        }
        key = *parsed;
    }
    if (choices.meter != -1 && choices.meter != 0 && choices.meter != 1)
        return "The meter is 4/4 or 3/4.";
    if (choices.meter != -1 && choices.meter != style->meter && !style->eitherMeter)
        return std::string("The style \"") + style->name + "\" is written for " + meterName(style->meter) +
               " only.";
    if (choices.bpm != 0 && (choices.bpm < kLowestComposeBpm || choices.bpm > kHighestComposeBpm))
        return "The tempo is " + std::to_string(kLowestComposeBpm) + " to " + std::to_string(kHighestComposeBpm) +
               " beats per minute.";
    const int meter = choices.meter == -1 ? style->meter : choices.meter;
    const int most = meter == 1 ? kMostComposeMeasuresIn34 : kMostComposeMeasures;
    if (choices.measures != 0 && (choices.measures < kFewestComposeMeasures || choices.measures > most))
        return "A song in " + std::string(meterName(meter)) + " is " + std::to_string(kFewestComposeMeasures) +
               " to " + std::to_string(most) + " measures long.";
    options.category = style->category;
    options.slot = style->slot;
    if (!choices.key.empty()) options.key = key;
    options.meter = choices.meter;
    options.tempo = choices.bpm != 0 ? microsecondsFromBpm(choices.bpm) : 0;
    options.measures = choices.measures;
    options.title = composedSongTitle(style->name, key);
    return {};
}

}  // namespace tunecase

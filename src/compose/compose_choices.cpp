#include "compose/compose_choices.h"

#include "base/reporter.h"
#include "base/translation.h"
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
        return fillIn(tr("There is no style \"%s\"; the styles are %s."), {choices.style, names});
    }
    SongKey24 key;
    if (!choices.key.empty()) {
        const auto parsed = parseSongKey(choices.key);
        if (!parsed) {
            std::string names;
            for (const std::string& n : allSongKeyNames()) names += (names.empty() ? "" : ", ") + n;
            return fillIn(tr("\"%s\" is not a key; the keys are %s."), {choices.key, names});
        }
        key = *parsed;
    }
    if (choices.meter != -1 && choices.meter != 0 && choices.meter != 1)
        return tr("The meter is 4/4 or 3/4.");
    if (choices.meter != -1 && choices.meter != style->meter && !style->eitherMeter)
        return fillIn(tr("The style \"%s\" is written for %s only."), {style->name, meterName(style->meter)});
    if (choices.bpm != 0 && (choices.bpm < kLowestComposeBpm || choices.bpm > kHighestComposeBpm))
        return fillIn(tr("The tempo is %s to %s beats per minute."),
                      {std::to_string(kLowestComposeBpm), std::to_string(kHighestComposeBpm)});
    const int meter = choices.meter == -1 ? style->meter : choices.meter;
    const int most = meter == 1 ? kMostComposeMeasuresIn34 : kMostComposeMeasures;
    if (choices.measures != 0 && (choices.measures < kFewestComposeMeasures || choices.measures > most))
        return fillIn(tr("A song in %s is %s to %s measures long."),
                      {meterName(meter), std::to_string(kFewestComposeMeasures), std::to_string(most)});
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

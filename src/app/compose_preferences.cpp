#include "app/compose_preferences.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#include "app/startup.h"
#include "base/atomic_file.h"
#include "base/utilities.h"
#include "songs/song_import.h"

namespace tunecase {

namespace {

// A file of a few short lines: anything far longer is not ours.
constexpr std::streamsize kLongestPreferences = 4096;

bool readNumber(const std::string& text, int& out) {
    if (text.empty() || text.size() > 6) return false;
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    out = value;
    return true;
}

}  // namespace

std::string composePreferencesPath() {
    const std::string folder = prepareSettingsFolder();
    return folder.empty() ? std::string() : joinPath(folder, kComposePreferencesFileName);
}

ComposeChoices readComposePreferences(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    std::string text(static_cast<size_t>(kLongestPreferences) + 1, '\0');
    in.read(text.data(), kLongestPreferences + 1);
    text.resize(static_cast<size_t>(in.gcount()));
    return composeChoicesFromText(text);
}

ComposeChoices composeChoicesFromText(std::string_view text) {
    ComposeChoices choices;
    if (text.size() > static_cast<size_t>(kLongestPreferences)) return choices;
    std::istringstream lines{std::string(text)};
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        const std::string name = line.substr(0, eq), value = line.substr(eq + 1);
        ComposeChoices one = choices;
        int number = 0;
        if (name == "style") one.style = value;
        else if (name == "key") one.key = value;
        else if (name == "meter") {
            if (value == "style") one.meter = -1;
            else if (const auto meter = parseMeter(value)) one.meter = *meter;
            else continue;
        } else if (name == "tempo" && readNumber(value, number)) one.bpm = number;
        else if (name == "measures" && readNumber(value, number)) one.measures = number;
        else continue;
        // Each line on its own: a bad one leaves its choice as it was.
        ComposeOptions unused;
        if (prepareComposeOptions(one, unused).empty()) choices = one;
    }
    return choices;
}

bool writeComposePreferences(const std::string& path, const ComposeChoices& choices) {
    std::string text = "style=" + choices.style + "\nkey=" + choices.key + "\nmeter=" +
                       (choices.meter < 0 ? std::string("style") : std::string(meterName(choices.meter))) +
                       "\ntempo=" + std::to_string(choices.bpm) + "\nmeasures=" + std::to_string(choices.measures) +
                       "\n";
    AtomicFile file;
    return file.open(path) && file.write(text.data(), text.size()) && file.commit();
}

std::optional<MadeSong> composeChosenSong(const std::string& folder, const ComposeChoices& choices,
                                          const ChoiceComposer& composer) {
    ComposeOptions options;
    if (!prepareComposeOptions(choices, options).empty() || !composer) return std::nullopt;
    makeFolders(folder);
    MadeSong song{newSongPath(folder), options.title};
    if (composer(song.path, options) != 1 || !fileCanBeOpened(song.path)) {
        std::error_code ec;
        std::filesystem::remove(song.path, ec);
        return std::nullopt;
    }
    return song;
}

bool sameChoices(const ComposeChoices& a, const ComposeChoices& b) {
    return a.style == b.style && a.key == b.key && a.meter == b.meter && a.bpm == b.bpm && a.measures == b.measures;
}

void ComposePreview::keep(MadeSong song, const ComposeChoices& choices) {
    discard();
    song_ = std::move(song);
    choices_ = choices;
}

std::optional<MadeSong> ComposePreview::takeFor(const ComposeChoices& choices) {
    if (!song_ || !sameChoices(choices, choices_)) {
        discard();
        return std::nullopt;
    }
    std::optional<MadeSong> out = std::move(song_);
    song_.reset();
    return out;
}

void ComposePreview::discard() {
    if (!song_) return;
    std::error_code ec;
    std::filesystem::remove(song_->path, ec);
    song_.reset();
}

}  // namespace tunecase

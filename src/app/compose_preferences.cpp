#include "app/compose_preferences.h"

#include <charconv>
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

// The file's text; "" when it is missing or far too long to be ours.
std::string readPreferencesText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    std::string text(static_cast<size_t>(kLongestPreferences) + 1, '\0');
    in.read(text.data(), kLongestPreferences + 1);
    text.resize(static_cast<size_t>(in.gcount()));
    if (text.size() > static_cast<size_t>(kLongestPreferences)) return {};
    return text;
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
    return writePreferences(
        path, {{"style", choices.style},
               {"key", choices.key},
               {"meter", choices.meter < 0 ? std::string("style") : std::string(meterName(choices.meter))},
               {"tempo", std::to_string(choices.bpm)},
               {"measures", std::to_string(choices.measures)}});
}

std::string readPreference(const std::string& path, std::string_view name) {
    std::istringstream lines(readPreferencesText(path));
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const size_t eq = line.find('=');
        if (eq != std::string::npos && std::string_view(line).substr(0, eq) == name) return line.substr(eq + 1);
    }
    return {};
}

bool writePreferences(const std::string& path, const std::vector<std::pair<std::string, std::string>>& values) {
    // Lines of names not given here stay as they were, in their order; the given ones follow.
    std::string text;
    std::istringstream lines(readPreferencesText(path));
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        const std::string name = line.substr(0, eq);
        bool replaced = false;
        for (const auto& value : values) replaced = replaced || value.first == name;
        if (!replaced) text += line + "\n";
    }
    for (const auto& [name, value] : values) text += name + "=" + value + "\n";
    AtomicFile file;
    return file.open(path) && file.write(text.data(), text.size()) && file.commit();
}

double readVolume(const std::string& path) {
    const std::string text = readPreference(path, "volume");
    double gain = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), gain, std::chars_format::fixed);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || !(gain >= 0) ||
        gain > kMaxPlayerGain)
        return kDefaultPlayerGain;
    return gain;
}

bool writeVolume(const std::string& path, double gain) {
    char text[32];
    const auto written = std::to_chars(text, text + sizeof text, gain, std::chars_format::fixed, 2);
    if (written.ec != std::errc()) return false;
    return writePreferences(path, {{"volume", std::string(text, written.ptr)}});
}

bool farewellPageWanted(const std::string& path) { return readPreference(path, "farewell_page") != "0"; }

bool writeFarewellPageWanted(const std::string& path, bool wanted) {
    return writePreferences(path, {{"farewell_page", wanted ? "1" : "0"}});
}

ExportRange readExportRange(const std::string& path) {
    ExportRange range;
    int low = 0, high = 0;
    // Both ends or neither, each a MIDI key.
    if (readNumber(readPreference(path, "export_low"), low) && readNumber(readPreference(path, "export_high"), high) &&
        low <= 127 && high <= 127) {
        range.lowNote = low;
        range.highNote = high;
    }
    return range;
}

bool writeExportRange(const std::string& path, const ExportRange& range) {
    return writePreferences(path, {{"export_low", std::to_string(range.lowNote)},
                                   {"export_high", std::to_string(range.highNote)}});
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

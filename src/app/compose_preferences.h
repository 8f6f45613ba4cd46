// AUTO CMP's choices without its window: the choices remembered between runs in a small
// key=value file beside the settings record (which keeps its fixed size), the song composed
// for them, and the song a preview made, kept until the dialog ends.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/song_list_editor.h"
#include "compose/compose_choices.h"
#include "platform/fluid_synth_device.h"

namespace tunecase {

inline constexpr const char* kComposePreferencesFileName = "compose.ini";

// The file in the settings folder; "" when there is no settings folder.
std::string composePreferencesPath();

// The choices in the file: each line "name=value" (style, key, meter, tempo, measures).
// A missing file, an unknown name or a value that does not pass the checks of the choices
// leaves that choice (or all of them, when together they are refused) at its default.
ComposeChoices readComposePreferences(const std::string& path);
// The same from the file's bytes (more than 4 KB are not ours: all defaults).
ComposeChoices composeChoicesFromText(std::string_view text);
// Writes them through a temporary file, keeping the file's other lines. False when it could not.
bool writeComposePreferences(const std::string& path, const ComposeChoices& choices);

// Other preferences of our own share the file, one "name=value" line each; writing some
// keeps the lines of all the others.
std::string readPreference(const std::string& path, std::string_view name);  // "" when absent
bool writePreferences(const std::string& path, const std::vector<std::pair<std::string, std::string>>& values);

// QUIT opens the farewell page unless it was turned off.
bool farewellPageWanted(const std::string& path);
bool writeFarewellPageWanted(const std::string& path, bool wanted);

// The key range of the last export; 21-108 until one was kept (or when the file's is broken).
struct ExportRange {
    int lowNote = 21;
    int highNote = 108;
};
ExportRange readExportRange(const std::string& path);
bool writeExportRange(const std::string& path, const ExportRange& range);

// CONFIG's volume, the synthesizer's gain ("volume=3.20"): kDefaultPlayerGain until one was
// kept, or when the file's is not a number within 0..kMaxPlayerGain.
double readVolume(const std::string& path);
bool writeVolume(const std::string& path, double gain);

// Composes a song for `choices` into a new file of `folder`, titled for them; nothing when
// they are refused or the composer fails (no file left behind). Any thread.
std::optional<MadeSong> composeChosenSong(const std::string& folder, const ComposeChoices& choices,
                                          const ChoiceComposer& composer);

// The song a preview made and the choices it was made for. At OK it joins the list when the
// choices are still the same; otherwise, and at Cancel, its file goes.
class ComposePreview {
public:
    ComposePreview() = default;
    ~ComposePreview() { discard(); }
    ComposePreview(const ComposePreview&) = delete;
    ComposePreview& operator=(const ComposePreview&) = delete;

    // A new preview song: the one before goes.
    void keep(MadeSong song, const ComposeChoices& choices);
    // The preview song for `choices`, given up by this object; nothing (and the file gone)
    // when it was made for others or there is none.
    std::optional<MadeSong> takeFor(const ComposeChoices& choices);
    void discard();
    const std::optional<MadeSong>& song() const { return song_; }

private:
    std::optional<MadeSong> song_;
    ComposeChoices choices_;
};

bool sameChoices(const ComposeChoices& a, const ComposeChoices& b);

}  // namespace tunecase

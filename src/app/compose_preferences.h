// AUTO CMP's choices without its window: the choices remembered between runs in a small
// key=value file beside the settings record (which keeps its fixed size), the song composed
// for them, and the song a preview made, kept until the dialog ends.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "app/song_list_editor.h"
#include "compose/compose_choices.h"

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
// Writes them through a temporary file. False when it could not.
bool writeComposePreferences(const std::string& path, const ComposeChoices& choices);

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

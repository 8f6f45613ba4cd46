// Every text a person reads on the song server's pages, in one table, so that translating
// them is one place. Pages put them in as they are (they hold no outside text).
#pragma once

namespace tunecase {

struct PageTexts final {
    const char* language;
    const char* libraryTitle;      // the index page's heading
    const char* searchLabel;       // the search field's label
    const char* searchButton;
    const char* searchNothing;     // no song has the words
    const char* allSongs;          // back to the whole list
    const char* keyLabel;
    const char* meterLabel;
    const char* tempoLabel;
    const char* tempoUnit;         // after the number
    const char* fileLabel;
    const char* lyricsHeading;
    const char* noLyrics;
    const char* downloadMidi;      // the link to the MIDI file
    const char* noAudio;           // the sound could not be made
    const char* audioPending;      // the sound is still being made
    const char* noAudioSupport;    // inside <audio>, for browsers without it
    const char* madeWith;          // the footer
    const char* untitled;          // an upload without a title of its own
    const char* notFound;          // the page of a key that is not (or no longer) there
};

inline constexpr PageTexts kEnglishPageTexts{
    "en",
    "Music box songs",
    "Search by words",
    "Search",
    "No song has these words.",
    "All songs",
    "Key",
    "Meter",
    "Tempo",
    "BPM",
    "File",
    "Lyrics",
    "(none)",
    "Download the MIDI file",
    "This song has no sound to play here; the MIDI file plays in any music player.",
    "The sound is being made; reload the page in a moment.",
    "Your browser does not play audio here.",
    "Made with Tunecase",
    "A music box song",
    "This song is not here (any more).",
};

inline constexpr const PageTexts& kPageTexts = kEnglishPageTexts;

}  // namespace tunecase

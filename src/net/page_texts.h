// Every text a person reads on the song server's pages, in one table, translated through the
// program's catalogues like every other text. Pages put them in as they are (they hold no
// outside text).
#pragma once

#include "base/translation.h"

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

// The ids; "en" is the pages' language code, which a catalogue gives as its own.
inline constexpr PageTexts kEnglishPageTexts{
    N_("en"),
    N_("Music box songs"),
    N_("Search by words"),
    N_("Search"),
    N_("No song has these words."),
    N_("All songs"),
    N_("Key"),
    N_("Meter"),
    N_("Tempo"),
    N_("BPM"),
    N_("File"),
    N_("Lyrics"),
    N_("(none)"),
    N_("Download the MIDI file"),
    N_("This song has no sound to play here; the MIDI file plays in any music player."),
    N_("The sound is being made; reload the page in a moment."),
    N_("Your browser does not play audio here."),
    N_("Made with Tunecase"),
    N_("A music box song"),
    N_("This song is not here (any more)."),
};

// The texts in the server's language (its locale's catalogue), made once, each ready to go
// into a page as it is (a translation may hold "&" or "<").
const PageTexts& pageTexts();

}  // namespace tunecase

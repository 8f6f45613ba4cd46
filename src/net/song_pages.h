// The song server's HTML pages: the library's index with its search form, a library song's
// page and an upload's page. Plain HTML and one style sheet inside the page; every outside
// text (titles, names, lyrics, the words searched) goes through htmlEscaped.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "net/page_texts.h"
#include "net/song_store.h"

namespace tunecase {

// Nothing loads or runs from elsewhere, and the pages cannot be framed.
inline constexpr const char* kPageSecurityPolicy =
    "default-src 'none'; style-src 'unsafe-inline'; media-src 'self'; img-src 'self'; form-action 'self'; "
    "base-uri 'none'; frame-ancestors 'none'";

std::string htmlEscaped(std::string_view text);

// `words`: what was searched ("" for the whole library); `links[i]`: the page of songs[i].
std::string indexPage(const std::vector<LibrarySong>& songs, const std::vector<std::string>& links,
                      const std::string& words, const PageTexts& texts = pageTexts());

// A library song: title, key, tempo, the file and the lyrics.
std::string songPage(const SongFacts& facts, const std::string& fileName, const std::string& fileLink,
                     const std::vector<std::string>& lyrics, const PageTexts& texts = pageTexts());

// An upload: title, the player (when there is sound), the MIDI download, the footer.
// Links are relative to the page ("KEY.ogg", "KEY.mid").
std::string uploadPage(const UploadInfo& upload, const PageTexts& texts = pageTexts());

std::string notFoundPage(const PageTexts& texts = pageTexts());

}  // namespace tunecase

// Translated texts: every text a user reads goes through tr(), one gettext catalogue per
// language (domain "tunecase"). Message ids are the English texts, so without a catalogue
// (the C locale, en_*, a missing .mo) the program speaks English.
#pragma once

#include <string>

// Marks a constant for extraction; it is translated where it is shown.
#define N_(text) text

namespace tunecase {

// Takes the user's locale from the environment and binds the domain to `localeDir`
// (<localeDir>/<lang>/LC_MESSAGES/tunecase.mo), answering in UTF-8. Call first in main().
void initTranslations(const std::string& localeDir);

// The current language's text for `id`; `id` itself when the catalogue has none.
const char* tr(const char* id);

// The same for an id held in a string (an empty id stays empty: gettext would answer with
// the catalogue's header).
std::string tr(const std::string& id);

}  // namespace tunecase

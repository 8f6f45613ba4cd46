#include "base/translation.h"

#include <libintl.h>

#include <clocale>

namespace tunecase {

namespace {
constexpr const char* kDomain = "tunecase";
}

void initTranslations(const std::string& localeDir) {
    std::setlocale(LC_ALL, "");
    // Numbers are read and written in files and on the command line: keep their C form.
    std::setlocale(LC_NUMERIC, "C");
    bindtextdomain(kDomain, localeDir.c_str());
    bind_textdomain_codeset(kDomain, "UTF-8");
}

const char* tr(const char* id) {
    if (id == nullptr || *id == '\0') return id;
    return dgettext(kDomain, id);
}

std::string tr(const std::string& id) { return id.empty() ? id : std::string(tr(id.c_str())); }

}  // namespace tunecase

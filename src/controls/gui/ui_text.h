// A text of the translation catalogue as a window shows it.
#pragma once

#include <QString>

#include "base/translation.h"

namespace tunecase {

inline QString uiText(const char* id) { return QString::fromUtf8(tunecase::tr(id)); }

}  // namespace tunecase

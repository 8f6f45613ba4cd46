// Where the commands that compose or arrange read the knowledge files.
#pragma once

#include <string>

#include "base/translation.h"

namespace tunecase::cli {

// The folder given, else the program folder (found from this program's own location, or
// $TUNECASE_PROGRAM_FOLDER), never the current folder.
std::string knowledgeFolder(const std::string& given);

// The help text of the --knowledge option, one for every command that has it.
inline constexpr const char* kKnowledgeOptionHelp =
    N_("folder of the knowledge files (default: the program folder, share/tunecase beside the installed program, "
       "data/ beside it in a build tree, or $TUNECASE_PROGRAM_FOLDER)");

}  // namespace tunecase::cli

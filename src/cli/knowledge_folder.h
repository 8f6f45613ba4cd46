// Where the commands that compose or arrange read the knowledge files.
#pragma once

#include <string>

namespace tunecase::cli {

// The folder given, else the current folder when it holds the knowledge files (the player's
// program folder; "" then), else the "data" folder beside this program (the build tree's
// copy of the program folder), else "".
std::string knowledgeFolder(const std::string& given);

}  // namespace tunecase::cli

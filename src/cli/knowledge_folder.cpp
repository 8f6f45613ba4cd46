#include "cli/knowledge_folder.h"

#include "base/user_folders.h"

namespace tunecase::cli {

std::string knowledgeFolder(const std::string& given) { return given.empty() ? findProgramFolder() : given; }

}  // namespace tunecase::cli

// The subcommands. Each lives in its own file and is listed here.
#include "cli/commands.h"

namespace tunecase::cli {

const std::vector<Command>& commands() {
    static const std::vector<Command> list = {};
    return list;
}

}  // namespace tunecase::cli

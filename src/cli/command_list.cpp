// The subcommands. Each lives in its own file and is listed here.
#include "cli/commands.h"

namespace tunecase::cli {

int devicesMain(const Args& args);

const std::vector<Command>& commands() {
    static const std::vector<Command> list = {
        {"devices", "list the MIDI output devices", "tunecase-cli devices", devicesMain},
    };
    return list;
}

}  // namespace tunecase::cli

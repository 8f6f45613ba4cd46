// The subcommands. Each lives in its own file and is listed here.
#include "cli/commands.h"

namespace tunecase::cli {

int devicesMain(const Args& args);
int infoMain(const Args& args);
int convertMain(const Args& args);

const std::vector<Command>& commands() {
    static const std::vector<Command> list = {
        {"devices", "list the MIDI output devices", "tunecase-cli devices", devicesMain},
        {"info", "show the format, tracks and notes of a MIDI file", "tunecase-cli info [--json] FILE", infoMain},
        {"convert", "save a MIDI file as format 0 (or split, format 1)", "tunecase-cli convert [--format1] IN OUT",
         convertMain},
    };
    return list;
}

}  // namespace tunecase::cli

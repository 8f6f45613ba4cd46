// The subcommands. Each lives in its own file and is listed here.
#include "cli/commands.h"

namespace tunecase::cli {

int devicesMain(const Args& args);
int infoMain(const Args& args);
int convertMain(const Args& args);
int prepareMain(const Args& args);
int playMain(const Args& args);
int renderMain(const Args& args);

const std::vector<Command>& commands() {
    static const std::vector<Command> list = {
        {"devices", "list the MIDI output devices", "tunecase-cli devices", devicesMain},
        {"info", "show the format, tracks and notes of a MIDI file", "tunecase-cli info [--json] FILE", infoMain},
        {"convert", "save a MIDI file as format 0 (or split, format 1)", "tunecase-cli convert [--format1] IN OUT",
         convertMain},
        {"prepare", "turn a MIDI file into music-box playing and save it as format 0",
         "tunecase-cli prepare [--plate CODE] [--keep-short] [--keep-long] IN OUT\n"
         "  CODE: 260 None, 261 Large Disk (default), 262 Small Disk, 263 Paper,\n"
         "        264 Toypiano(Large), 265 Toypiano(Small)\n"
         "  --keep-short / --keep-long keep channels whose notes are very dense / very sparse",
         prepareMain},
        {"play", "prepare a MIDI file and play it in real time",
         "tunecase-cli play [--plate CODE] [--speed PERCENT] [--device N | --capture FILE] FILE\n"
         "  PERCENT: 50..150 (default 100); N: a device from 'tunecase-cli devices';\n"
         "  --capture FILE writes every MIDI message with its time to FILE instead of sounding.\n"
         "  Ctrl-C stops.",
         playMain},
        {"render", "prepare a MIDI file and render it offline to a WAV file",
         "tunecase-cli render [--plate CODE] [--speed PERCENT] [--soundfont SF2] FILE OUT.wav",
         renderMain},
    };
    return list;
}

}  // namespace tunecase::cli

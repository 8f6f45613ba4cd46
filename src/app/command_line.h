// What the player's command line asks for, read before any window exists: --help and
// --version answer without a display; the other arguments are files to add to the list.
#pragma once

#include <string>
#include <vector>

namespace tunecase {

struct PlayerCommandLine {
    enum Action { Run, Help, Version, Error };
    Action action = Run;
    std::vector<std::string> files;  // in their order, as given
    std::string error;               // the unknown option, for Error
};

// Reads argv[1..argc-1]. Options Qt itself takes ("-platform X", "-style=Y", ...) are left to
// it and skipped here; "--" ends the options.
PlayerCommandLine parsePlayerCommandLine(int argc, const char* const* argv);

// The text --help prints (translated), the one --version prints, and the line for an
// unknown option.
std::string playerUsageText();
std::string playerVersionText();
std::string playerOptionErrorText(const std::string& option);

}  // namespace tunecase

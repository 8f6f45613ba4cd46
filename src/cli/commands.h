// Subcommand table of tunecase-cli.
#pragma once

#include <string>
#include <vector>

namespace tunecase::cli {

using Args = std::vector<std::string>;

// A subcommand: its name, a one-line summary, its usage text and its entry point.
// `main` gets the arguments after the subcommand name and returns the exit status.
struct Command {
    const char* name;
    const char* summary;
    const char* usage;
    int (*main)(const Args& args);
};

// Every subcommand, in the order `--help` lists them.
const std::vector<Command>& commands();

// Parses argv, dispatches, and returns the process exit status.
int run(int argc, char** argv);

// True when `args` asks for help ("--help" or "-h").
bool wantsHelp(const Args& args);

}  // namespace tunecase::cli

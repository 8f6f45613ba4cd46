// Subcommand table of tunecase-cli. Each subcommand declares its options, positional
// arguments and help on a CLI11 subcommand; usage texts and errors come from that one
// declaration.
#pragma once

#include <CLI/CLI.hpp>
#include <functional>
#include <string_view>
#include <vector>

namespace tunecase::cli {

// What a subcommand does once its arguments parsed; returns the exit status.
using Action = std::function<int()>;

// A subcommand: its name, a one-line summary, and the function that declares its options
// on `sub` and returns its action (bound to the parsed values).
struct Command {
    const char* name;
    const char* summary;
    Action (*declare)(CLI::App& sub);
};

// Every subcommand, in the order `--help` lists them.
const std::vector<Command>& commands();

// True in tunecase-cli for the commands it hands on to tunecase-cli-full.
bool handedOn(std::string_view name);

// Runs tunecase-cli-full with the same arguments in place of this process (in libexec/tunecase
// beside the installed program, or beside this one in a build tree). Returns only when that
// fails, with exit status 1 after saying why.
int runFullProgram(char** argv);

// Parses argv, dispatches, and returns the process exit status: the command's own, 0 for
// help, 2 for a usage error.
int run(int argc, char** argv);

}  // namespace tunecase::cli

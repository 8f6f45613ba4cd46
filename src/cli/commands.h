// Subcommand table of tunecase-cli. Each subcommand declares its options, positional
// arguments and help on a CLI11 subcommand; usage texts and errors come from that one
// declaration.
#pragma once

#include <CLI/CLI.hpp>
#include <functional>
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

// Parses argv, dispatches, and returns the process exit status: the command's own, 0 for
// help, 2 for a usage error.
int run(int argc, char** argv);

}  // namespace tunecase::cli

// tunecase-cli: the command line over the core library, for scripting, batch work and tests.
#include <cstdio>
#include <cstring>
#include <string>

#include "cli/commands.h"

int main(int argc, char** argv) { return tunecase::cli::run(argc, argv); }

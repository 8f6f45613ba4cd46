#include "cli/commands.h"

#include <cstdio>

#include "base/reporter.h"
#include "base/utilities.h"

namespace tunecase::cli {

namespace {

void printUsage() {
    std::printf(
        "Tunecase %s - the music-box player's command line\n\n"
        "usage: tunecase-cli [--help | --version] <command> [options]\n\n"
        "commands:\n",
        TUNECASE_VERSION);
    for (const auto& c : commands()) std::printf("  %-10s %s\n", c.name, c.summary);
    std::printf("\nRun 'tunecase-cli <command> --help' for a command's options.\n");
}

}  // namespace

bool wantsHelp(const Args& args) {
    for (const auto& a : args)
        if (a == "--help" || a == "-h") return true;
    return false;
}

int run(int argc, char** argv) {
    StderrSink sink;
    setReportSink(&sink);
    seedRandom();
    if (argc < 2) {
        printUsage();
        return 2;
    }
    std::string first = argv[1];
    if (first == "--help" || first == "-h" || first == "help") {
        printUsage();
        return 0;
    }
    if (first == "--version") {
        std::printf("tunecase-cli %s\n", TUNECASE_VERSION);
        return 0;
    }
    Args rest(argv + 2, argv + argc);
    for (const auto& c : commands()) {
        if (first != c.name) continue;
        if (wantsHelp(rest)) {
            std::printf("usage: %s\n", c.usage);
            return 0;
        }
        return c.main(rest);
    }
    std::fprintf(stderr, "tunecase-cli: unknown command '%s'\n", first.c_str());
    printUsage();
    return 2;
}

}  // namespace tunecase::cli

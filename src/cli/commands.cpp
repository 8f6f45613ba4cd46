#include "cli/commands.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "base/reporter.h"
#include "base/utilities.h"

namespace tunecase::cli {

namespace {

constexpr const char* kFullProgramName = "tunecase-cli-full";

// Installed: libexec/tunecase as seen from bin/; in a build tree: beside this program.
std::string fullProgramPath() {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    if (ec) return kFullProgramName;
    const fs::path installed = (self.parent_path() / TUNECASE_LIBEXEC_FROM_BIN / kFullProgramName).lexically_normal();
    if (fs::exists(installed, ec)) return installed.string();
    return (self.parent_path() / kFullProgramName).string();
}

}  // namespace

int runFullProgram(char** argv) {
    const std::string path = fullProgramPath();
    argv[0] = const_cast<char*>(path.c_str());
    ::execv(path.c_str(), argv);
    std::fprintf(stderr, "tunecase-cli: cannot run %s (%s)\n", path.c_str(), std::strerror(errno));
    return 1;
}

int run(int argc, char** argv) {
    // The commands another program of ours has: it takes over this process.
    if (argc >= 2 && handedOn(argv[1])) return runFullProgram(argv);

    StderrSink sink;
    setReportSink(&sink);
    seedRandom();

    CLI::App app{"Tunecase " TUNECASE_VERSION " - the music-box player's command line", "tunecase-cli"};
    app.set_version_flag("--version", "tunecase-cli " TUNECASE_VERSION);
    app.require_subcommand(1);
    app.footer("Run 'tunecase-cli <command> --help' for a command's options.");
    Action chosen;
    for (const auto& c : commands()) {
        CLI::App* sub = app.add_subcommand(c.name, c.summary);
        Action action = c.declare(*sub);
        sub->callback([&chosen, action] { chosen = action; });
    }
    if (argc < 2) {
        std::fputs(app.help().c_str(), stdout);
        return 2;
    }
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion&) {
        std::printf("tunecase-cli %s\n", TUNECASE_VERSION);
        return 0;
    } catch (const CLI::ParseError& e) {
        app.exit(e);
        return 2;
    }
    return chosen ? chosen() : 2;
}

}  // namespace tunecase::cli

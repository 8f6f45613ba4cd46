#include "cli/commands.h"

#include <cstdio>

#include "base/reporter.h"
#include "base/utilities.h"

namespace tunecase::cli {

int run(int argc, char** argv) {
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

#include "cli/commands.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "base/reporter.h"
#include "base/translation.h"
#include "base/user_folders.h"
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
    std::fprintf(stderr, "%s\n",
                 fillIn(tr("tunecase-cli: cannot run %s (%s)"), {path, std::strerror(errno)}).c_str());
    return 1;
}

// CLI11's own words in the help pages.
static void translateHelp(CLI::App& app) {
    auto formatter = app.get_formatter();
    for (const char* label : {N_("Usage"), N_("Positionals"), N_("OPTIONS"), N_("SUBCOMMAND"), N_("SUBCOMMANDS"),
                              N_("REQUIRED"), N_("TEXT"), N_("INT"), N_("UINT"), N_("FLOAT"), N_("Needs"),
                              N_("Excludes")})
        formatter->label(label, tr(label));
    // Subcommands take their option defaults and help flag from here.
    app.option_defaults()->group(tr("Options"));
    app.set_help_flag("-h,--help", tr("Print this help and exit"));
}

int run(int argc, char** argv) {
    initTranslations(findLocaleFolder());
    // The commands another program of ours has: it takes over this process.
    if (argc >= 2 && handedOn(argv[1])) return runFullProgram(argv);

    StderrSink sink;
    setReportSink(&sink);
    seedRandom();

    CLI::App app{fillIn(tr("Tunecase %s - the music-box player's command line"), TUNECASE_VERSION), "tunecase-cli"};
    translateHelp(app);
    app.set_version_flag("--version", "tunecase-cli " TUNECASE_VERSION, tr("Print the version and exit"));
    app.require_subcommand(1);
    app.footer(tr("Run 'tunecase-cli <command> --help' for a command's options."));
    Action chosen;
    for (const auto& c : commands()) {
        CLI::App* sub = app.add_subcommand(c.name, tr(c.summary));
        Action action = c.declare(*sub);
        sub->callback([&chosen, action] { chosen = action; });
    }
    // Subcommands of subcommands ("library add") are listed under the same translated heading.
    const std::function<void(CLI::App&)> nameGroups = [&nameGroups](CLI::App& parent) {
        for (CLI::App* sub : parent.get_subcommands({})) {
            sub->group(tr("Subcommands"));
            // A subcommand's help flag is made before it takes the translated option group.
            for (CLI::Option* option : sub->get_options())
                if (option->get_group() == "Options") option->group(tr("Options"));
            nameGroups(*sub);
        }
    };
    nameGroups(app);
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

#include "app/command_line.h"

#include <cstring>
#include <string_view>

#include "base/translation.h"
#include "base/reporter.h"

namespace tunecase {

namespace {

// Qt's own options that take a value in the next argument.
constexpr std::string_view kQtOptionsWithValue[] = {"-platform", "-platformpluginpath", "-platformtheme",
                                                     "-plugin", "-qmljsdebugger", "-style", "-stylesheet",
                                                     "-display", "-geometry", "-title", "-qwindowgeometry",
                                                     "-qwindowtitle", "-qwindowicon", "-session", "-name"};
// And those that stand alone.
constexpr std::string_view kQtFlags[] = {"-reverse", "-widgetcount", "-nograb", "-dograb", "-sync"};

template <size_t N>
bool listed(const std::string_view (&list)[N], std::string_view arg) {
    for (std::string_view name : list)
        if (arg == name) return true;
    return false;
}

}  // namespace

PlayerCommandLine parsePlayerCommandLine(int argc, const char* const* argv) {
    PlayerCommandLine line;
    bool options = true;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i] ? argv[i] : "";
        if (arg.empty()) continue;
        if (!options || arg == "-" || arg[0] != '-') {
            line.files.emplace_back(arg);
            continue;
        }
        if (arg == "--") {
            options = false;
        } else if (arg == "--help" || arg == "-h") {
            line.action = PlayerCommandLine::Help;
            return line;
        } else if (arg == "--version" || arg == "-v") {
            line.action = PlayerCommandLine::Version;
            return line;
        } else if (listed(kQtOptionsWithValue, arg)) {
            ++i;
        } else if (listed(kQtFlags, arg) || (arg.size() > 1 && arg[1] != '-' && arg.find('=') != std::string_view::npos &&
                                             listed(kQtOptionsWithValue, arg.substr(0, arg.find('='))))) {
            // Qt's, handled by Qt.
        } else {
            line.action = PlayerCommandLine::Error;
            line.error = std::string(arg);
            return line;
        }
    }
    return line;
}

std::string playerUsageText() {
    return std::string(tr("Usage: tunecase [OPTION]... [FILE]...\n"
                         "Plays songs as a music box. The MIDI files (.mid) and song-data files (.mwd) named\n"
                         "join the song list, as files dropped on the window do.\n"
                         "\n"
                         "  -h, --help     print this help and exit\n"
                         "  -v, --version  print the version and exit\n"
                         "\n"
                         "Keys: Space plays and stops, Left and Right step through the list, F1 opens the\n"
                         "help, Ctrl+Q quits.\n"));
}

std::string playerVersionText() { return std::string("tunecase ") + TUNECASE_VERSION + "\n"; }

std::string playerOptionErrorText(const std::string& option) {
    return fillIn(tr("tunecase: unknown option '%s'\nTry 'tunecase --help' for more information.\n"), option);
}

}  // namespace tunecase

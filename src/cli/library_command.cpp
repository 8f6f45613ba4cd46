// tunecase-cli library: the song data files of the user's library, listed with their titles,
// and added to as the library dialog's ADD MWD does.
#include <cstdio>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "base/text_codec.h"
#include "base/translation.h"
#include "base/user_folders.h"
#include "base/utilities.h"
#include "cli/commands.h"
#include "cli/json_output.h"
#include "songs/library.h"

namespace tunecase::cli {

namespace {

struct LibraryOptions {
    std::string programFolder;
    bool json = false;
    std::string file;
    CLI::App* list = nullptr;
    CLI::App* add = nullptr;
};

// The user's library (made and seeded on first use, as the player does), or the "Archive" of
// the program folder given.
std::string libraryOf(const LibraryOptions& o) {
    const ProgramFolders folders =
        o.programFolder.empty() ? locateProgramFolders() : singleFolderLayout(o.programFolder);
    prepareLibraryFolder(folders);
    return folders.library;
}

int listCommand(const LibraryOptions& o) {
    const std::string library = libraryOf(o);
    const auto entries = listLibrary(library);
    if (o.json) {
        nlohmann::ordered_json songs = nlohmann::ordered_json::array();
        for (const auto& e : entries) songs.push_back({{"file", displayText(e.fileName)}, {"title", displayText(e.title)}});
        nlohmann::ordered_json out = {{"folder", displayText(library)}, {"songs", songs}};
        std::printf("%s\n", jsonLine(out).c_str());
        return 0;
    }
    for (const auto& e : entries)
        std::printf("%s\t%s\n", escapeControls(e.fileName).c_str(), escapeControls(e.title).c_str());
    return 0;
}

int addCommand(const LibraryOptions& o) {
    std::string path = o.file;
    const std::string library = libraryOf(o);
    std::string failure;
    if (!addToArchive(library, path, &failure)) {
        // A name clash or a file that is no song has shown its message; a copy that failed has not.
        if (!failure.empty())
            std::fprintf(stderr, tr("tunecase-cli library add: could not copy %s into the library\n  %s\n"),
                         escapeControls(o.file).c_str(), escapeControls(failure).c_str());
        return 1;
    }
    std::printf("%s\t%s\n", escapeControls(path).c_str(), escapeControls(readSongTitle(path)).c_str());
    return 0;
}

}  // namespace

Action declareLibrary(CLI::App& sub) {
    auto o = std::make_shared<LibraryOptions>();
    sub.require_subcommand(1);
    sub.add_option("--program-folder", o->programFolder,
                   tr("use DIR/Archive as the library (default: the user's library, "
                   "$XDG_DATA_HOME/tunecase/Archive)"));
    o->list = sub.add_subcommand("list", tr("list the library's song data files: file name and title"));
    o->list->add_flag("--json", o->json, tr("print the list as one JSON object"));
    o->add = sub.add_subcommand("add", tr("copy a song data file (.mwd) into the library"));
    o->add->add_option("FILE", o->file, tr("the song data file to add"))->required();
    // The folder option is also accepted after the action word.
    o->list->add_option("--program-folder", o->programFolder, tr("as above"));
    o->add->add_option("--program-folder", o->programFolder, tr("as above"));
    return [o] { return o->add->parsed() ? addCommand(*o) : listCommand(*o); };
}

}  // namespace tunecase::cli

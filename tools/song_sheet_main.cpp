// tunecase-songsheet: turns song sheets (the text form of data/songs) into song-data files.
// The build runs it to make the sample library, data/Archive in the program folder.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "songs/song_sheet.h"

int main(int argc, char** argv) {
    CLI::App app{"Writes a song sheet as a song-data (.mwd) file"};
    std::string input, output;
    app.add_option("SHEET", input, "the song sheet (text)")->required();
    app.add_option("OUTPUT", output, "the song-data file to write")->required();
    CLI11_PARSE(app, argc, argv);

    std::ifstream in(input, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "%s: cannot be read\n", input.c_str());
        return 1;
    }
    std::stringstream text;
    text << in.rdbuf();
    std::vector<tunecase::SheetError> errors;
    auto song = tunecase::parseSongSheet(text.str(), errors);
    if (!song) {
        std::fputs(tunecase::describeSheetErrors(input, errors).c_str(), stderr);
        return 1;
    }
    std::string reason;
    if (!song->saveFile(output, &reason)) {
        std::fprintf(stderr, "%s\n", reason.c_str());
        return 1;
    }
    return 0;
}

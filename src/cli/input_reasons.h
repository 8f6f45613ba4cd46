// The plain reason a command's input file is not what the command reads, found before it is
// read: a coded message from the readers then carries it on the line below.
#pragma once

#include <string>
#include <string_view>

namespace tunecase::cli {

// For a command that reads Standard MIDI Files: why `path` is none (cannot be read, is a
// song-data file, does not start like a MIDI file); empty when it looks like one.
std::string midiInputReason(std::string_view command, const std::string& path);

// For a command that reads song-data files: why `path` is none; empty when it may be one.
std::string songDataInputReason(std::string_view command, const std::string& path);

}  // namespace tunecase::cli

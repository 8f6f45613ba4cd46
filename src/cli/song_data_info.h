// tunecase-cli info for song-data files (".mwd").
#pragma once

#include <string>

namespace tunecase::cli {

// Describes the song-data file at `path` as text or one JSON object; returns the exit status.
int songDataInfo(const std::string& path, bool json);

}  // namespace tunecase::cli

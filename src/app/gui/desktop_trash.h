// The desktop's trash (the freedesktop.org trash the file manager uses) for files the song
// list lets go of: a song Tunecase composed cannot be made again, so it is never simply deleted.
#pragma once

#include <string>

namespace tunecase {

// Moves the file at `path` (native bytes) into the trash, with the record that lets the file
// manager put it back. False, the file as it was, with the reason in `reason` when there is
// no trash for it or the move failed.
bool moveToDesktopTrash(const std::string& path, std::string& reason);

}  // namespace tunecase

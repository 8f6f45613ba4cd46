// The edits the settings dialog makes to PlayerSettings, without the dialog.
#pragma once

#include <string>

#include "base/records.h"
#include "base/translation.h"

namespace tunecase {

// Texts of the settings dialog.
inline constexpr const char* kConfigCaption = N_("Configuration");
inline constexpr const char* kConfigPlayGroup = N_("About Play");
inline constexpr const char* kConfigShortNoteText = N_("Delete Short Note Channel");
inline constexpr const char* kConfigLongNoteText = N_("Delete Long Note Channel");
inline constexpr const char* kConfigFolderGroup = N_("Data Folder");
inline constexpr const char* kConfigBrowseText = N_("...");
inline constexpr const char* kConfigSetLabel = N_("   S E T");

// A folder picked in the browser as it is kept: without trailing "/", except the root,
// which keeps its one "/".
std::string keptFolderPath(std::string picked);

// Stores a picked folder into `dataFolder` at once. A path that does not fit the field is
// refused with a message, and the field is left as it was. Returns true when stored.
bool storePickedDataFolder(PlayerSettings& settings, const std::string& picked);

// The check-box states written by SET: 1 checked, 0 unchecked.
void storeChannelOptions(PlayerSettings& settings, bool deleteShort, bool deleteLong);

}  // namespace tunecase

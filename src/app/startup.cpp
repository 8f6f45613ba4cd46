#include "app/startup.h"

#include <algorithm>

#include <cstring>

#include "base/reporter.h"
#include "songs/song_list.h"
#include "base/utilities.h"
#include "base/user_folders.h"

namespace tunecase {

std::string prepareSettingsFolder() {
    std::string appData = specialFolder(kFolderAppData);
    if (appData.empty()) return {};
    std::string folder = joinPath(appData, kSettingsFolderName);
    if (!folderExists(folder)) makeFolders(folder);
    return folder;
}

namespace {

// Drops trailing separators; the root keeps its one "/".
std::string withoutTrailingSeparator(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

}  // namespace

std::string askDataFolder(FolderBrowser& browser) {
    const std::string initial = specialFolder(kFolderMyMusic);
    for (;;) {
        std::string picked;
        if (browser.browseForFolder(initial, picked, kDataFolderPromptTitle) != FolderBrowser::Picked) {
            reportFilled(kDataFolderUsedText, initial, BoxKind::Ok);
            if (initial.size() >= kPathBytes) {
                reportFilled(kDataFolderTooLongText, initial, BoxKind::Ok);
                return {};
            }
            return initial;
        }
        picked = withoutTrailingSeparator(picked);
        if (picked.size() < kPathBytes && !picked.empty()) return picked;
        reportFilled(kDataFolderTooLongText, picked, BoxKind::Ok);
    }
}

StartupRecords openSettingsAndList(const std::string& settingsFolder, PlayerSettings& settings,
                                   SongList& list, FolderBrowser& browser) {
    PlayerSettings defaults = defaultPlayerSettings();
    const std::string settingsPath = joinPath(settingsFolder, kSettingsFileName);
    const std::string listPath = joinPath(settingsFolder, kSongListFileName);
    if (!fileCanBeOpened(settingsPath)) {
        std::string folder = askDataFolder(browser);
        setFieldText(defaults.dataFolder, kPathBytes, folder);
    }
    StartupRecords records;
    records.settingsControl =
        std::make_unique<CConfigControl>(settingsPath, &settings, sizeof settings, &defaults);
    // The data folder is used as a C string everywhere; a record without a NUL in the
    // field would read past it.
    settings.dataFolder[kPathBytes - 1] = 0;
    // A speed the slider cannot show would play at 100 % while it shows an end.
    settings.speedPercent = std::clamp(settings.speedPercent, kSpeedMinPercent, kSpeedMaxPercent);
    const SongList emptyList = emptySongList();
    records.listControl = std::make_unique<CConfigControl>(listPath, &list, sizeof list, &emptyList);
    normaliseSongList(list);
    return records;
}

std::string helpPagePath(const std::string& programFolder, const std::string& page) {
    const std::string translated = joinPath(joinPath(programFolder, tr(kHelpFolder)), page);
    if (fileCanBeOpened(translated)) return translated;
    return joinPath(joinPath(programFolder, "help"), page);
}

}  // namespace tunecase

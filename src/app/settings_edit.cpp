#include "app/settings_edit.h"

#include "base/reporter.h"
#include "app/startup.h"
#include "base/utilities.h"

namespace tunecase {

std::string keptFolderPath(std::string picked) {
    while (picked.size() > 1 && picked.back() == '/') picked.pop_back();
    return picked;
}

bool storePickedDataFolder(PlayerSettings& settings, const std::string& picked) {
    const std::string kept = keptFolderPath(picked);
    if (kept.empty()) return false;
    if (!setFieldText(settings.dataFolder, kPathBytes, kept)) {
        reportFilled(kDataFolderTooLongText, kept, BoxKind::Ok);
        return false;
    }
    return true;
}

void storeChannelOptions(PlayerSettings& settings, bool deleteShort, bool deleteLong) {
    settings.deleteShortNoteChannel = deleteShort ? 1 : 0;
    settings.deleteLongNoteChannel = deleteLong ? 1 : 0;
}

}  // namespace tunecase

#include "settings/auto_update_mode.h"

#include "settings/settings_file.h"
#include "settings/windows_file_manager.h"
#include "support/allocation.h"
#include "support/log.h"

namespace korin {

namespace {

struct ModeValues {
    const char* silentAutoUpdateEnable;
    const char* autoUpdateDisable;
};

constexpr ModeValues kModes[] = {
    {"1", "0"},  // silent
    {"0", "0"},  // notify
    {"0", "1"},  // disabled
};

}  // namespace

bool setAutoUpdateMode(const Platform& platform, int mode) {
    if (mode < 0 || mode >= static_cast<int>(sizeof kModes / sizeof kModes[0])) {
        return false;
    }
    const ModeValues& values = kModes[mode];
    // The file manager is made for its reading of the settings; nothing else
    // of it is used here.
    const auto fileManager = makeUniqueOrNull<VOZA::WindowsFileManager>(platform);
    if (!fileManager) {
        writeLog(platform, Warning, logCodeMessage(kLogSetModeNoFileManager));
        return false;
    }
    const auto settings = newSettingsFile(platform);
    if (!settings) {
        writeLog(platform, Warning, logCodeMessage(kLogSetModeNoSettingsFile));
        return false;
    }
    return settings->set(kKeySilentAutoUpdateEnable, values.silentAutoUpdateEnable) &&
           settings->set(kKeyAutoUpdateDisable, values.autoUpdateDisable) && settings->save();
}

bool isSilentAutoUpdateEnabled(const Platform& platform) {
    const auto fileManager = makeUniqueOrNull<VOZA::WindowsFileManager>(platform);
    if (!fileManager) {
        writeLog(platform, Warning, logCodeMessage(kLogQueryNoFileManager));
        return false;
    }
    const auto settings = newSettingsFile(platform);
    if (!settings) {
        writeLog(platform, Warning, logCodeMessage(kLogQueryNoSettingsFile));
        return false;
    }
    const bool enabled = settingIsTrue(settings->get(kKeySilentAutoUpdateEnable));
    if (enabled) {
        writeLog(platform, Info, logCodeMessage(kLogSilentAutoUpdateEnabled));
    }
    return enabled;
}

}  // namespace korin

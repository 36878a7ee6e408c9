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

// The settings file as a command reads it. A file manager is made first: its
// construction reads EnableLocalAppData, and nothing else of it is used. Null,
// after the warning that names what memory was lacking for, when either
// object cannot be had.
std::unique_ptr<SettingsFile> loadForCommand(const Platform& platform, int noFileManagerCode,
                                             int noSettingsFileCode) {
    const auto fileManager = makeUniqueOrNull<VOZA::WindowsFileManager>(platform);
    if (!fileManager) {
        writeLog(platform, Warning, logCodeMessage(noFileManagerCode));
        return nullptr;
    }
    auto settings = newSettingsFile(platform);
    if (!settings) {
        writeLog(platform, Warning, logCodeMessage(noSettingsFileCode));
    }
    return settings;
}

}  // namespace

bool setAutoUpdateMode(const Platform& platform, int mode) {
    if (mode < 0 || mode >= static_cast<int>(sizeof kModes / sizeof kModes[0])) {
        return false;
    }
    const ModeValues& values = kModes[mode];
    const auto settings =
        loadForCommand(platform, kLogSetModeNoFileManager, kLogSetModeNoSettingsFile);
    if (!settings) {
        return false;
    }
    return settings->set(kKeySilentAutoUpdateEnable, values.silentAutoUpdateEnable) &&
           settings->set(kKeyAutoUpdateDisable, values.autoUpdateDisable) && settings->save();
}

bool isSilentAutoUpdateEnabled(const Platform& platform) {
    const auto settings = loadForCommand(platform, kLogQueryNoFileManager, kLogQueryNoSettingsFile);
    if (!settings) {
        return false;
    }
    const bool enabled = settingIsTrue(settings->get(kKeySilentAutoUpdateEnable));
    if (enabled) {
        writeLog(platform, Info, logCodeMessage(kLogSilentAutoUpdateEnabled));
    }
    return enabled;
}

}  // namespace korin

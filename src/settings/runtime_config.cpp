#include "settings/runtime_config.h"

#include "platform/last_error.h"
#include "platform/platform.h"
#include "platform/system_info.h"
#include "platform/error_codes.h"
#include "settings/settings_file.h"
#include "settings/windows_file_manager.h"
#include "support/allocation.h"
#include "support/log.h"
#include "ground/text.h"

#include <new>

namespace korin {

namespace {

std::int32_t osClassOf(const OsVersionInfo& version) {
    if (version.platformId != 2 || version.majorVersion < 6) {
        return kOsClassBeforeVista;
    }
    if (version.majorVersion == 6 && version.minorVersion <= 1) {
        return kOsClassVistaAnd7;
    }
    return kOsClass8AndLater;
}

void applySettings(const Platform& platform, const SettingsFile& settings) {
    RuntimeConfig& config = runtimeConfig();
    // First, so that the entries below reach the log when it is switched on.
    if (settingIsTrue(settings.get(kKeyVerboseLogging))) {
        logOptions().verbose = true;
    }
    const std::string domain = settings.get(kKeyServerDomain);
    if (!domain.empty()) {
        try {
            config.serverDomain = wideFromUtf8(domain);
        } catch (const std::bad_alloc&) {
            setLastError(kErrorNotEnoughMemory);
            writeLog(platform, Error, logCodeLastError(kLogServerDomainNotConverted));
        }
        if (config.serverDomain.empty()) {
            config.serverDomain = kDefaultServerDomain;
        } else {
            writeLog(platform, Info, logCodeMessage(kLogServerDomainInUse, config.serverDomain));
        }
    }
    config.autoUpdateDisable = settingIsTrue(settings.get(kKeyAutoUpdateDisable));
    writeLog(platform, Info,
             logCodeMessage(config.autoUpdateDisable ? kLogAutoUpdateDisabled
                                                     : kLogAutoUpdateNotDisabled));
    config.silentAutoUpdateEnable = settingIsTrue(settings.get(kKeySilentAutoUpdateEnable));
    writeLog(platform, Info,
             logCodeMessage(config.silentAutoUpdateEnable ? kLogSilentAutoUpdateOn
                                                          : kLogSilentAutoUpdateOff));
}

}  // namespace

RuntimeConfig& runtimeConfig() {
    static RuntimeConfig config;
    return config;
}

void initRuntimeConfig(const Platform& platform) {
    RuntimeConfig& config = runtimeConfig();
    // A failed query leaves the fields zero, which reads as before Vista.
    OsVersionInfo version;
    platform.system->getVersionEx(version);
    config.osClass = osClassOf(version);
    config.isWow64 = platform.system->isWow64Process() == 1;
    if (!loadRuntimeConfig(platform)) {
        writeLog(platform, Error, logCodeLastError(kLogRuntimeConfigNotLoaded));
    }
}

bool loadRuntimeConfig(const Platform& platform) {
    const auto fileManager = makeUniqueOrNull<VOZA::WindowsFileManager>(platform);
    if (!fileManager) {
        return false;
    }
    const auto settings = newSettingsFile(platform);
    if (!settings) {
        return false;
    }
    try {
        applySettings(platform, *settings);
    } catch (const std::bad_alloc&) {
        setLastError(kErrorNotEnoughMemory);
        return false;
    }
    return true;
}

std::wstring getServerDomain() {
    return runtimeConfig().serverDomain;
}

}  // namespace korin

#include "update/installer_launch.h"

#include "net/package_download.h"
#include "platform/files.h"
#include "platform/last_error.h"
#include "platform/platform.h"
#include "platform/error_codes.h"
#include "support/log.h"
#include "support/log_codes.h"

#include <new>

namespace korin {

namespace {

constexpr std::int32_t kLogInstallerStarted = logCode(1602);
constexpr std::int32_t kLogInstallerNotStarted = logCode(1218);
constexpr std::int32_t kLogNoMemoryForCommandLine = logCode(1235);
constexpr std::int32_t kLogNoMemoryForLaunch = logCode(1236);

void logNoMemory(const Platform& platform, std::int32_t code) {
    setLastError(kErrorNotEnoughMemory);
    writeLog(platform, Error, logCodeLastError(code));
}

}  // namespace

bool runInstaller(const Platform& platform, const std::wstring& applicationName,
                  const std::wstring& commandLine) {
    try {
        std::wstring writable = commandLine;
        std::unique_ptr<CreatedProcess> process =
            platform.processes->createProcess(applicationName, writable, kInstallerCreationFlags);
        if (!process) {
            writeLog(platform, Error, logCodeLastError(kLogInstallerNotStarted));
            return false;
        }
        writeLog(platform, Info, logCodeMessage(kLogInstallerStarted));
        return true;  // the process and thread handles close here
    } catch (const std::bad_alloc&) {
        logNoMemory(platform, kLogNoMemoryForCommandLine);
        return false;
    }
}

bool launchInstaller(const Platform& platform, const PlayerUpdateInfo* record) {
    if (!downloadPackage(platform, record)) {
        return false;
    }
    // The installer is started from the full path of the file just verified,
    // never found by a search: a same-named program beside the service would
    // run first. The command line still names it as written.
    std::wstring applicationName;
    try {
        applicationName.reserve(kMaxPath);
    } catch (const std::bad_alloc&) {
        logNoMemory(platform, kLogNoMemoryForLaunch);
        return false;
    }
    if (!platform.files->getFullPathName(kInstallerFileName, applicationName)) {
        writeLog(platform, Error, logCodeLastError(kLogInstallerNotStarted));
        return false;
    }
    std::wstring commandLine;
    try {
        commandLine =
            record->patchMatchesInstalled ? kPatchInstallerCommandLine : kFullInstallerCommandLine;
    } catch (const std::bad_alloc&) {
        logNoMemory(platform, kLogNoMemoryForCommandLine);
        return false;
    }
    return runInstaller(platform, applicationName, commandLine);
}

}  // namespace korin

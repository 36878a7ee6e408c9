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

}  // namespace

bool runInstaller(const Platform& platform, const std::wstring& applicationName,
                  const std::wstring& commandLine) {
    std::unique_ptr<CreatedProcess> process;
    try {
        std::wstring writable = commandLine;
        process =
            platform.processes->createProcess(applicationName, writable, kInstallerCreationFlags);
    } catch (const std::bad_alloc&) {
        logOutOfMemory(platform, kLogNoMemoryForCommandLine);
        return false;
    }
    if (!process) {
        writeLogCode(platform, Error, kLogInstallerNotStarted, lastError());
        return false;
    }
    // The installer runs: nothing from here may report it as not started,
    // or the next cycle would count and start it again.
    writeLogCode(platform, Info, kLogInstallerStarted);
    return true;  // the process and thread handles close here
}

bool launchInstaller(const Platform& platform, const PlayerUpdateInfo* record) {
    if (!downloadPackage(platform, record)) {
        return false;
    }
    // The installer is started from the full path of the file just verified,
    // never found by a search: a same-named program beside the service would
    // run first, with LocalSystem's rights. The command line still names it
    // as written.
    std::wstring applicationName;
    try {
        applicationName.reserve(kMaxPath);
        if (!platform.files->getFullPathName(kInstallerFileName, applicationName)) {
            writeLogCode(platform, Error, kLogInstallerNotStarted, lastError());
            return false;
        }
    } catch (const std::bad_alloc&) {
        logOutOfMemory(platform, kLogNoMemoryForLaunch);
        return false;
    }
    std::wstring commandLine;
    try {
        commandLine =
            record->patchMatchesInstalled ? kPatchInstallerCommandLine : kFullInstallerCommandLine;
    } catch (const std::bad_alloc&) {
        logOutOfMemory(platform, kLogNoMemoryForCommandLine);
        return false;
    }
    return runInstaller(platform, applicationName, commandLine);
}

}  // namespace korin

#include "update/update_cycle.h"

#include "manifest/player_inventory.h"
#include "net/manifest_download.h"
#include "settings/auto_update_mode.h"
#include "settings/runtime_config.h"
#include "support/log.h"
#include "update/installer_launch.h"
#include "update/trust_digester.h"
#include "update/update_state.h"

#include <cstdint>
#include <memory>
#include <new>

namespace korin {

namespace {

struct LaunchCodes {
    int started;
    int failed;
};

LaunchCodes launchCodes(PlayerType type) {
    switch (type) {
        case PlayerType::ActiveX:
            return {kLogActiveXInstallerStarted, kLogActiveXLaunchFailed};
        case PlayerType::Plugin:
            return {kLogPluginInstallerStarted, kLogPluginLaunchFailed};
        default:
            return {kLogPepperInstallerStarted, kLogPepperLaunchFailed};
    }
}

// The first of the records, in the order of priority, that needs an update;
// every record asked anew, with needsUpdate's own log entries.
PlayerUpdateInfo* firstNeedingUpdate(const Platform& platform,
                                     PlayerUpdateInfo* const (&records)[3]) {
    for (PlayerUpdateInfo* record : records) {
        if (needsUpdate(platform, *record)) {
            return record;
        }
    }
    return nullptr;
}

// The cycle's working set, freed when the check returns, before 1612.
struct WorkingSet {
    std::unique_ptr<PlayerUpdateInfo> activeX;
    std::unique_ptr<PlayerUpdateInfo> plugin;
    std::unique_ptr<PlayerUpdateInfo> pepper;
    std::unique_ptr<std::uint32_t> checkFrequency;
};

// From the current-major manifest to the launch; true when the check is to
// be recorded, false when an installer was started.
bool checkAndLaunch(const Platform& platform, WorkingSet& work) {
    if (!fetchCurrentMajor(platform, work.activeX, work.plugin, work.pepper, work.checkFrequency)) {
        writeLog(platform, Info, logCodeMessage(kLogNoCurrentMajor));
        return true;
    }
    PlayerUpdateInfo* const records[3] = {work.activeX.get(), work.plugin.get(), work.pepper.get()};
    const FileDigester digester = packageTrustDigester(platform);
    fetchManifests(platform, records[0], records[1], records[2], work.checkFrequency.get(),
                   kFetchVersionManifests, digester);
    if (firstNeedingUpdate(platform, records) != nullptr) {
        fetchManifests(platform, records[0], records[1], records[2], work.checkFrequency.get(),
                       kFetchPatchManifests, digester);
    }

    // Before the choice of a type: it fires with nothing to update too.
    std::uint32_t attempts = 0;
    if (readUpdateAttempts(platform, attempts) && attempts >= kMaxUpdateAttempts) {
        writeLog(platform, Error, logCodeMessage(kLogAttemptsExhausted));
        setAutoUpdateMode(platform, NotifyMode);
        return true;
    }

    PlayerUpdateInfo* chosen = firstNeedingUpdate(platform, records);
    if (chosen == nullptr) {
        return true;
    }
    // Counted before the launch: an attempt that fails on the way counts too.
    incrementUpdateAttempts(platform);
    const LaunchCodes codes = launchCodes(chosen->type);
    if (launchInstaller(platform, chosen)) {
        writeLog(platform, Info, logCodeMessage(codes.started));
        return false;
    }
    writeLog(platform, Error, logCodeLastError(codes.failed));
    return true;
}

}  // namespace

void runUpdateCycle(const Platform& platform) {
    writeLog(platform, Info, logCodeMessage(kLogCycleBegins));
    const RuntimeConfig& config = runtimeConfig();
    if (!config.autoUpdateDisable && config.silentAutoUpdateEnable && isCheckDue(platform)) {
        try {
            WorkingSet work;
            if (checkAndLaunch(platform, work)) {
                // A record made without the current-major manifest writes 1.
                writeLastUpdateCheck(platform, false);
                writeCheckFrequency(platform, work.checkFrequency.get());
            }
        } catch (const std::bad_alloc&) {
            // The steps catch their own; what is left is the cycle's bookkeeping,
            // and without memory the check ends unrecorded, as if not yet due:
            // 1612 is still logged and the next start checks again.
        }
    }
    writeLog(platform, Info, logCodeMessage(kLogCycleEnds));
}

}  // namespace korin

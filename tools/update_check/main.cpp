// korin-update-check: a diagnostic of the stand-in build. Runs the service's
// manifest passes against the update server, as an update cycle does, and
// reports what it found for each player type. Does not update anything.
//
//   korin-update-check [--server NAME] [--install]
//
// With --install it goes on as the cycle does: the first type that needs an
// update has its package downloaded, verified and its installer started.
//
// The machine is the folder that KORIN_MACHINE_ROOT names; the log goes
// where the service writes it, relative to the working folder.

#include "manifest/manifest_readers.h"
#include "net/manifest_download.h"
#include "service/standin_platform_posix.h"
#include "settings/runtime_config.h"
#include "support/log.h"
#include "ground/text.h"
#include "update/installer_launch.h"
#include "update/trust_digester.h"

#include <iostream>
#include <string>

namespace {

using namespace korin;

std::string narrow(const std::wstring& text) {
    return utf8FromWide(text);
}

std::string versionText(const PlayerVersion& version) {
    return std::to_string(version.major) + "." + std::to_string(version.minor) + "." +
           std::to_string(version.buildMajor) + "." + std::to_string(version.buildMinor);
}

void report(const Platform& platform, const PlayerUpdateInfo& record) {
    const PlayerType type = record.type;
    std::cout << playerElementName(type) << ":\n";
    if (!isPlayerInstalled(platform, type)) {
        std::cout << "  not installed\n";
        return;
    }
    std::cout << "  installed        " << versionText(readInstalledVersion(platform, type))
              << (isBetaChannel(platform, type) ? " (beta channel)" : " (release channel)")
              << "\n  folder           " << narrow(record.basePath) << "\n  version manifest "
              << narrow(record.versionXmlPath) << "\n  offered          "
              << versionText(record.offeredVersion) << "\n  minVer           "
              << versionText(record.minVer) << "\n";
}

}  // namespace

int main(int argc, char** argv) {
    std::string server;
    bool install = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--server" && i + 1 < argc) {
            server = argv[++i];
        } else if (arg == "--install") {
            install = true;
        } else {
            std::cerr << "usage: korin-update-check [--server NAME] [--install]\n";
            return 2;
        }
    }
    std::string error;
    auto standIn = StandInPlatform::open(error);
    if (!standIn) {
        std::cerr << "korin-update-check: " << error << "\n";
        return 2;
    }
    if (!standIn->checkComplete()) {
        std::cerr << "korin-update-check: the " << missingPort(standIn->platform())
                  << " port is missing\n";
        return 2;
    }
    const Platform& platform = standIn->platform();
    // What service start fills; the log is verbose.
    initRuntimeConfig(platform);
    RuntimeConfig& config = runtimeConfig();
    logOptions().verbose = true;
    if (!server.empty()) {
        config.serverDomain = wideFromUtf8(server);
    }

    std::unique_ptr<PlayerUpdateInfo> activeX, plugin, pepper;
    std::unique_ptr<std::uint32_t> checkFrequency;
    if (!fetchCurrentMajor(platform, activeX, plugin, pepper, checkFrequency)) {
        std::cout << "the current-major manifest could not be read\n";
        return 1;
    }
    const FileDigester digester = packageTrustDigester(platform);
    fetchManifests(platform, activeX.get(), plugin.get(), pepper.get(), checkFrequency.get(),
                   kFetchVersionManifests, digester);
    bool anyUpdate = false;
    for (const PlayerUpdateInfo* record : {activeX.get(), plugin.get(), pepper.get()}) {
        report(platform, *record);
        if (isPlayerInstalled(platform, record->type)) {
            const bool needed = needsUpdate(platform, *record);
            anyUpdate = anyUpdate || needed;
            std::cout << "  needs update     " << (needed ? "yes" : "no") << "\n";
        }
    }
    std::cout << "check frequency: " << *checkFrequency << " days\n";
    if (anyUpdate) {
        fetchManifests(platform, activeX.get(), plugin.get(), pepper.get(), checkFrequency.get(),
                       kFetchPatchManifests, digester);
        for (const PlayerUpdateInfo* record : {activeX.get(), plugin.get(), pepper.get()}) {
            if (record->patchXmlPath.empty() || record->hash32.empty()) {
                continue;
            }
            std::cout << playerElementName(record->type) << " patch:\n"
                      << "  patch manifest   " << narrow(record->patchXmlPath)
                      << "\n  patch package    " << narrow(record->patchPackagePath)
                      << "\n  fits installed   " << (record->patchMatchesInstalled ? "yes" : "no")
                      << "\n  full package     " << narrow(record->fullPackagePath) << "\n";
        }
    }
    if (install) {
        for (const PlayerUpdateInfo* record : {activeX.get(), plugin.get(), pepper.get()}) {
            if (!needsUpdate(platform, *record)) {
                continue;
            }
            const bool started = launchInstaller(platform, record);
            std::cout << playerElementName(record->type) << " installer "
                      << (started ? "started" : "not started") << "\n";
            return started ? 0 : 1;
        }
        std::cout << "no installer to start\n";
    }
    return 0;
}

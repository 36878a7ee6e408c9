// korin-update-check: a diagnostic of the stand-in build. Runs the service's
// manifest passes against the update server, as an update cycle does, and
// reports what it found for each player type. Does not update anything.
//
//   korin-update-check [--server NAME]
//
// The machine is the folder that KORIN_MACHINE_ROOT names; the log goes
// where the service writes it, relative to the working folder.

#include "manifest/manifest_readers.h"
#include "net/http_posix.h"
#include "net/manifest_download.h"
#include "platform/adapters_posix.h"
#include "platform/platform.h"
#include "platform/standin/machine_setup.h"
#include "settings/runtime_config.h"
#include "support/string_table_posix.h"
#include "support/text.h"
#include "trust/crypto_libraries_posix.h"

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
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--server" && i + 1 < argc) {
            server = argv[++i];
        } else {
            std::cerr << "usage: korin-update-check [--server NAME]\n";
            return 2;
        }
    }
    std::string error;
    auto machine = standin::Machine::fromEnvironment(error);
    auto database = machine ? standin::RegistryDb::open(machine->registryFile(), error) : nullptr;
    if (!database) {
        std::cerr << "korin-update-check: " << error << "\n";
        return 2;
    }
    const standin::MachineFacts facts = standin::readMachineFacts(*database);
    PosixClock clock;
    PosixFiles files(*machine, facts.is64Bit);
    PosixRegistry registry(*database, facts.is64Bit);
    PosixSystemInfo system(facts);
    PosixStringTable strings(facts.uiLanguage);
    PosixHttp http(*machine);
    PosixCryptoLibraries cryptoLibraries(facts.is64Bit);
    const Platform platform{
        .clock = &clock,
        .files = &files,
        .registry = &registry,
        .system = &system,
        .strings = &strings,
        .http = &http,
        .cryptoLibraries = &cryptoLibraries,
    };
    // What service start fills from the machine's facts; the log is verbose.
    RuntimeConfig& config = runtimeConfig();
    config.isWow64 = facts.is64Bit;
    config.osClass = facts.majorVersion > 6 || (facts.majorVersion == 6 && facts.minorVersion >= 2)
                         ? 3
                     : facts.majorVersion == 6 ? 2
                                               : 1;
    config.verboseLogging = true;
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
    return 0;
}

// Package download speed and memory on a stand-in machine, against the
// command line on the same 64 MiB package from the same local test server,
// in the same run:
// - downloadPackage (download, verify, write KorinPlayerInstaller.exe):
//   time <= 1.5 x `curl -o` followed by `openssl cms -verify -noverify -out`;
// - its peak memory <= 2.5 x the package size (the package is read back
//   whole and its content decoded beside it, so about 2 is the floor).
// Exits non-zero when a goal is missed. `--smoke`: 1 MiB, each once, no goal.

#include "bench/bench_support.h"
#include "net/package_download.h"
#include "net/test_server_posix.h"
#include "service/standin_platform_posix.h"
#include "settings/runtime_config.h"

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace korin::bench;

std::size_t gSize = 64u << 20;
constexpr char kPackagePath[] = "/pub/bench/install_all_win_pl_sgn.z";

fs::path gFolder;
std::string gCurl;  // the baseline's command line
const korin::Platform* gPlatform = nullptr;
korin::PlayerUpdateInfo gRecord;

void downloadPackage(benchmark::State& state) {
    for (auto _ : state) {
        if (!korin::downloadPackage(*gPlatform, &gRecord)) {
            state.SkipWithError("downloadPackage failed");
        }
    }
}

void curlAndOpenssl(benchmark::State& state) {
    for (auto _ : state) {
        run(gCurl);
    }
}

}  // namespace

int main(int argc, char** argv) {
    const bool smoke = takeSmokeSwitch(argc, argv);
    if (smoke) {
        gSize = 1u << 20;
    }
    gFolder = fs::temp_directory_path() / ("korin-package-bench-" + std::to_string(getpid()));
    const std::string at = "'" + gFolder.string() + "/";
    fs::create_directories(gFolder / "tree/pub/bench");
    writeRandomFile(gFolder / "installer.bin", gSize);
    const std::string tool = std::string(KORIN_SOURCE_DIR) + "/tools/sign-package/sign-package";
    run(tool + " issue --subject /CN=Bench --out-cert " + at + "s.pem' --out-key " + at + "s.key'");
    run(tool + " sign --signer " + at + "s.pem' --key " + at + "s.key' " + at + "installer.bin' " +
        at + "tree" + kPackagePath + "'");
    korin::testing::TestServer server;
    std::string error;
    if (!server.start((gFolder / "tree").string(), gFolder.string(), error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 2;
    }

    // A stand-in machine that resolves localhost to the server and trusts it;
    // the installer is written in the working folder.
    const std::string machine = std::string(KORIN_BIN_DIR) + "/korin-machine ";
    setenv("KORIN_MACHINE_ROOT", (gFolder / "machine").c_str(), 1);
    fs::create_directories(gFolder / "machine");
    run(machine + "init >/dev/null");
    run(machine + "hosts add localhost " + server.address() + " >/dev/null");
    run(machine + "trust add '" + server.authorityFile() + "' >/dev/null");
    auto standIn = korin::StandInPlatform::open(error);
    if (!standIn) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 2;
    }
    gPlatform = &standIn->platform();
    korin::runtimeConfig().serverDomain = L"localhost";
    gRecord.type = korin::PlayerType::Plugin;
    gRecord.fullPackagePath = std::wstring(kPackagePath, kPackagePath + sizeof kPackagePath - 1);
    fs::current_path(gFolder);
    gCurl = "curl -sf --cacert '" + server.authorityFile() +
            "' --resolve localhost:443:" + server.address() + " -o package.p7 https://localhost" +
            kPackagePath +
            " && openssl cms -verify -binary -inform DER -noverify -in package.p7 -out "
            "installer.out 2>/dev/null";

    // The peak of one download, its mark reset first.
    resetPeakResidentBytes();
    const bool downloaded = korin::downloadPackage(*gPlatform, &gRecord);
    const long peak = peakResidentBytes();
    const bool sameBytes = downloaded && fs::file_size("KorinPlayerInstaller.exe") == gSize;

    std::map<std::string, double> times = medianTimes(argc, argv, smoke,
                                                      {
                                                          {"downloadPackage", downloadPackage},
                                                          {"curlAndOpenssl", curlAndOpenssl},
                                                      });
    server.stop();
    fs::current_path(fs::temp_directory_path());
    fs::remove_all(gFolder);
    if (smoke) {
        return smokeResult(sameBytes);
    }

    const double timeRatio = times["downloadPackage"] / times["curlAndOpenssl"];
    const double memoryRatio = static_cast<double>(peak) / static_cast<double>(gSize);
    std::printf("\ndownloadPackage %.0f ms, curl -o + openssl cms -verify -out %.0f ms\n",
                times["downloadPackage"], times["curlAndOpenssl"]);
    std::printf("downloadPackage peak RSS %.1f MiB, package %.1f MiB\n",
                static_cast<double>(peak) / (1 << 20), static_cast<double>(gSize) / (1 << 20));
    bool met = sameBytes;
    if (!sameBytes) {
        std::printf("the first download did not write the 64 MiB installer\n");
    }
    const auto report = [&](const char* what, double value, const char* goal, bool ok) {
        std::printf("%-58s %6.2f  (goal %s) %s\n", what, value, goal, ok ? "met" : "MISSED");
        met = met && ok;
    };
    report("downloadPackage time / curl -o + openssl cms -verify", timeRatio, "<= 1.50",
           timeRatio > 0 && timeRatio <= 1.5);
    report("downloadPackage peak RSS / package size", memoryRatio, "<= 2.50",
           peak > 0 && memoryRatio <= 2.5);
    return met ? 0 : 1;
}

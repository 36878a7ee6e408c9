// Package-trust speed and memory on the stand-in machine, against the
// openssl command line on the same files in the same run:
// - fileDigest of a 64 MiB file: throughput >= 0.8 x `openssl dgst -sha256`;
// - verifySignedPackage of a 64 MiB package: time <= 1.2 x
//   `openssl cms -verify -noverify`, peak memory <= 2.5 x the package size.
// Exits non-zero when a goal is missed. `--smoke`: 1 MiB, each once, no goal.

#include "bench/bench_support.h"
#include "platform/files_posix.h"
#include "platform/standin/machine.h"
#include "platform/platform.h"
#include "platform/standin/program_view.h"
#include "trust/crypto_libraries_posix.h"
#include "trust/package_trust.h"

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace korin::bench;

std::size_t gSize = 64u << 20;

fs::path gFolder;
std::string gPackage;  // the package in memory, as the download holds it

std::string readAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct Standin {
    korin::standin::Machine machine{"/nonexistent-korin-machine"};
    korin::StandInFiles files{korin::standin::ProgramView(machine, false)};
    korin::StandInCryptoLibraries libraries{true};
    korin::Platform platform;
    Standin() {
        platform.files = &files;
        platform.cryptoLibraries = &libraries;
    }
};

bool verify(const korin::Platform& platform, const std::string& package) {
    korin::PackageTrust trust(platform);
    std::unique_ptr<std::uint8_t[]> content;
    std::uint32_t size = 0;
    return trust.verifySignedPackage(reinterpret_cast<const std::uint8_t*>(package.data()),
                                     static_cast<std::uint32_t>(package.size()), content, size) &&
           size == gSize;
}

void fileDigest(benchmark::State& state) {
    Standin standin;
    const std::wstring path = standin.machine.windowsPath((gFolder / "installer.bin").string());
    for (auto _ : state) {
        korin::PackageTrust trust(standin.platform);
        char text[korin::kDigestTextSize] = {};
        std::uint32_t code = 0;
        std::uint32_t systemError = 0;
        if (!trust.fileDigest(path, text, code, systemError, false)) {
            state.SkipWithError("fileDigest failed");
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * gSize));
}

void opensslDgst(benchmark::State& state) {
    const std::string command =
        "openssl dgst -sha256 '" + (gFolder / "installer.bin").string() + "' >/dev/null";
    for (auto _ : state) {
        run(command);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * gSize));
}

void verifySignedPackage(benchmark::State& state) {
    Standin standin;
    for (auto _ : state) {
        if (!verify(standin.platform, gPackage)) {
            state.SkipWithError("package not trusted");
        }
    }
}

void opensslCmsVerify(benchmark::State& state) {
    const std::string command = "openssl cms -verify -noverify -binary -inform DER -in '" +
                                (gFolder / "package.p7").string() + "' -out /dev/null 2>/dev/null";
    for (auto _ : state) {
        run(command);
    }
}

// Peak resident memory (bytes) of this process while it reads the package
// from disk and verifies it, the peak mark reset first; everything large the
// process held before is given back by then.
long peakBytesOfVerification() {
    resetPeakResidentBytes();
    Standin standin;
    const std::string package = readAll(gFolder / "package.p7");
    if (!verify(standin.platform, package)) {
        return -1;
    }
    return peakResidentBytes();
}

}  // namespace

int main(int argc, char** argv) {
    const bool smoke = takeSmokeSwitch(argc, argv);
    if (smoke) {
        gSize = 1u << 20;
    }
    gFolder = fs::temp_directory_path() / ("korin-trust-bench-" + std::to_string(getpid()));
    fs::create_directories(gFolder);
    writeRandomFile(gFolder / "installer.bin", gSize);
    const std::string tool = std::string(KORIN_SOURCE_DIR) + "/tools/sign-package/sign-package";
    const std::string at = "'" + gFolder.string() + "/";
    run(tool + " issue --subject /CN=Bench --out-cert " + at + "s.pem' --out-key " + at + "s.key'");
    run(tool + " sign --signer " + at + "s.pem' --key " + at + "s.key' " + at + "installer.bin' " +
        at + "package.p7'");
    const long peak = peakBytesOfVerification();
    gPackage = readAll(gFolder / "package.p7");

    std::map<std::string, double> times =
        medianTimes(argc, argv, smoke,
                    {
                        {"fileDigest", fileDigest},
                        {"opensslDgst", opensslDgst},
                        {"verifySignedPackage", verifySignedPackage},
                        {"opensslCmsVerify", opensslCmsVerify},
                    });

    const double digestRatio = times["opensslDgst"] / times["fileDigest"];
    const double verifyRatio = times["verifySignedPackage"] / times["opensslCmsVerify"];
    const double memoryRatio = static_cast<double>(peak) / static_cast<double>(gPackage.size());
    fs::remove_all(gFolder);
    if (smoke) {
        return smokeResult(peak > 0);
    }

    bool met = true;
    const auto report = [&](const char* what, double value, const char* goal, bool ok) {
        std::printf("%-58s %6.2f  (goal %s) %s\n", what, value, goal, ok ? "met" : "MISSED");
        met = met && ok;
    };
    std::printf("\n");
    report("fileDigest throughput / openssl dgst -sha256", digestRatio, ">= 0.80",
           digestRatio >= 0.8);
    report("verifySignedPackage time / openssl cms -verify -noverify", verifyRatio, "<= 1.20",
           verifyRatio <= 1.2);
    report("verification peak RSS / package size", memoryRatio, "<= 2.50",
           peak > 0 && memoryRatio <= 2.5);
    return met ? 0 : 1;
}

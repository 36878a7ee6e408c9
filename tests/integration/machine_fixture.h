#pragma once

// Runs the real host programs on a fresh stand-in machine.

#include "fixtures/temporary_machine_posix.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace korin::integration {

struct RunResult {
    int exitCode = -1;  // the low 8 bits, as Linux keeps them
    std::string out;
    std::string err;
};

// SHA-256 of "abc", the content of the installed player files the tests plant.
inline constexpr char kDigestAbc[] =
    "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";

class MachineFixture : public ::testing::Test {
  protected:
    void SetUp() override;

    // Runs a program of the build's bin folder (or the one an absolute path
    // names) in the given working folder
    // (a host path; the machine's System32 when empty), with
    // KORIN_MACHINE_ROOT naming this machine unless withMachine is false.
    RunResult run(const std::string& program, const std::vector<std::string>& args,
                  const std::string& workingFolder = "", bool withMachine = true);
    RunResult machine(const std::vector<std::string>& args) { return run("korin-machine", args); }
    RunResult service(const std::vector<std::string>& args) {
        return run("korin-update-service", args);
    }

    // A host path below drive C: of the machine ("Windows/SysWOW64/x").
    std::string driveC(const std::string& relative) const;
    std::string readFile(const std::string& hostPath) const;
    // The service's log on a 64-bit machine, its UTF-16 units cut to bytes:
    // enough for finding the ASCII entries the tests look for.
    std::string serviceLog() const;
    // Writes in root_ an offer of Plugin 32.0.0.465 with a patch from 31 for
    // "abc" files (offer.txt), and its two installers: full.exe and patch.exe,
    // both korin-test-installer, the patch's with a tail of its own so that
    // the bytes tell them apart.
    void writePatchOffer() const;

    std::string root_;

  private:
    korin::testing::TemporaryMachine folder_;
};

}  // namespace korin::integration

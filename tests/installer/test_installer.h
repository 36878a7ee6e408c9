#pragma once

// korin-test-installer: what the package tests sign, serve and start in
// place of a real installer. The record is the same on both builds; each
// build's part says how it learns the three facts.

#include <string>

namespace korin::testing {

// UTF-8, in the platform's own form (what Windows would give).
struct InstallerFacts {
    std::string commandLine;  // GetCommandLineW
    std::string folder;       // GetCurrentDirectoryW
    std::string self;         // GetModuleFileNameW
};

InstallerFacts installerFacts();

}  // namespace korin::testing

#pragma once

#include "trust/crypto_libraries.h"

#include <filesystem>
#include <memory>

namespace korin::testing {

// The build's real cryptography libraries: the system's on Windows, the
// stand-in's (64-bit machine) on the host.
std::unique_ptr<CryptoLibraries> makeRealCryptoLibraries();

// True when the Windows tests run under Wine rather than on Windows.
bool runningUnderWine();

// The folder of the shared signed-package vectors the build made.
std::filesystem::path trustVectorsFolder();

}  // namespace korin::testing

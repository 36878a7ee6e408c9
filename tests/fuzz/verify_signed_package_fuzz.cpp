// libFuzzer target: any bytes as a signed package on the stand-in machine.
// The verifier must neither crash, hang nor leak, whatever it is handed.

#include "platform/platform.h"
#include "trust/crypto_libraries_posix.h"
#include "trust/package_trust.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static korin::StandInCryptoLibraries libraries(true);
    korin::Platform platform;
    platform.cryptoLibraries = &libraries;
    korin::PackageTrust trust(platform);
    std::unique_ptr<std::uint8_t[]> content;
    std::uint32_t contentSize = 0;
    if (trust.verifySignedPackage(data, static_cast<std::uint32_t>(size), content, contentSize)) {
        // Trusted content lies inside the package.
        if (contentSize > size) {
            __builtin_trap();
        }
    }
    // Whatever came back is fully readable.
    volatile std::uint8_t sink = 0;
    for (std::uint32_t i = 0; content && i < contentSize; i += 4096) {
        sink = static_cast<std::uint8_t>(sink + content[i]);
    }
    return 0;
}

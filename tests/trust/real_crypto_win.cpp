#include "trust/crypto_libraries_win.h"
#include "trust/real_crypto.h"

#include <windows.h>

#include <cstdlib>

namespace korin::testing {

std::unique_ptr<CryptoLibraries> makeRealCryptoLibraries() {
    return std::make_unique<WinCryptoLibraries>();
}

bool runningUnderWine() {
    HMODULE ntdll = GetModuleHandleW(L"ntdll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

std::filesystem::path trustVectorsFolder() {
    // The host folder the build made, through Wine's Z: drive; the runner may
    // name another.
    if (const char* named = std::getenv("KORIN_TRUST_VECTORS")) {
        return named;
    }
    return std::filesystem::path("Z:" KORIN_TRUST_VECTORS_DIR);
}

}  // namespace korin::testing

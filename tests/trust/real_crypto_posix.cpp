#include "trust/crypto_libraries_posix.h"
#include "trust/real_crypto.h"

namespace korin::testing {

std::unique_ptr<CryptoLibraries> makeRealCryptoLibraries() {
    return std::make_unique<StandInCryptoLibraries>(true);
}

bool runningUnderWine() {
    return false;
}

std::filesystem::path trustVectorsFolder() {
    return KORIN_TRUST_VECTORS_DIR;
}

}  // namespace korin::testing

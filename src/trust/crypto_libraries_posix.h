#pragma once

// The stand-in cryptography libraries adapter: the simulated system libraries.

#include "trust/crypto_libraries.h"

namespace korin {

// The stand-in machine's system libraries: crypt32, advapi32 and kernel32
// are modules of this program whose exports are the OpenSSL-backed stand-ins
// of the CryptoAPI and Wow64 functions (platform/standin/system_exports.h).
class StandInCryptoLibraries final : public CryptoLibraries {
  public:
    explicit StandInCryptoLibraries(bool is64BitMachine) : is64BitMachine_(is64BitMachine) {}

    std::int32_t getSystemFolder(std::wstring& path) override;
    crypto::ModuleHandle loadLibrary(const std::wstring& path) override;
    crypto::ProcAddress getProcAddress(crypto::ModuleHandle module, const char* name) override;
    bool freeLibrary(crypto::ModuleHandle module) override;
    bool destroyHash(crypto::CryptHash hash) override;
    bool releaseContext(crypto::CryptProv provider, std::uint32_t flags) override;
    bool closeStore(crypto::CertStore store, std::uint32_t flags) override;

  private:
    bool is64BitMachine_;
};

}  // namespace korin

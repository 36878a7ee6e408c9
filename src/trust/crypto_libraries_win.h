#pragma once

// The Win32 cryptography libraries adapter: LoadLibraryW and GetProcAddress.

#include "trust/crypto_libraries.h"

namespace korin {

// The real loader: SHGetFolderPathW, LoadLibraryW, GetProcAddress, FreeLibrary.
class WinCryptoLibraries final : public CryptoLibraries {
  public:
    std::int32_t getSystemFolder(std::wstring& path) override;
    crypto::ModuleHandle loadLibrary(const std::wstring& path) override;
    crypto::ProcAddress getProcAddress(crypto::ModuleHandle module, const char* name) override;
    bool freeLibrary(crypto::ModuleHandle module) override;
    bool destroyHash(crypto::CryptHash hash) override;
    bool releaseContext(crypto::CryptProv provider, std::uint32_t flags) override;
    bool closeStore(crypto::CertStore store, std::uint32_t flags) override;
};

}  // namespace korin

#pragma once

// The cryptography libraries port: loading crypt32 and advapi32 by path.

#include "platform/crypto_api.h"

#include <cstdint>
#include <string>

namespace korin {

// The platform's system libraries as the package-trust code reaches them:
// loaded at run time by full path and resolved by export name, plus the few
// functions the program links directly. Failures return false or null and set
// the thread's last error, as the platform calls do.
class CryptoLibraries {
  public:
    virtual ~CryptoLibraries() = default;
    // SHGetFolderPathW(CSIDL_SYSTEM): an HRESULT, negative on failure.
    virtual std::int32_t getSystemFolder(std::wstring& path) = 0;
    // LoadLibraryW.
    virtual crypto::ModuleHandle loadLibrary(const std::wstring& path) = 0;
    // GetProcAddress.
    virtual crypto::ProcAddress getProcAddress(crypto::ModuleHandle module, const char* name) = 0;
    // FreeLibrary.
    virtual bool freeLibrary(crypto::ModuleHandle module) = 0;
    // CryptDestroyHash, CryptReleaseContext (advapi32, linked directly).
    virtual bool destroyHash(crypto::CryptHash hash) = 0;
    virtual bool releaseContext(crypto::CryptProv provider, std::uint32_t flags) = 0;
    // CertCloseStore (crypt32, linked directly).
    virtual bool closeStore(crypto::CertStore store, std::uint32_t flags) = 0;
};

}  // namespace korin

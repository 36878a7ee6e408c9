#include "trust/crypto_libraries_win.h"

#include <shlobj.h>
#include <wincrypt.h>
#include <windows.h>

namespace korin {

std::int32_t WinCryptoLibraries::getSystemFolder(std::wstring& path) {
    wchar_t buffer[MAX_PATH] = {};
    const HRESULT result = SHGetFolderPathW(nullptr, CSIDL_SYSTEM, nullptr, 0, buffer);
    if (SUCCEEDED(result)) {
        path = buffer;
    }
    return result;
}

crypto::ModuleHandle WinCryptoLibraries::loadLibrary(const std::wstring& path) {
    return LoadLibraryW(path.c_str());
}

crypto::ProcAddress WinCryptoLibraries::getProcAddress(crypto::ModuleHandle module,
                                                       const char* name) {
    return reinterpret_cast<crypto::ProcAddress>(
        GetProcAddress(static_cast<HMODULE>(module), name));
}

bool WinCryptoLibraries::freeLibrary(crypto::ModuleHandle module) {
    return FreeLibrary(static_cast<HMODULE>(module)) != FALSE;
}

bool WinCryptoLibraries::destroyHash(crypto::CryptHash hash) {
    return CryptDestroyHash(hash) != FALSE;
}

bool WinCryptoLibraries::releaseContext(crypto::CryptProv provider, std::uint32_t flags) {
    return CryptReleaseContext(provider, flags) != FALSE;
}

bool WinCryptoLibraries::closeStore(crypto::CertStore store, std::uint32_t flags) {
    return CertCloseStore(store, flags) != FALSE;
}

}  // namespace korin

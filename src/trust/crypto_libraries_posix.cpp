#include "trust/crypto_libraries_posix.h"

#include "platform/last_error.h"
#include "platform/error_codes.h"
#include "ground/text.h"
#include "platform/standin/system_exports.h"

#include <cstring>

namespace korin {

namespace {

constexpr std::uint32_t kErrorModNotFound = 126;
constexpr std::uint32_t kErrorProcNotFound = 127;

struct Export {
    const char* name;
    crypto::ProcAddress address;
};

template <typename Function>
crypto::ProcAddress address(Function function) {
    return reinterpret_cast<crypto::ProcAddress>(function);
}

struct Module {
    const wchar_t* fileName;
    Export exports[8];
};

const Module kCrypt32{
    L"crypt32.dll",
    {
        {"CryptVerifyMessageSignature", address(&standin::CryptVerifyMessageSignature)},
        {"CryptGetMessageCertificates", address(&standin::CryptGetMessageCertificates)},
        {"CertCreateCertificateContext", address(&standin::CertCreateCertificateContext)},
        {"CertFindCertificateInStore", address(&standin::CertFindCertificateInStore)},
        {"CertVerifySubjectCertificateContext",
         address(&standin::CertVerifySubjectCertificateContext)},
        {"CertFreeCertificateContext", address(&standin::CertFreeCertificateContext)},
        {"CertCloseStore", address(&standin::CertCloseStore)},
    },
};

const Module kAdvapi32{
    L"advapi32.dll",
    {
        {"CryptAcquireContextW", address(&standin::CryptAcquireContextW)},
        {"CryptCreateHash", address(&standin::CryptCreateHash)},
        {"CryptHashData", address(&standin::CryptHashData)},
        {"CryptGetHashParam", address(&standin::CryptGetHashParam)},
        {"CryptDestroyHash", address(&standin::CryptDestroyHash)},
        {"CryptReleaseContext", address(&standin::CryptReleaseContext)},
    },
};

const Module kKernel32{
    L"kernel32.dll",
    {
        {"Wow64DisableWow64FsRedirection", address(&standin::Wow64DisableWow64FsRedirection)},
        {"Wow64RevertWow64FsRedirection", address(&standin::Wow64RevertWow64FsRedirection)},
    },
};

// kernel32 of a 32-bit machine: the same exports, which fail.
const Module kKernel32Of32BitMachine{
    L"kernel32.dll",
    {
        {"Wow64DisableWow64FsRedirection", address(&standin::Wow64DisableWow64FsRedirection32)},
        {"Wow64RevertWow64FsRedirection", address(&standin::Wow64RevertWow64FsRedirection32)},
    },
};

std::wstring fileNameOf(const std::wstring& path) {
    const auto slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

bool isModule(crypto::ModuleHandle handle) {
    for (const Module* module : {&kCrypt32, &kAdvapi32, &kKernel32, &kKernel32Of32BitMachine}) {
        if (handle == module) {
            return true;
        }
    }
    return false;
}

}  // namespace

std::int32_t StandInCryptoLibraries::getSystemFolder(std::wstring& path) {
    path = L"C:\\Windows\\system32";
    return 0;
}

crypto::ModuleHandle StandInCryptoLibraries::loadLibrary(const std::wstring& path) {
    const std::wstring name = fileNameOf(path);
    const Module* kernel32 = is64BitMachine_ ? &kKernel32 : &kKernel32Of32BitMachine;
    for (const Module* module : {&kCrypt32, &kAdvapi32, kernel32}) {
        if (equalsIgnoreCase(name, module->fileName)) {
            return const_cast<Module*>(module);
        }
    }
    setLastError(kErrorModNotFound);
    return nullptr;
}

crypto::ProcAddress StandInCryptoLibraries::getProcAddress(crypto::ModuleHandle handle,
                                                         const char* name) {
    if (!isModule(handle)) {
        setLastError(kErrorInvalidHandle);
        return nullptr;
    }
    for (const Export& entry : static_cast<const Module*>(handle)->exports) {
        if (entry.name != nullptr && std::strcmp(entry.name, name) == 0) {
            return entry.address;
        }
    }
    setLastError(kErrorProcNotFound);
    return nullptr;
}

bool StandInCryptoLibraries::freeLibrary(crypto::ModuleHandle handle) {
    if (!isModule(handle)) {
        setLastError(kErrorInvalidHandle);
        return false;
    }
    return true;
}

bool StandInCryptoLibraries::destroyHash(crypto::CryptHash hash) {
    return standin::CryptDestroyHash(hash) != 0;
}

bool StandInCryptoLibraries::releaseContext(crypto::CryptProv provider, std::uint32_t flags) {
    return standin::CryptReleaseContext(provider, flags) != 0;
}

bool StandInCryptoLibraries::closeStore(crypto::CertStore store, std::uint32_t flags) {
    return standin::CertCloseStore(store, flags) != 0;
}

}  // namespace korin

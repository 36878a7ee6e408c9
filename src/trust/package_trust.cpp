#include "trust/package_trust.h"

#include "platform/files.h"
#include "platform/last_error.h"
#include "platform/platform.h"
#include "platform/error_codes.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

namespace korin {

namespace {

constexpr std::int32_t kMaxWalkPasses = 32;
constexpr std::uint32_t kReadBlockSize = 1024;
constexpr std::uint32_t kHashValueBufferSize = 260;
constexpr crypto::Dword kLinkChecks =
    crypto::kCertStoreSignatureFlag | crypto::kCertStoreTimeValidityFlag;

template <typename Entry>
bool resolve(CryptoLibraries& libraries, crypto::ModuleHandle module, const char* name,
             Entry& entry) {
    entry = reinterpret_cast<Entry>(libraries.getProcAddress(module, name));
    return entry != nullptr;
}

template <typename Table>
FunctionTablePtr<Table> newTable(CryptoLibraries& libraries) {
    return FunctionTablePtr<Table>(new (std::nothrow) Table{}, FunctionTableRelease(&libraries));
}

bool sameCertificate(crypto::CertContextPtr a, crypto::CertContextPtr b) {
    return a->certEncodedSize == b->certEncodedSize &&
           std::memcmp(a->certEncoded, b->certEncoded, a->certEncodedSize) == 0;
}

// A failed digest step: its code, and the system error as it failed.
struct DigestFailure {
    std::uint32_t& errorCode;
    std::uint32_t& systemError;
    bool operator()(std::uint32_t code) const {
        errorCode = code;
        systemError = lastError();
        return false;
    }
};

// Binds the redirection switches (missing ones are no failure) and the hash
// functions, unless a table is bound already.
bool bindDigestTables(CryptoLibraries& libraries, FunctionTablePtr<HashApi>& hashApi,
                      FunctionTablePtr<FsRedirectionApi>& redirectionApi,
                      const DigestFailure& fail) {
    if (!redirectionApi) {
        redirectionApi = newTable<FsRedirectionApi>(libraries);
        if (redirectionApi) {
            bindFsRedirectionApi(libraries, *redirectionApi);
        }
    }
    if (!hashApi) {
        hashApi = newTable<HashApi>(libraries);
        if (!hashApi) {
            setLastError(kErrorNotEnoughMemory);
            return fail(kDigestBindFailed);
        }
        if (!bindHashApi(libraries, *hashApi)) {
            return fail(kDigestBindFailed);
        }
    }
    return true;
}

// A verify-only AES provider (a new key set when the machine has none) and a
// SHA-256 hash in it. A provider refused otherwise is left for the hash's
// creation to fail on.
bool acquireSha256(const HashApi& api, UniqueCryptProv& provider, UniqueCryptHash& hash,
                   const DigestFailure& fail) {
    crypto::CryptProv acquired = 0;
    if (!api.CryptAcquireContextW(&acquired, nullptr, nullptr, crypto::kProvRsaAes,
                                  crypto::kCryptVerifyContext)) {
        acquired = 0;
        if (lastError() == crypto::kNteBadKeyset) {
            if (!api.CryptAcquireContextW(&acquired, nullptr, nullptr, crypto::kProvRsaAes,
                                          crypto::kCryptNewKeyset)) {
                return fail(kDigestAcquireContextFailed);
            }
        }
    }
    provider.reset(acquired);
    crypto::CryptHash created = 0;
    if (!api.CryptCreateHash(provider.get(), crypto::kCalgSha256, 0, 0, &created)) {
        return fail(kDigestCreateHashFailed);
    }
    hash.reset(created);
    return true;
}

// Hashes the whole file in blocks; redirection, when asked for, is off only
// around the open.
bool hashFile(const HashApi& api, crypto::CryptHash hash, const FsRedirectionApi* redirection,
              Files& files, const std::wstring& path, bool disableRedirection,
              const DigestFailure& fail) {
    // Switched off only when it can be switched back on.
    const bool canSwitch = redirection != nullptr && redirection->Wow64DisableWow64FsRedirection &&
                           redirection->Wow64RevertWow64FsRedirection;
    const bool switchOff = disableRedirection && canSwitch;
    void* redirectionState = nullptr;
    if (switchOff && !redirection->Wow64DisableWow64FsRedirection(&redirectionState)) {
        return fail(kDigestRedirectionOffFailed);
    }
    std::unique_ptr<FileHandle> file = files.openFile(path, FileOpenMode::ReadSharingRead);
    const std::uint32_t openError = lastError();
    if (switchOff) {
        if (!redirection->Wow64RevertWow64FsRedirection(redirectionState)) {
            return fail(kDigestRedirectionBackFailed);  // closes the file on the way out
        }
        setLastError(openError);
    }
    if (!file) {
        return fail(kDigestOpenFailed);
    }

    std::uint64_t size = 0;
    if (!file->getFileSize(size) || size == 0) {
        return fail(kDigestEmptyFile);
    }
    std::uint8_t block[kReadBlockSize];
    std::uint64_t total = 0;
    while (total < size) {
        std::uint32_t got = 0;
        if (!file->read(block, kReadBlockSize, got)) {
            // A digest of part of the file would be a wrong digest.
            return fail(kDigestHashDataFailed);
        }
        if (got == 0) {
            break;
        }
        total += got;
        if (!api.CryptHashData(hash, block, got, 0)) {
            return fail(kDigestHashDataFailed);
        }
    }
    return true;
}

// The hash's value as lowercase hex, high nibble first, cut to the room the
// caller gives.
bool hexDigest(const HashApi& api, crypto::CryptHash hash, char* digest,
               const DigestFailure& fail) {
    crypto::Dword hashSize = 0;
    crypto::Dword sizeLength = sizeof(hashSize);
    if (!api.CryptGetHashParam(hash, crypto::kHpHashSize,
                               reinterpret_cast<crypto::Byte*>(&hashSize), &sizeLength, 0)) {
        return fail(kDigestSizeFailed);
    }
    crypto::Byte value[kHashValueBufferSize] = {};
    crypto::Dword valueLength = std::min<crypto::Dword>(hashSize, kHashValueBufferSize);
    if (!api.CryptGetHashParam(hash, crypto::kHpHashVal, value, &valueLength, 0)) {
        return fail(kDigestValueFailed);
    }
    static constexpr char kHex[] = "0123456789abcdef";
    const crypto::Dword bytes = std::min<crypto::Dword>(
        std::min<crypto::Dword>(valueLength, kHashValueBufferSize), (kDigestTextSize - 1) / 2);
    for (crypto::Dword i = 0; i < bytes; ++i) {
        digest[2 * i] = kHex[value[i] >> 4];
        digest[2 * i + 1] = kHex[value[i] & 0x0F];
    }
    digest[2 * bytes] = '\0';
    return true;
}

}  // namespace

bool loadSystemLibrary(CryptoLibraries& libraries, crypto::ModuleHandle& module,
                       std::wstring_view name) {
    if (module != nullptr) {
        libraries.freeLibrary(module);
        module = nullptr;
    }
    std::wstring path;
    if (name.find(L'\\') == std::wstring_view::npos) {
        std::wstring folder;
        if (libraries.getSystemFolder(folder) < 0) {
            return false;
        }
        path = folder;
        if (!path.empty() && path.back() != L'\\') {
            path += L'\\';
        }
        path += name;
    } else {
        path = name;
    }
    module = libraries.loadLibrary(path);
    return module != nullptr;
}

bool bindCryptoMessageApi(CryptoLibraries& libraries, CryptoMessageApi& table) {
    if (!loadSystemLibrary(libraries, table.module, L"crypt32.dll")) {
        return false;
    }
    const crypto::ModuleHandle module = table.module;
    return resolve(libraries, module, "CryptVerifyMessageSignature",
                   table.CryptVerifyMessageSignature) &&
           resolve(libraries, module, "CryptGetMessageCertificates",
                   table.CryptGetMessageCertificates) &&
           resolve(libraries, module, "CertCreateCertificateContext",
                   table.CertCreateCertificateContext) &&
           resolve(libraries, module, "CertFindCertificateInStore",
                   table.CertFindCertificateInStore) &&
           resolve(libraries, module, "CertVerifySubjectCertificateContext",
                   table.CertVerifySubjectCertificateContext) &&
           resolve(libraries, module, "CertFreeCertificateContext",
                   table.CertFreeCertificateContext);
}

bool bindHashApi(CryptoLibraries& libraries, HashApi& table) {
    if (!loadSystemLibrary(libraries, table.module, L"advapi32.dll")) {
        return false;
    }
    const crypto::ModuleHandle module = table.module;
    return resolve(libraries, module, "CryptAcquireContextW", table.CryptAcquireContextW) &&
           resolve(libraries, module, "CryptCreateHash", table.CryptCreateHash) &&
           resolve(libraries, module, "CryptHashData", table.CryptHashData) &&
           resolve(libraries, module, "CryptGetHashParam", table.CryptGetHashParam);
}

void bindFsRedirectionApi(CryptoLibraries& libraries, FsRedirectionApi& table) {
    if (!loadSystemLibrary(libraries, table.module, L"kernel32.dll")) {
        return;
    }
    if (resolve(libraries, table.module, "Wow64DisableWow64FsRedirection",
                table.Wow64DisableWow64FsRedirection)) {
        resolve(libraries, table.module, "Wow64RevertWow64FsRedirection",
                table.Wow64RevertWow64FsRedirection);
    }
}

PackageTrust::PackageTrust(const Platform& platform)
    : messageApi_(nullptr, FunctionTableRelease(platform.cryptoLibraries)),
      hashApi_(nullptr, FunctionTableRelease(platform.cryptoLibraries)),
      redirectionApi_(nullptr, FunctionTableRelease(platform.cryptoLibraries)),
      caCertificate_(kAuthorityCertificate),
      caCertificateSize_(kAuthorityCertificateSize),
      platform_(platform),
      libraries_(*platform.cryptoLibraries) {}

PackageTrust::~PackageTrust() {
    messageApi_.reset();
    hashApi_.reset();
}

bool PackageTrust::verifySignedPackage(const std::uint8_t* package, std::uint32_t packageSize,
                                       std::unique_ptr<std::uint8_t[]>& content,
                                       std::uint32_t& contentSize) {
    // Cleared first, so that no way out leaves the caller's old values.
    content.reset();
    contentSize = 0;
    if (!messageApi_) {
        messageApi_ = newTable<CryptoMessageApi>(libraries_);
        if (!messageApi_ || !bindCryptoMessageApi(libraries_, *messageApi_)) {
            messageApi_.reset();
            return false;
        }
    }
    const CryptoMessageApi& api = *messageApi_;

    crypto::VerifyMessagePara para{};
    para.size = sizeof(para);
    para.msgAndCertEncodingType = crypto::kMessageEncoding;
    crypto::Dword decodedSize = 0;
    if (!api.CryptVerifyMessageSignature(&para, 0, package, packageSize, nullptr, &decodedSize,
                                         nullptr)) {
        return false;
    }
    content.reset(new (std::nothrow) std::uint8_t[decodedSize]);
    if (!content) {
        setLastError(kErrorNotEnoughMemory);
        return false;
    }
    contentSize = decodedSize;

    UniqueCertContext signer(CertContextTraits{api.CertFreeCertificateContext});
    if (!api.CryptVerifyMessageSignature(&para, 0, package, packageSize, content.get(),
                                         &decodedSize, signer.put())) {
        return false;
    }
    // The first answer is room enough; the second is what was written. An
    // installer with the rest of the buffer behind it would be another file.
    if (decodedSize > contentSize) {
        setLastError(kErrorInvalidData);
        return false;
    }
    contentSize = decodedSize;
    return walkToAuthority(std::move(signer), package, packageSize);
}

bool PackageTrust::walkToAuthority(UniqueCertContext signer, const std::uint8_t* package,
                                   std::uint32_t packageSize) {
    const CryptoMessageApi& api = *messageApi_;
    const CertContextTraits contexts{api.CertFreeCertificateContext};
    // Declared first, so that it closes after the contexts found in it.
    UniqueCertStore messageStore(
        api.CryptGetMessageCertificates(crypto::kMessageEncoding, 0, 0, package, packageSize),
        CertStoreTraits{&libraries_});
    UniqueCertContext authority(contexts);
    UniqueCertContext issuer(contexts);
    UniqueCertContext current = std::move(signer);
    if (!messageStore) {
        return false;
    }
    authority.reset(api.CertCreateCertificateContext(crypto::kMessageEncoding, caCertificate_,
                                                     caCertificateSize_));
    if (!authority) {
        return false;
    }
    for (std::int32_t pass = 1; pass <= kMaxWalkPasses; ++pass) {
        issuer.reset(api.CertFindCertificateInStore(messageStore.get(), crypto::kMessageEncoding, 0,
                                                    crypto::kCertFindIssuerOf, current.get(),
                                                    nullptr));
        if (!issuer || sameCertificate(issuer.get(), current.get())) {
            if (pass == kMaxWalkPasses) {
                return false;
            }
            break;
        }
        crypto::Dword flags = kLinkChecks;
        if (!api.CertVerifySubjectCertificateContext(current.get(), issuer.get(), &flags) ||
            flags != 0) {
            return false;
        }
        current = std::move(issuer);
    }
    crypto::Dword flags = kLinkChecks;
    return api.CertVerifySubjectCertificateContext(current.get(), authority.get(), &flags) &&
           flags == 0;
}

bool PackageTrust::fileDigest(const std::wstring& path, char* digest, std::uint32_t& errorCode,
                              std::uint32_t& systemError, bool disableRedirection) {
    const bool done = digestBoundFile(path, digest, errorCode, systemError, disableRedirection);
    // Every digest binds its tables anew.
    hashApi_.reset();
    redirectionApi_.reset();
    return done;
}

bool PackageTrust::digestBoundFile(const std::wstring& path, char* digest, std::uint32_t& errorCode,
                                   std::uint32_t& systemError, bool disableRedirection) {
    const DigestFailure fail{errorCode, systemError};
    if (!bindDigestTables(libraries_, hashApi_, redirectionApi_, fail)) {
        return false;
    }
    // Declared in this order, so that the hash is destroyed before its provider.
    UniqueCryptProv provider(CryptProvTraits{&libraries_});
    UniqueCryptHash hash(CryptHashTraits{&libraries_});
    return acquireSha256(*hashApi_, provider, hash, fail) &&
           hashFile(*hashApi_, hash.get(), redirectionApi_.get(), *platform_.files, path,
                    disableRedirection, fail) &&
           hexDigest(*hashApi_, hash.get(), digest, fail);
}

}  // namespace korin

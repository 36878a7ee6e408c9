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

// The certificate contexts the walk holds; all freed on every way out, with
// the last error of the verification left as it was.
class HeldCertificates {
  public:
    explicit HeldCertificates(const CryptoMessageApi& api) : api_(api) {}
    ~HeldCertificates() {
        const std::uint32_t error = lastError();
        for (crypto::CertContextPtr* held : {&current, &issuer, &authority}) {
            if (*held != nullptr) {
                api_.CertFreeCertificateContext(*held);
            }
        }
        setLastError(error);
    }
    HeldCertificates(const HeldCertificates&) = delete;
    HeldCertificates& operator=(const HeldCertificates&) = delete;

    crypto::CertContextPtr current = nullptr;
    crypto::CertContextPtr issuer = nullptr;
    crypto::CertContextPtr authority = nullptr;

  private:
    const CryptoMessageApi& api_;
};

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

    crypto::CertContextPtr signer = nullptr;
    const bool verified = api.CryptVerifyMessageSignature(&para, 0, package, packageSize,
                                                          content.get(), &decodedSize, &signer);
    if (!verified) {
        if (signer != nullptr) {
            api.CertFreeCertificateContext(signer);
        }
        return false;
    }
    // The first answer is room enough; the second is what was written. An
    // installer with the rest of the buffer behind it would be another file.
    if (decodedSize > contentSize) {
        if (signer != nullptr) {
            api.CertFreeCertificateContext(signer);
        }
        setLastError(kErrorInvalidData);
        return false;
    }
    contentSize = decodedSize;
    return walkToAuthority(signer, package, packageSize);
}

bool PackageTrust::walkToAuthority(crypto::CertContextPtr signer, const std::uint8_t* package,
                                   std::uint32_t packageSize) {
    const CryptoMessageApi& api = *messageApi_;
    // Closed after the contexts found in it are freed.
    struct StoreCloser {
        CryptoLibraries& libraries;
        crypto::CertStore store = nullptr;
        ~StoreCloser() {
            if (store != nullptr) {
                const std::uint32_t error = lastError();
                libraries.closeStore(store, 0);
                setLastError(error);
            }
        }
    } messageStore{libraries_};
    HeldCertificates held(api);
    held.current = signer;

    messageStore.store =
        api.CryptGetMessageCertificates(crypto::kMessageEncoding, 0, 0, package, packageSize);
    if (messageStore.store == nullptr) {
        return false;
    }
    held.authority = api.CertCreateCertificateContext(crypto::kMessageEncoding, caCertificate_,
                                                      caCertificateSize_);
    if (held.authority == nullptr) {
        return false;
    }
    for (std::int32_t pass = 1; pass <= kMaxWalkPasses; ++pass) {
        held.issuer =
            api.CertFindCertificateInStore(messageStore.store, crypto::kMessageEncoding, 0,
                                           crypto::kCertFindIssuerOf, held.current, nullptr);
        if (held.issuer == nullptr || sameCertificate(held.issuer, held.current)) {
            if (pass == kMaxWalkPasses) {
                return false;
            }
            break;
        }
        crypto::Dword flags = kLinkChecks;
        if (!api.CertVerifySubjectCertificateContext(held.current, held.issuer, &flags) ||
            flags != 0) {
            return false;
        }
        api.CertFreeCertificateContext(held.current);
        held.current = std::exchange(held.issuer, nullptr);
    }
    crypto::Dword flags = kLinkChecks;
    return api.CertVerifySubjectCertificateContext(held.current, held.authority, &flags) &&
           flags == 0;
}

bool PackageTrust::fileDigest(const std::wstring& path, char* digest, std::uint32_t& errorCode,
                              std::uint32_t& systemError, bool disableRedirection) {
    crypto::CryptProv provider = 0;
    crypto::CryptHash hash = 0;
    const bool done =
        digestBoundFile(path, digest, errorCode, systemError, disableRedirection, provider, hash);
    // Every digest binds its tables anew.
    if (hash != 0) {
        libraries_.destroyHash(hash);
    }
    if (provider != 0) {
        libraries_.releaseContext(provider, 0);
    }
    hashApi_.reset();
    redirectionApi_.reset();
    return done;
}

bool PackageTrust::digestBoundFile(const std::wstring& path, char* digest, std::uint32_t& errorCode,
                                   std::uint32_t& systemError, bool disableRedirection,
                                   crypto::CryptProv& provider, crypto::CryptHash& hash) {
    const auto fail = [&](std::uint32_t code) {
        errorCode = code;
        systemError = lastError();
        return false;
    };
    if (!redirectionApi_) {
        redirectionApi_ = newTable<FsRedirectionApi>(libraries_);
        if (redirectionApi_) {
            bindFsRedirectionApi(libraries_, *redirectionApi_);
        }
    }
    if (!hashApi_) {
        hashApi_ = newTable<HashApi>(libraries_);
        if (!hashApi_) {
            setLastError(kErrorNotEnoughMemory);
            return fail(kDigestBindFailed);
        }
        if (!bindHashApi(libraries_, *hashApi_)) {
            return fail(kDigestBindFailed);
        }
    }
    const HashApi& api = *hashApi_;

    if (!api.CryptAcquireContextW(&provider, nullptr, nullptr, crypto::kProvRsaAes,
                                  crypto::kCryptVerifyContext)) {
        provider = 0;
        if (lastError() == crypto::kNteBadKeyset) {
            if (!api.CryptAcquireContextW(&provider, nullptr, nullptr, crypto::kProvRsaAes,
                                          crypto::kCryptNewKeyset)) {
                provider = 0;
                return fail(kDigestAcquireContextFailed);
            }
        }
    }
    if (!api.CryptCreateHash(provider, crypto::kCalgSha256, 0, 0, &hash)) {
        hash = 0;
        return fail(kDigestCreateHashFailed);
    }

    // Switched off only when it can be switched back on.
    const bool canSwitch = redirectionApi_ && redirectionApi_->Wow64DisableWow64FsRedirection &&
                           redirectionApi_->Wow64RevertWow64FsRedirection;
    const bool switchOff = disableRedirection && canSwitch;
    void* redirectionState = nullptr;
    if (switchOff && !redirectionApi_->Wow64DisableWow64FsRedirection(&redirectionState)) {
        return fail(kDigestRedirectionOffFailed);
    }
    std::unique_ptr<FileHandle> file =
        platform_.files->openFile(path, FileOpenMode::ReadSharingRead);
    const std::uint32_t openError = lastError();
    if (switchOff) {
        if (!redirectionApi_->Wow64RevertWow64FsRedirection(redirectionState)) {
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
    file.reset();

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

}  // namespace korin

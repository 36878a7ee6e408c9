#pragma once

// Signed-package verification and file digests through the CryptoAPI.

#include "platform/crypto_api.h"
#include "platform/unique_resource.h"
#include "support/log_codes.h"
#include "trust/crypto_libraries.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace korin {

struct Platform;

// The crypt32 functions of signature verification, in binding order.
struct CryptoMessageApi {
    crypto::ModuleHandle module = nullptr;
    crypto::CryptVerifyMessageSignatureFn CryptVerifyMessageSignature = nullptr;
    crypto::CryptGetMessageCertificatesFn CryptGetMessageCertificates = nullptr;
    crypto::CertCreateCertificateContextFn CertCreateCertificateContext = nullptr;
    crypto::CertFindCertificateInStoreFn CertFindCertificateInStore = nullptr;
    crypto::CertVerifySubjectCertificateContextFn CertVerifySubjectCertificateContext = nullptr;
    crypto::CertFreeCertificateContextFn CertFreeCertificateContext = nullptr;
};

// The advapi32 functions of file digests, in binding order.
struct HashApi {
    crypto::ModuleHandle module = nullptr;
    crypto::CryptAcquireContextWFn CryptAcquireContextW = nullptr;
    crypto::CryptCreateHashFn CryptCreateHash = nullptr;
    crypto::CryptHashDataFn CryptHashData = nullptr;
    crypto::CryptGetHashParamFn CryptGetHashParam = nullptr;
};

// The kernel32 Wow64 redirection switches, in binding order.
struct FsRedirectionApi {
    crypto::ModuleHandle module = nullptr;
    crypto::Wow64DisableWow64FsRedirectionFn Wow64DisableWow64FsRedirection = nullptr;
    crypto::Wow64RevertWow64FsRedirectionFn Wow64RevertWow64FsRedirection = nullptr;
};

// Releases a table: frees its library, then the table.
class FunctionTableRelease {
  public:
    FunctionTableRelease() = default;
    explicit FunctionTableRelease(CryptoLibraries* libraries) : libraries_(libraries) {}
    template <typename Table>
    void operator()(Table* table) const {
        if (table->module != nullptr && libraries_ != nullptr) {
            libraries_->freeLibrary(table->module);
        }
        delete table;
    }

  private:
    CryptoLibraries* libraries_ = nullptr;
};
template <typename Table>
using FunctionTablePtr = std::unique_ptr<Table, FunctionTableRelease>;

// Owners of what the CryptoAPI hands out, each closed through the function
// that frees it: certificate contexts through the bound table's entry,
// stores, providers and hashes through the directly linked functions.
struct CertContextTraits {
    crypto::CertFreeCertificateContextFn free = nullptr;
    static crypto::CertContextPtr invalid() { return nullptr; }
    void close(crypto::CertContextPtr context) const { free(context); }
};
struct CertStoreTraits {
    CryptoLibraries* libraries = nullptr;
    static crypto::CertStore invalid() { return nullptr; }
    void close(crypto::CertStore store) const { libraries->closeStore(store, 0); }
};
struct CryptProvTraits {
    CryptoLibraries* libraries = nullptr;
    static crypto::CryptProv invalid() { return 0; }
    void close(crypto::CryptProv provider) const { libraries->releaseContext(provider, 0); }
};
struct CryptHashTraits {
    CryptoLibraries* libraries = nullptr;
    static crypto::CryptHash invalid() { return 0; }
    void close(crypto::CryptHash hash) const { libraries->destroyHash(hash); }
};
using UniqueCertContext = UniqueResource<crypto::CertContextPtr, CertContextTraits>;
using UniqueCertStore = UniqueResource<crypto::CertStore, CertStoreTraits>;
using UniqueCryptProv = UniqueResource<crypto::CryptProv, CryptProvTraits>;
using UniqueCryptHash = UniqueResource<crypto::CryptHash, CryptHashTraits>;

// Loads a system library into a table's module entry: a bare name is taken
// from the system folder, a name with a backslash as it stands. A module the
// entry already holds is freed first.
bool loadSystemLibrary(CryptoLibraries& libraries, crypto::ModuleHandle& module,
                       std::wstring_view name);
// Load the table's library and resolve its entries in order; false at the
// first failure, the entries after it left null.
bool bindCryptoMessageApi(CryptoLibraries& libraries, CryptoMessageApi& table);
bool bindHashApi(CryptoLibraries& libraries, HashApi& table);
// Missing redirection functions are not a failure: the entries stay null.
void bindFsRedirectionApi(CryptoLibraries& libraries, FsRedirectionApi& table);

// The embedded certificate authority that signed packages must lead to.
extern const std::uint8_t kAuthorityCertificate[];
extern const std::uint32_t kAuthorityCertificateSize;

// Digest failures, reported with the system error code.
inline constexpr std::uint32_t kDigestBindFailed = logCode(1119);
inline constexpr std::uint32_t kDigestAcquireContextFailed = logCode(1148);
inline constexpr std::uint32_t kDigestCreateHashFailed = logCode(1149);
inline constexpr std::uint32_t kDigestHashDataFailed = logCode(1150);
inline constexpr std::uint32_t kDigestOpenFailed = logCode(1151);
inline constexpr std::uint32_t kDigestEmptyFile = logCode(1152);
inline constexpr std::uint32_t kDigestSizeFailed = logCode(1154);
inline constexpr std::uint32_t kDigestValueFailed = logCode(1155);
inline constexpr std::uint32_t kDigestRedirectionOffFailed = logCode(1157);
inline constexpr std::uint32_t kDigestRedirectionBackFailed = logCode(1158);

// Room the caller gives fileDigest: 64 hex characters and a zero.
inline constexpr std::size_t kDigestTextSize = 65;

// The cryptography of one package download or one file digest: owns the
// run-time bound function tables and refers to the embedded authority.
// Used by one thread at a time.
class PackageTrust {
  public:
    explicit PackageTrust(const Platform& platform);
    ~PackageTrust();
    PackageTrust(const PackageTrust&) = delete;
    PackageTrust& operator=(const PackageTrust&) = delete;

    // True when the package's first signature holds and its signer's
    // certificates lead to the embedded authority; content then holds exactly
    // the signed content. Whatever the result, content is null or a buffer of
    // contentSize bytes owned by the caller.
    bool verifySignedPackage(const std::uint8_t* package, std::uint32_t packageSize,
                             std::unique_ptr<std::uint8_t[]>& content, std::uint32_t& contentSize);

    // SHA-256 of a file as 64 lowercase hex characters and a zero into digest
    // (kDigestTextSize bytes). On false, errorCode and systemError say why.
    bool fileDigest(const std::wstring& path, char* digest, std::uint32_t& errorCode,
                    std::uint32_t& systemError, bool disableRedirection);

    // The tables bound so far (null until their first use or after a
    // failed bind) and the authority the walk ends at; for tests.
    const CryptoMessageApi* messageApi() const { return messageApi_.get(); }
    const HashApi* hashApi() const { return hashApi_.get(); }
    const FsRedirectionApi* redirectionApi() const { return redirectionApi_.get(); }
    const std::uint8_t* caCertificate() const { return caCertificate_; }
    std::uint32_t caCertificateSize() const { return caCertificateSize_; }

  private:
    bool digestBoundFile(const std::wstring& path, char* digest, std::uint32_t& errorCode,
                         std::uint32_t& systemError, bool disableRedirection);
    bool walkToAuthority(UniqueCertContext signer, const std::uint8_t* package,
                         std::uint32_t packageSize);

    FunctionTablePtr<CryptoMessageApi> messageApi_;
    FunctionTablePtr<HashApi> hashApi_;
    FunctionTablePtr<FsRedirectionApi> redirectionApi_;
    const std::uint8_t* caCertificate_;
    std::uint32_t caCertificateSize_;
    const Platform& platform_;
    CryptoLibraries& libraries_;
};

}  // namespace korin

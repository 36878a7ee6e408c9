#pragma once

// A scripted stand-in for the platform's cryptography libraries: a loader
// with per-call fault injection and fake CryptoAPI functions whose answers
// the test arranges, recording every call the core makes.

#include "fakes/fault_injector.h"
#include "trust/crypto_libraries.h"

#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace korin::testing {

// One certificate of the scripted world, known by its id.
struct FakeCertificate {
    int issuer = -1;          // the id of the certificate that issued it; -1: none
    bool signatureOk = true;  // its signature verifies with its issuer's key
    bool timeValid = true;
};

// Operations for fault injection: "getSystemFolder", "loadLibrary",
// "getProcAddress" (any name) or "getProcAddress:<name>", and each fake
// CryptoAPI function by its name.
class FakeCryptoLibraries final : public CryptoLibraries {
  public:
    FakeCryptoLibraries();
    ~FakeCryptoLibraries() override;
    FakeCryptoLibraries(const FakeCryptoLibraries&) = delete;
    FakeCryptoLibraries& operator=(const FakeCryptoLibraries&) = delete;

    // The operations of faults, named as the port names them.
    // clang-format off
    static constexpr std::string_view kOperations[] = {
        "getSystemFolder", "loadLibrary", "getProcAddress",
        "getProcAddress:CryptVerifyMessageSignature", "getProcAddress:CryptGetMessageCertificates",
        "getProcAddress:CertCreateCertificateContext", "getProcAddress:CertFindCertificateInStore",
        "getProcAddress:CertVerifySubjectCertificateContext",
        "getProcAddress:CertFreeCertificateContext", "getProcAddress:CryptAcquireContextW",
        "getProcAddress:CryptCreateHash", "getProcAddress:CryptHashData",
        "getProcAddress:CryptGetHashParam", "getProcAddress:Wow64DisableWow64FsRedirection",
        "getProcAddress:Wow64RevertWow64FsRedirection", "CryptVerifyMessageSignature",
        "CryptGetMessageCertificates", "CertCreateCertificateContext",
        "CertFindCertificateInStore", "CertVerifySubjectCertificateContext",
        "CryptAcquireContextW", "CryptCreateHash", "CryptHashData", "CryptGetHashParam:size",
        "CryptGetHashParam:value", "Wow64DisableWow64FsRedirection",
        "Wow64RevertWow64FsRedirection",
    };
    // clang-format on
    FaultInjector faults{kOperations};
    std::wstring systemFolder = L"C:\\Windows\\system32";
    std::int32_t systemFolderResult = 0;
    // Exports missing from the libraries.
    std::set<std::string> missingExports;

    // The message: the signer's certificate, the certificates it carries, and
    // whether its signature holds (the error of the verification if not).
    std::string content = "installer";
    // The size query may ask for more room than the decoding then fills:
    // extraRoom bytes more. overstatedSize: what the decoding call reports
    // beyond the bytes it wrote (a broken platform).
    std::uint32_t extraRoom = 0;
    std::uint32_t overstatedSize = 0;
    // The decoding call hands out the signer's certificate even when it fails.
    bool signerOnFailure = false;
    // Makes signer 1, issued by the authority, the message's trusted signer.
    void trustDirectSigner() {
        signer = 1;
        certificates[1] = {authority};
        certificates[authority] = {authority};
    }
    // The message the last verification was handed.
    std::string message;
    int signer = 0;
    std::uint32_t signatureError = 0;
    std::vector<int> carried;
    std::map<int, FakeCertificate> certificates;
    // The embedded authority's id: CertCreateCertificateContext makes it.
    int authority = 1000;

    // Digest: the value CryptGetHashParam hands out, its reported size.
    std::vector<std::uint8_t> hashValue = std::vector<std::uint8_t>(32, 0xA5);
    std::uint32_t hashSizeReported = 32;

    // What happened, in order: "load:<path>", "free", "disable", "revert",
    // "open:<path>" (added by the test's file hook), "hash:<size>",
    // "verify:<subject>-><issuer>", ...
    std::vector<std::string> events;
    void record(std::string event) { events.push_back(std::move(event)); }
    int count(const std::string& event) const;

    // Resources handed out and not yet given back.
    int liveModules = 0;
    int liveContexts = 0;
    int liveStores = 0;
    int liveProviders = 0;
    int liveHashes = 0;

    std::int32_t getSystemFolder(std::wstring& path) override;
    crypto::ModuleHandle loadLibrary(const std::wstring& path) override;
    crypto::ProcAddress getProcAddress(crypto::ModuleHandle module, const char* name) override;
    bool freeLibrary(crypto::ModuleHandle module) override;
    bool destroyHash(crypto::CryptHash hash) override;
    bool releaseContext(crypto::CryptProv provider, std::uint32_t flags) override;
    bool closeStore(crypto::CertStore store, std::uint32_t flags) override;

    // The fake functions reach the object of the running test through this.
    // The libraries the fake functions answer from: those that last handed
    // them out, else those made last.
    static FakeCryptoLibraries* current();
    // Fails the call named by operation when a fault is planned for it.
    bool fail(const std::string& operation);

  private:
    std::map<std::wstring, int> modules_;
    // The libraries that answered before these: lifetimes nest.
    FakeCryptoLibraries* previous_;
};

}  // namespace korin::testing

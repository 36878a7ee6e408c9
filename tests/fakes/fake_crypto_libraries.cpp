#include "fakes/fake_crypto_libraries.h"

#include "platform/last_error.h"
#include "ground/text.h"

#include <algorithm>
#include <cstring>

namespace korin::testing {

namespace {

using namespace crypto;

FakeCryptoLibraries* currentLibraries = nullptr;

constexpr std::uint32_t kErrorModNotFound = 126;
constexpr std::uint32_t kErrorProcNotFound = 127;

// A context of the scripted world: the platform's structure first.
struct FakeContext {
    CertContext context;
    int id;
    std::string encoded;
};

FakeCryptoLibraries& world() {
    return *FakeCryptoLibraries::current();
}

CertContextPtr makeContext(int id) {
    auto* made = new FakeContext{};
    made->id = id;
    made->encoded = "certificate " + std::to_string(id);
    made->context.certEncodingType = kX509AsnEncoding;
    made->context.certEncoded = reinterpret_cast<Byte*>(made->encoded.data());
    made->context.certEncodedSize = static_cast<Dword>(made->encoded.size());
    ++world().liveContexts;
    return &made->context;
}

int idOf(CertContextPtr context) {
    return reinterpret_cast<const FakeContext*>(context)->id;
}

Bool KORIN_WINAPI fakeVerifyMessageSignature(VerifyMessagePara* para, Dword signerIndex,
                                             const Byte* message, Dword messageSize, Byte* decoded,
                                             Dword* decodedSize, CertContextPtr* signerCert) {
    FakeCryptoLibraries& w = world();
    w.message.assign(reinterpret_cast<const char*>(message), message == nullptr ? 0 : messageSize);
    w.record(decoded == nullptr ? "verifyMessage:size" : "verifyMessage:content");
    if (para->size != sizeof(VerifyMessagePara) ||
        para->msgAndCertEncodingType != kMessageEncoding || para->cryptProv != 0 ||
        para->getSignerCertificate != nullptr || signerIndex != 0) {
        setLastError(crypto::kEInvalidArg);
        return 0;
    }
    const auto failing = [&](std::uint32_t error) {
        if (signerCert != nullptr && w.signerOnFailure) {
            *signerCert = makeContext(w.signer);
        }
        setLastError(error);
        return 0;
    };
    if (auto error = w.faults.check("CryptVerifyMessageSignature")) {
        return failing(*error);
    }
    if (w.signatureError != 0) {
        return failing(w.signatureError);
    }
    const auto size = static_cast<Dword>(w.content.size());
    if (decoded == nullptr) {
        *decodedSize = size + w.extraRoom;
    } else {
        if (*decodedSize < size) {
            return failing(234);
        }
        std::memcpy(decoded, w.content.data(), size);
        *decodedSize = size + w.overstatedSize;
    }
    if (signerCert != nullptr) {
        *signerCert = makeContext(w.signer);
    }
    return 1;
}

CertStore KORIN_WINAPI fakeGetMessageCertificates(Dword encoding, CryptProv prov, Dword flags,
                                                  const Byte*, Dword) {
    FakeCryptoLibraries& w = world();
    if (encoding != kMessageEncoding || prov != 0 || flags != 0) {
        setLastError(crypto::kEInvalidArg);
        return nullptr;
    }
    if (w.fail("CryptGetMessageCertificates")) {
        return nullptr;
    }
    ++w.liveStores;
    return &w.carried;
}

CertContextPtr KORIN_WINAPI fakeCreateCertificateContext(Dword encoding, const Byte*, Dword size) {
    FakeCryptoLibraries& w = world();
    w.record("createAuthority:" + std::to_string(size));
    if (encoding != kMessageEncoding) {
        setLastError(crypto::kEInvalidArg);
        return nullptr;
    }
    if (w.fail("CertCreateCertificateContext")) {
        return nullptr;
    }
    return makeContext(w.authority);
}

CertContextPtr KORIN_WINAPI fakeFindCertificateInStore(CertStore store, Dword encoding, Dword flags,
                                                       Dword type, const void* para,
                                                       CertContextPtr previous) {
    FakeCryptoLibraries& w = world();
    if (store != &w.carried || encoding != kMessageEncoding || flags != 0 ||
        type != kCertFindIssuerOf || previous != nullptr) {
        setLastError(crypto::kEInvalidArg);
        return nullptr;
    }
    if (w.fail("CertFindCertificateInStore")) {
        return nullptr;
    }
    const int subject = idOf(static_cast<CertContextPtr>(para));
    const int issuer = w.certificates[subject].issuer;
    if (issuer < 0 || std::find(w.carried.begin(), w.carried.end(), issuer) == w.carried.end()) {
        setLastError(kCryptENotFound);
        return nullptr;
    }
    return makeContext(issuer);
}

Bool KORIN_WINAPI fakeVerifySubjectCertificateContext(CertContextPtr subject, CertContextPtr issuer,
                                                      Dword* flags) {
    FakeCryptoLibraries& w = world();
    const int subjectId = idOf(subject);
    const int issuerId = idOf(issuer);
    w.record("verify:" + std::to_string(subjectId) + "->" + std::to_string(issuerId));
    if (*flags != (kCertStoreSignatureFlag | kCertStoreTimeValidityFlag)) {
        setLastError(crypto::kEInvalidArg);
        return 0;
    }
    if (w.fail("CertVerifySubjectCertificateContext")) {
        return 0;
    }
    const FakeCertificate& certificate = w.certificates[subjectId];
    if (certificate.issuer == issuerId && certificate.signatureOk) {
        *flags &= ~kCertStoreSignatureFlag;
    }
    if (certificate.timeValid) {
        *flags &= ~kCertStoreTimeValidityFlag;
    }
    return 1;
}

Bool KORIN_WINAPI fakeFreeCertificateContext(CertContextPtr context) {
    if (context != nullptr) {
        --world().liveContexts;
        delete reinterpret_cast<const FakeContext*>(context);
    }
    return 1;
}

Bool KORIN_WINAPI fakeAcquireContext(CryptProv* prov, const char16_t* container,
                                     const char16_t* provider, Dword type, Dword flags) {
    FakeCryptoLibraries& w = world();
    w.record("acquire:" + std::to_string(flags));
    if (container != nullptr || provider != nullptr || type != kProvRsaAes) {
        setLastError(crypto::kEInvalidArg);
        return 0;
    }
    if (w.fail("CryptAcquireContextW")) {
        return 0;
    }
    ++w.liveProviders;
    *prov = 0x5000;
    return 1;
}

Bool KORIN_WINAPI fakeCreateHash(CryptProv prov, AlgId algId, CryptKey key, Dword flags,
                                 CryptHash* hash) {
    FakeCryptoLibraries& w = world();
    if (prov != 0x5000 || algId != kCalgSha256 || key != 0 || flags != 0) {
        setLastError(87);
        return 0;
    }
    if (w.fail("CryptCreateHash")) {
        return 0;
    }
    ++w.liveHashes;
    *hash = 0x6000;
    return 1;
}

Bool KORIN_WINAPI fakeHashData(CryptHash hash, const Byte*, Dword size, Dword flags) {
    FakeCryptoLibraries& w = world();
    w.record("hash:" + std::to_string(size));
    if (hash != 0x6000 || flags != 0) {
        setLastError(87);
        return 0;
    }
    return w.fail("CryptHashData") ? 0 : 1;
}

Bool KORIN_WINAPI fakeGetHashParam(CryptHash hash, Dword param, Byte* data, Dword* size,
                                   Dword flags) {
    FakeCryptoLibraries& w = world();
    if (hash != 0x6000 || flags != 0) {
        setLastError(87);
        return 0;
    }
    if (w.fail(param == kHpHashSize ? "CryptGetHashParam:size" : "CryptGetHashParam:value")) {
        return 0;
    }
    if (param == kHpHashSize) {
        if (*size != sizeof(Dword)) {
            setLastError(87);
            return 0;
        }
        std::memcpy(data, &w.hashSizeReported, sizeof(Dword));
        return 1;
    }
    w.record("value:" + std::to_string(*size));
    const Dword n = std::min<Dword>(*size, static_cast<Dword>(w.hashValue.size()));
    std::memcpy(data, w.hashValue.data(), n);
    *size = n;
    return 1;
}

Bool KORIN_WINAPI fakeDisableRedirection(void** old) {
    FakeCryptoLibraries& w = world();
    w.record("disable");
    if (w.fail("Wow64DisableWow64FsRedirection")) {
        return 0;
    }
    *old = &w;
    return 1;
}

Bool KORIN_WINAPI fakeRevertRedirection(void* old) {
    FakeCryptoLibraries& w = world();
    w.record("revert");
    if (old != &w) {
        setLastError(87);
        return 0;
    }
    return w.fail("Wow64RevertWow64FsRedirection") ? 0 : 1;
}

template <typename Function>
ProcAddress address(Function function) {
    return reinterpret_cast<ProcAddress>(function);
}

const std::map<std::string, ProcAddress>& exports() {
    static const std::map<std::string, ProcAddress> table = {
        {"CryptVerifyMessageSignature", address(&fakeVerifyMessageSignature)},
        {"CryptGetMessageCertificates", address(&fakeGetMessageCertificates)},
        {"CertCreateCertificateContext", address(&fakeCreateCertificateContext)},
        {"CertFindCertificateInStore", address(&fakeFindCertificateInStore)},
        {"CertVerifySubjectCertificateContext", address(&fakeVerifySubjectCertificateContext)},
        {"CertFreeCertificateContext", address(&fakeFreeCertificateContext)},
        {"CryptAcquireContextW", address(&fakeAcquireContext)},
        {"CryptCreateHash", address(&fakeCreateHash)},
        {"CryptHashData", address(&fakeHashData)},
        {"CryptGetHashParam", address(&fakeGetHashParam)},
        {"Wow64DisableWow64FsRedirection", address(&fakeDisableRedirection)},
        {"Wow64RevertWow64FsRedirection", address(&fakeRevertRedirection)},
    };
    return table;
}

}  // namespace

// A test's own libraries, made after its FakePlatform's, answer until they
// go; then the platform's answer again. Lifetimes nest.
FakeCryptoLibraries::FakeCryptoLibraries() : previous_(currentLibraries) {
    currentLibraries = this;
}

FakeCryptoLibraries::~FakeCryptoLibraries() {
    if (currentLibraries == this) {
        currentLibraries = previous_;
    }
}

FakeCryptoLibraries* FakeCryptoLibraries::current() {
    return currentLibraries;
}

bool FakeCryptoLibraries::fail(const std::string& operation) {
    if (auto error = faults.check(operation)) {
        setLastError(*error);
        return true;
    }
    return false;
}

int FakeCryptoLibraries::count(const std::string& event) const {
    return static_cast<int>(std::count(events.begin(), events.end(), event));
}

std::int32_t FakeCryptoLibraries::getSystemFolder(std::wstring& path) {
    record("systemFolder");
    if (fail("getSystemFolder")) {
        return static_cast<std::int32_t>(0x80004005u);  // E_FAIL
    }
    if (systemFolderResult >= 0) {
        path = systemFolder;
    }
    return systemFolderResult;
}

crypto::ModuleHandle FakeCryptoLibraries::loadLibrary(const std::wstring& path) {
    record("load:" + utf8FromWide(path));
    if (fail("loadLibrary")) {
        return nullptr;
    }
    const auto slash = path.rfind(L'\\');
    const std::wstring name =
        asciiLower(slash == std::wstring::npos ? path : path.substr(slash + 1));
    if (name != L"crypt32.dll" && name != L"advapi32.dll" && name != L"kernel32.dll") {
        setLastError(kErrorModNotFound);
        return nullptr;
    }
    ++liveModules;
    return &modules_[name];
}

crypto::ProcAddress FakeCryptoLibraries::getProcAddress(crypto::ModuleHandle, const char* name) {
    // The functions answer from the libraries that handed them out, whichever
    // were made last.
    currentLibraries = this;
    record(std::string("resolve:") + name);
    if (fail("getProcAddress") || fail(std::string("getProcAddress:") + name)) {
        return nullptr;
    }
    auto found = exports().find(name);
    if (found == exports().end() || missingExports.count(name) != 0) {
        setLastError(kErrorProcNotFound);
        return nullptr;
    }
    return found->second;
}

bool FakeCryptoLibraries::freeLibrary(crypto::ModuleHandle) {
    record("free");
    --liveModules;
    return true;
}

bool FakeCryptoLibraries::destroyHash(crypto::CryptHash hash) {
    if (hash == 0x6000) {
        --liveHashes;
    }
    return true;
}

bool FakeCryptoLibraries::releaseContext(crypto::CryptProv provider, std::uint32_t flags) {
    record("release");
    if (provider == 0x5000 && flags == 0) {
        --liveProviders;
    }
    return true;
}

bool FakeCryptoLibraries::closeStore(crypto::CertStore store, std::uint32_t) {
    if (store == &carried) {
        --liveStores;
    }
    return true;
}

}  // namespace korin::testing

// The package-trust logic against scripted cryptography libraries: binding,
// the certificate walk of a signed package, and the file digest's steps.

#include "trust/package_trust.h"

#include "fakes/fake_crypto_libraries.h"
#include "fakes/fake_platform.h"
#include "platform/last_error.h"
#include "platform/error_codes.h"
#include "ground/text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace korin {
namespace {

using testing::FakeCertificate;
using testing::FakeCryptoLibraries;
using testing::FakePlatform;

constexpr std::uint32_t kErrorProcNotFound = 127;

class PackageTrustTest : public ::testing::Test {
  protected:
    PackageTrustTest() {
        platform_ = fake_.platform();
        platform_.cryptoLibraries = &libraries_;
        // Every file open shows in the order of events.
        fake_.files.onOpen = [this](const std::wstring& path) {
            libraries_.record("open:" + utf8FromWide(path));
        };
    }

    std::vector<std::string> eventsStartingWith(const std::string& prefix) const {
        std::vector<std::string> found;
        for (const std::string& event : libraries_.events) {
            if (event.rfind(prefix, 0) == 0) {
                found.push_back(event);
            }
        }
        return found;
    }

    FakePlatform fake_;
    FakeCryptoLibraries libraries_;
    Platform platform_;
};

// ---- Binding ---------------------------------------------------------------

using PackageTrustBinding = PackageTrustTest;

TEST_F(PackageTrustBinding, LibraryPathIsTheSystemFolderAndOneBackslash) {
    const struct {
        std::wstring folder;
        std::string loaded;
    } cases[] = {
        {L"C:\\Windows\\system32", "load:C:\\Windows\\system32\\crypt32.dll"},
        {L"C:\\Windows\\system32\\", "load:C:\\Windows\\system32\\crypt32.dll"},
        {L"", "load:crypt32.dll"},
    };
    for (const auto& c : cases) {
        libraries_.events.clear();
        libraries_.systemFolder = c.folder;
        crypto::ModuleHandle module = nullptr;
        EXPECT_TRUE(loadSystemLibrary(libraries_, module, L"crypt32.dll"));
        EXPECT_EQ(eventsStartingWith("load:"), std::vector<std::string>{c.loaded});
        libraries_.freeLibrary(module);
    }
}

TEST_F(PackageTrustBinding, NameWithABackslashIsLoadedAsItStands) {
    crypto::ModuleHandle module = nullptr;
    EXPECT_TRUE(loadSystemLibrary(libraries_, module, L"D:\\lib\\crypt32.dll"));
    EXPECT_EQ(libraries_.events, std::vector<std::string>{"load:D:\\lib\\crypt32.dll"});
    libraries_.freeLibrary(module);
}

TEST_F(PackageTrustBinding, FailingSystemFolderQueryLoadsNothing) {
    libraries_.systemFolderResult = static_cast<std::int32_t>(0x80070005u);
    crypto::ModuleHandle module = nullptr;
    EXPECT_FALSE(loadSystemLibrary(libraries_, module, L"crypt32.dll"));
    EXPECT_TRUE(eventsStartingWith("load:").empty());
    EXPECT_EQ(module, nullptr);
}

TEST_F(PackageTrustBinding, HeldModuleIsFreedBeforeLoadingAgain) {
    crypto::ModuleHandle module = nullptr;
    ASSERT_TRUE(loadSystemLibrary(libraries_, module, L"crypt32.dll"));
    ASSERT_TRUE(loadSystemLibrary(libraries_, module, L"crypt32.dll"));
    EXPECT_EQ(libraries_.count("free"), 1);
    EXPECT_EQ(libraries_.liveModules, 1);
    libraries_.freeLibrary(module);
}

TEST_F(PackageTrustBinding, MessageApiStopsAtTheFirstMissingEntry) {
    const std::vector<std::string> order = {
        "CryptVerifyMessageSignature",         "CryptGetMessageCertificates",
        "CertCreateCertificateContext",        "CertFindCertificateInStore",
        "CertVerifySubjectCertificateContext", "CertFreeCertificateContext"};
    for (std::size_t missing = 0; missing <= order.size(); ++missing) {
        SCOPED_TRACE(missing);
        libraries_.events.clear();
        libraries_.missingExports.clear();
        if (missing < order.size()) {
            libraries_.missingExports.insert(order[missing]);
        }
        CryptoMessageApi table;
        EXPECT_EQ(bindCryptoMessageApi(libraries_, table), missing == order.size());
        const void* entries[] = {
            reinterpret_cast<const void*>(table.CryptVerifyMessageSignature),
            reinterpret_cast<const void*>(table.CryptGetMessageCertificates),
            reinterpret_cast<const void*>(table.CertCreateCertificateContext),
            reinterpret_cast<const void*>(table.CertFindCertificateInStore),
            reinterpret_cast<const void*>(table.CertVerifySubjectCertificateContext),
            reinterpret_cast<const void*>(table.CertFreeCertificateContext)};
        std::vector<std::string> expectedResolves;
        for (std::size_t i = 0; i < order.size(); ++i) {
            EXPECT_EQ(entries[i] != nullptr, i < missing) << order[i];
            if (i <= missing && i < order.size()) {
                expectedResolves.push_back("resolve:" + order[i]);
            }
        }
        EXPECT_EQ(eventsStartingWith("resolve:"), expectedResolves);
        if (missing < order.size()) {
            EXPECT_EQ(lastError(), kErrorProcNotFound);
        }
        libraries_.freeLibrary(table.module);
    }
}

TEST_F(PackageTrustBinding, HashApiResolvesItsFourEntriesInOrder) {
    HashApi table;
    ASSERT_TRUE(bindHashApi(libraries_, table));
    EXPECT_EQ(eventsStartingWith("resolve:"),
              (std::vector<std::string>{"resolve:CryptAcquireContextW", "resolve:CryptCreateHash",
                                        "resolve:CryptHashData", "resolve:CryptGetHashParam"}));
    EXPECT_EQ(eventsStartingWith("load:"),
              std::vector<std::string>{"load:C:\\Windows\\system32\\advapi32.dll"});
    libraries_.freeLibrary(table.module);
}

TEST_F(PackageTrustBinding, RedirectionRevertIsResolvedOnlyAfterDisable) {
    libraries_.missingExports = {"Wow64DisableWow64FsRedirection"};
    FsRedirectionApi table;
    bindFsRedirectionApi(libraries_, table);
    EXPECT_NE(table.module, nullptr);
    EXPECT_EQ(table.Wow64DisableWow64FsRedirection, nullptr);
    EXPECT_EQ(table.Wow64RevertWow64FsRedirection, nullptr);
    EXPECT_EQ(eventsStartingWith("resolve:"),
              std::vector<std::string>{"resolve:Wow64DisableWow64FsRedirection"});
    libraries_.freeLibrary(table.module);
}

// ---- Signed packages ---------------------------------------------------------

struct Verdict {
    bool trusted = false;
    std::string content;
    bool contentNull = true;
};

class PackageTrustVerify : public PackageTrustTest {
  protected:
    static constexpr int kSigner = 1;
    static constexpr int kAuthority = 1000;

    PackageTrustVerify() {
        libraries_.signer = kSigner;
        libraries_.authority = kAuthority;
        libraries_.certificates[kSigner] = {kAuthority};
        libraries_.certificates[kAuthority] = {kAuthority};
    }

    // A line of intermediates from the signer up: signer -> 2 -> ... -> the
    // last, which the authority issued; all carried.
    void chainOf(int intermediates) {
        libraries_.carried.clear();
        int below = kSigner;
        for (int id = 2; id < 2 + intermediates; ++id) {
            libraries_.certificates[below].issuer = id;
            libraries_.certificates[id] = {kAuthority};
            libraries_.carried.push_back(id);
            below = id;
        }
    }

    Verdict verify(PackageTrust& trust) {
        static const std::uint8_t package[] = {0x30, 0x00};
        std::unique_ptr<std::uint8_t[]> content;
        std::uint32_t size = 12345;
        Verdict verdict;
        verdict.trusted = trust.verifySignedPackage(package, sizeof(package), content, size);
        verdict.contentNull = content == nullptr;
        if (content) {
            verdict.content.assign(reinterpret_cast<const char*>(content.get()), size);
        } else {
            EXPECT_EQ(size, 0u);
        }
        return verdict;
    }

    Verdict verifyOnce() {
        Verdict verdict;
        {
            PackageTrust trust(platform_);
            verdict = verify(trust);
            // Every context and store the walk took is given back.
            EXPECT_EQ(libraries_.liveContexts, 0);
            EXPECT_EQ(libraries_.liveStores, 0);
        }
        EXPECT_EQ(libraries_.liveModules, 0);
        return verdict;
    }
};

TEST_F(PackageTrustVerify, SignerIssuedByTheAuthorityIsTrusted) {
    const Verdict verdict = verifyOnce();
    EXPECT_TRUE(verdict.trusted);
    EXPECT_EQ(verdict.content, "installer");
    EXPECT_EQ(eventsStartingWith("verify:"), std::vector<std::string>{"verify:1->1000"});
    EXPECT_EQ(
        eventsStartingWith("createAuthority:"),
        std::vector<std::string>{"createAuthority:" + std::to_string(kAuthorityCertificateSize)});
}

TEST_F(PackageTrustVerify, EveryLinkUpToTheAuthorityIsChecked) {
    chainOf(3);
    EXPECT_TRUE(verifyOnce().trusted);
    EXPECT_EQ(
        eventsStartingWith("verify:"),
        (std::vector<std::string>{"verify:1->2", "verify:2->3", "verify:3->4", "verify:4->1000"}));
}

TEST_F(PackageTrustVerify, CarriedAuthorityEndsTheWalkAndIsCheckedAgainstTheEmbeddedOne) {
    libraries_.carried = {kAuthority};
    EXPECT_TRUE(verifyOnce().trusted);
    EXPECT_EQ(eventsStartingWith("verify:"),
              (std::vector<std::string>{"verify:1->1000", "verify:1000->1000"}));
}

TEST_F(PackageTrustVerify, BrokenLinksAreRejected) {
    const struct {
        const char* name;
        void (*arrange)(FakeCryptoLibraries&);
    } cases[] = {
        {"signer outside its validity",
         [](FakeCryptoLibraries& l) { l.certificates[kSigner].timeValid = false; }},
        {"signer's signature not by the authority",
         [](FakeCryptoLibraries& l) { l.certificates[kSigner].signatureOk = false; }},
        {"intermediate outside its validity",
         [](FakeCryptoLibraries& l) {
             l.certificates[kSigner].issuer = 2;
             l.certificates[2] = {kAuthority, true, false};
             l.carried = {2};
         }},
        {"chain ends at another root",
         [](FakeCryptoLibraries& l) {
             l.certificates[kSigner].issuer = 50;
             l.certificates[50] = {50};
             l.carried = {50};
         }},
        {"intermediate missing from the message",
         [](FakeCryptoLibraries& l) {
             l.certificates[kSigner].issuer = 2;
             l.certificates[2] = {kAuthority};
         }},
        // Below, the final link holds: only the verdict of an inner link
        // tells the package is not the authority's.
        {"signer outside its validity under a carried intermediate",
         [](FakeCryptoLibraries& l) {
             l.certificates[kSigner] = {2, true, false};
             l.certificates[2] = {kAuthority};
             l.carried = {2};
         }},
        {"signer naming a carried intermediate but signed by another key",
         [](FakeCryptoLibraries& l) {
             l.certificates[kSigner] = {2, false, true};
             l.certificates[2] = {kAuthority};
             l.carried = {2};
         }},
        {"intermediate not signed by the one above it",
         [](FakeCryptoLibraries& l) {
             l.certificates[kSigner].issuer = 2;
             l.certificates[2] = {3, false, true};
             l.certificates[3] = {kAuthority};
             l.carried = {2, 3};
         }},
        {"inner link's check fails",
         [](FakeCryptoLibraries& l) {
             l.certificates[kSigner].issuer = 2;
             l.certificates[2] = {kAuthority};
             l.carried = {2};
             l.faults.failNext("CertVerifySubjectCertificateContext", 0x80092004u);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        libraries_.faults.clear();
        libraries_.certificates.clear();
        libraries_.certificates[kSigner] = {kAuthority};
        libraries_.certificates[kAuthority] = {kAuthority};
        libraries_.carried.clear();
        c.arrange(libraries_);
        const Verdict verdict = verifyOnce();
        EXPECT_FALSE(verdict.trusted);
        // The content was decoded before the walk; the caller owns it.
        EXPECT_FALSE(verdict.contentNull);
    }
}

TEST_F(PackageTrustVerify, TheWalkTakesAtMost32Passes) {
    const struct {
        int intermediates;
        bool trusted;
    } cases[] = {{30, true}, {31, false}, {32, true}, {33, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.intermediates);
        libraries_.events.clear();
        libraries_.certificates.clear();
        libraries_.certificates[kSigner] = {kAuthority};
        chainOf(c.intermediates);
        EXPECT_EQ(verifyOnce().trusted, c.trusted);
        EXPECT_LE(eventsStartingWith("verify:").size(), 33u);
    }
}

TEST_F(PackageTrustVerify, FailingCallsRejectAndFreeEverything) {
    const struct {
        const char* operation;
        int after;
        bool contentNull;
    } cases[] = {
        {"CryptVerifyMessageSignature", 0, true},
        {"CryptVerifyMessageSignature", 1, false},
        {"CryptGetMessageCertificates", 0, false},
        {"CertCreateCertificateContext", 0, false},
        {"CertVerifySubjectCertificateContext", 0, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.operation) + " " + std::to_string(c.after));
        libraries_.faults.clear();
        libraries_.faults.failNext(c.operation, 0x80091007u, c.after);
        setLastError(0);
        const Verdict verdict = verifyOnce();
        EXPECT_FALSE(verdict.trusted);
        EXPECT_EQ(verdict.contentNull, c.contentNull);
        EXPECT_EQ(lastError(), 0x80091007u);
    }
}

TEST_F(PackageTrustVerify, SignerHandedOutByAFailedDecodingIsFreed) {
    libraries_.signerOnFailure = true;
    libraries_.faults.failNext("CryptVerifyMessageSignature", 0x80091007u, 1);
    EXPECT_FALSE(verifyOnce().trusted);  // no context left behind
    EXPECT_EQ(lastError(), 0x80091007u);
}

TEST_F(PackageTrustVerify, ContentSizeIsWhatTheDecodingWrote) {
    const struct {
        std::uint32_t extraRoom;
        std::uint32_t overstatedSize;
        bool trusted;
    } cases[] = {{0, 0, true}, {16, 0, true}, {0, 1, false}, {16, 17, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.extraRoom) + " " + std::to_string(c.overstatedSize));
        libraries_.extraRoom = c.extraRoom;
        libraries_.overstatedSize = c.overstatedSize;
        const Verdict verdict = verifyOnce();
        EXPECT_EQ(verdict.trusted, c.trusted);
        if (c.trusted) {
            EXPECT_EQ(verdict.content, "installer");  // never the room behind it
        }
    }
}

TEST_F(PackageTrustVerify, IssuerLookupFailureEndsTheWalkAtTheFinalLink) {
    chainOf(1);
    libraries_.faults.failNext("CertFindCertificateInStore", crypto::kCryptENotFound);
    EXPECT_FALSE(verifyOnce().trusted);
    EXPECT_EQ(eventsStartingWith("verify:"), std::vector<std::string>{"verify:1->1000"});
}

TEST_F(PackageTrustVerify, BadSignatureDecodesNothing) {
    libraries_.signatureError = 0x80090006u;
    const Verdict verdict = verifyOnce();
    EXPECT_FALSE(verdict.trusted);
    EXPECT_TRUE(verdict.contentNull);
    EXPECT_EQ(libraries_.count("verifyMessage:content"), 0);
    EXPECT_EQ(lastError(), 0x80090006u);
}

TEST_F(PackageTrustVerify, EmptyContentIsTrustedAsEmpty) {
    libraries_.content.clear();
    const Verdict verdict = verifyOnce();
    EXPECT_TRUE(verdict.trusted);
    EXPECT_FALSE(verdict.contentNull);
    EXPECT_EQ(verdict.content, "");
}

TEST_F(PackageTrustVerify, BindingIsKeptForLaterVerifications) {
    PackageTrust trust(platform_);
    EXPECT_TRUE(verify(trust).trusted);
    EXPECT_TRUE(verify(trust).trusted);
    EXPECT_EQ(eventsStartingWith("load:").size(), 1u);
    EXPECT_NE(trust.messageApi(), nullptr);
}

TEST_F(PackageTrustVerify, FailedBindingIsReleasedAndTriedAgainLater) {
    libraries_.missingExports = {"CertVerifySubjectCertificateContext"};
    PackageTrust trust(platform_);
    const Verdict first = verify(trust);
    EXPECT_FALSE(first.trusted);
    EXPECT_TRUE(first.contentNull);
    EXPECT_EQ(trust.messageApi(), nullptr);
    EXPECT_EQ(libraries_.liveModules, 0);
    EXPECT_EQ(libraries_.count("verifyMessage:size"), 0);

    libraries_.missingExports.clear();
    EXPECT_TRUE(verify(trust).trusted);
    EXPECT_EQ(eventsStartingWith("load:").size(), 2u);
}

TEST_F(PackageTrustVerify, NewTrustRefersToTheEmbeddedAuthority) {
    PackageTrust trust(platform_);
    EXPECT_EQ(trust.caCertificate(), kAuthorityCertificate);
    EXPECT_EQ(trust.caCertificateSize(), 999u);
    EXPECT_EQ(trust.messageApi(), nullptr);
    EXPECT_EQ(trust.hashApi(), nullptr);
    EXPECT_EQ(trust.redirectionApi(), nullptr);
}

// ---- File digests ----------------------------------------------------------

class PackageTrustDigest : public PackageTrustTest {
  protected:
    static constexpr wchar_t kFile[] = L"C:\\Windows\\System32\\player.dll";

    PackageTrustDigest() {
        fake_.files.addFolder(L"C:\\Windows");
        fake_.files.addFolder(L"C:\\Windows\\System32");
        fake_.files.putFile(kFile, std::string(3000, 'x'));
    }

    struct Result {
        bool done = false;
        std::string digest;
        std::uint32_t code = 0;
        std::uint32_t systemError = 0;
    };

    Result digest(const std::wstring& path = kFile, bool disableRedirection = false) {
        Result result;
        char text[kDigestTextSize + 8];
        std::fill(std::begin(text), std::end(text), '\0');
        {
            PackageTrust trust(platform_);
            result.done =
                trust.fileDigest(path, text, result.code, result.systemError, disableRedirection);
            // Each digest binds its tables anew and lets them go.
            EXPECT_EQ(trust.hashApi(), nullptr);
            EXPECT_EQ(trust.redirectionApi(), nullptr);
            EXPECT_EQ(libraries_.liveModules, 0);
            EXPECT_EQ(libraries_.liveProviders, 0);
            EXPECT_EQ(libraries_.liveHashes, 0);
            EXPECT_EQ(text[kDigestTextSize - 1], '\0');
        }
        result.digest = text;
        return result;
    }
};

TEST_F(PackageTrustDigest, DigestIsLowercaseHexHighNibbleFirst) {
    libraries_.hashValue.clear();
    for (int i = 0; i < 32; ++i) {
        libraries_.hashValue.push_back(static_cast<std::uint8_t>(i * 8 + 7));
    }
    const Result result = digest();
    ASSERT_TRUE(result.done);
    EXPECT_EQ(result.digest, "070f171f272f373f474f575f676f777f878f979fa7afb7bfc7cfd7dfe7eff7ff");
    EXPECT_EQ(eventsStartingWith("value:"), std::vector<std::string>{"value:32"});
}

TEST_F(PackageTrustDigest, FileIsHashedIn1024ByteBlocks) {
    const struct {
        std::size_t size;
        std::vector<std::string> blocks;
    } cases[] = {
        {1, {"hash:1"}},
        {1024, {"hash:1024"}},
        {1025, {"hash:1024", "hash:1"}},
        {3000, {"hash:1024", "hash:1024", "hash:952"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        libraries_.events.clear();
        fake_.files.putFile(kFile, std::string(c.size, 'b'));
        EXPECT_TRUE(digest().done);
        EXPECT_EQ(eventsStartingWith("hash:"), c.blocks);
    }
}

TEST_F(PackageTrustDigest, DigestSizeBeyondTheBufferIsCutToIt) {
    const struct {
        std::uint32_t reported;
        std::string requested;
        std::size_t textLength;
    } cases[] = {{300, "value:260", 64}, {16, "value:16", 32}, {32, "value:32", 64}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reported);
        libraries_.events.clear();
        libraries_.hashSizeReported = c.reported;
        libraries_.hashValue.assign(c.reported, 0x3C);
        const Result result = digest();
        ASSERT_TRUE(result.done);
        EXPECT_EQ(eventsStartingWith("value:"), std::vector<std::string>{c.requested});
        EXPECT_EQ(result.digest.size(), c.textLength);
    }
}

TEST_F(PackageTrustDigest, FailuresReportTheirCodeAndSystemError) {
    const struct {
        const char* name;
        void (*arrange)(FakePlatform&, FakeCryptoLibraries&);
        std::uint32_t code;
        std::uint32_t systemError;
    } cases[] = {
        {"advapi32 missing",
         [](FakePlatform&, FakeCryptoLibraries& l) { l.faults.failNext("loadLibrary", 126, 1); },
         kDigestBindFailed, 126},
        {"hash export missing",
         [](FakePlatform&, FakeCryptoLibraries& l) { l.missingExports = {"CryptHashData"}; },
         kDigestBindFailed, 127},
        {"provider unavailable, also with a new key set",
         [](FakePlatform&, FakeCryptoLibraries& l) {
             l.faults.failNext("CryptAcquireContextW", crypto::kNteBadKeyset);
             l.faults.failNext("CryptAcquireContextW", 0x80090019u, 1);
         },
         kDigestAcquireContextFailed, 0x80090019u},
        {"provider fails otherwise: no context for the hash",
         [](FakePlatform&, FakeCryptoLibraries& l) {
             l.faults.failNext("CryptAcquireContextW", 5);
         },
         kDigestCreateHashFailed, 87},
        {"hash object",
         [](FakePlatform&, FakeCryptoLibraries& l) {
             l.faults.failNext("CryptCreateHash", 0x80090008u);
         },
         kDigestCreateHashFailed, 0x80090008u},
        {"hashing a block",
         [](FakePlatform&, FakeCryptoLibraries& l) {
             l.faults.failNext("CryptHashData", 0x8009000Bu, 1);
         },
         kDigestHashDataFailed, 0x8009000Bu},
        {"reading a block",
         [](FakePlatform& f, FakeCryptoLibraries&) { f.files.faults.failNext("read", 23, 1); },
         kDigestHashDataFailed, 23},
        {"missing file", [](FakePlatform& f, FakeCryptoLibraries&) { f.files.deleteFile(kFile); },
         kDigestOpenFailed, kErrorFileNotFound},
        {"empty file", [](FakePlatform& f, FakeCryptoLibraries&) { f.files.putFile(kFile, ""); },
         kDigestEmptyFile, 0},
        {"size query",
         [](FakePlatform& f, FakeCryptoLibraries&) { f.files.faults.failNext("getFileSize", 6); },
         kDigestEmptyFile, 6},
        {"digest size",
         [](FakePlatform&, FakeCryptoLibraries& l) {
             l.faults.failNext("CryptGetHashParam:size", 0x80090002u);
         },
         kDigestSizeFailed, 0x80090002u},
        {"digest value",
         [](FakePlatform&, FakeCryptoLibraries& l) {
             l.faults.failNext("CryptGetHashParam:value", 234);
         },
         kDigestValueFailed, 234},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakePlatform fake;
        FakeCryptoLibraries libraries;
        platform_ = fake.platform();
        platform_.cryptoLibraries = &libraries;
        fake.files.addFolder(L"C:\\Windows");
        fake.files.addFolder(L"C:\\Windows\\System32");
        fake.files.putFile(kFile, std::string(3000, 'x'));
        c.arrange(fake, libraries);
        setLastError(0);
        PackageTrust trust(platform_);
        char text[kDigestTextSize] = {};
        std::uint32_t code = 0;
        std::uint32_t systemError = 0;
        EXPECT_FALSE(trust.fileDigest(kFile, text, code, systemError, false));
        EXPECT_EQ(code, c.code);
        EXPECT_EQ(systemError, c.systemError);
        EXPECT_EQ(libraries.liveModules, 0);
        EXPECT_EQ(libraries.liveProviders, 0);
        EXPECT_EQ(libraries.liveHashes, 0);
    }
}

TEST_F(PackageTrustDigest, BadKeysetIsRetriedWithANewKeySet) {
    libraries_.faults.failNext("CryptAcquireContextW", crypto::kNteBadKeyset);
    EXPECT_TRUE(digest().done);
    EXPECT_EQ(eventsStartingWith("acquire:"),
              (std::vector<std::string>{"acquire:" + std::to_string(crypto::kCryptVerifyContext),
                                        "acquire:" + std::to_string(crypto::kCryptNewKeyset)}));
}

TEST_F(PackageTrustDigest, RedirectionIsOffOnlyAroundTheOpen) {
    const std::string open = "open:" + utf8FromWide(kFile);
    const struct {
        bool flag;
        std::vector<std::string> order;
    } cases[] = {
        {true, {"disable", open, "revert"}},
        {false, {open}},
    };
    for (const auto& c : cases) {
        libraries_.events.clear();
        EXPECT_TRUE(digest(kFile, c.flag).done);
        std::vector<std::string> order;
        for (const std::string& event : libraries_.events) {
            if (event == "disable" || event == "revert" || event.rfind("open:", 0) == 0) {
                order.push_back(event);
            }
        }
        EXPECT_EQ(order, c.order);
    }
}

TEST_F(PackageTrustDigest, RedirectionIsSwitchedBackWhenTheOpenFails) {
    fake_.files.deleteFile(kFile);
    const Result result = digest(kFile, true);
    EXPECT_FALSE(result.done);
    EXPECT_EQ(result.code, kDigestOpenFailed);
    EXPECT_EQ(result.systemError, kErrorFileNotFound);
    EXPECT_EQ(libraries_.count("revert"), 1);
}

TEST_F(PackageTrustDigest, RedirectionFailures) {
    const struct {
        const char* operation;
        std::uint32_t code;
        int opens;
    } cases[] = {
        {"Wow64DisableWow64FsRedirection", kDigestRedirectionOffFailed, 0},
        {"Wow64RevertWow64FsRedirection", kDigestRedirectionBackFailed, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.operation);
        libraries_.events.clear();
        libraries_.faults.failNext(c.operation, 1);
        const Result result = digest(kFile, true);
        EXPECT_FALSE(result.done);
        EXPECT_EQ(result.code, c.code);
        EXPECT_EQ(result.systemError, 1u);
        EXPECT_EQ(static_cast<int>(eventsStartingWith("open:").size()), c.opens);
    }
}

TEST_F(PackageTrustDigest, MissingRedirectionFunctionsSkipTheSwitch) {
    for (const char* missing :
         {"Wow64DisableWow64FsRedirection", "Wow64RevertWow64FsRedirection"}) {
        SCOPED_TRACE(missing);
        libraries_.events.clear();
        libraries_.missingExports = {missing};
        EXPECT_TRUE(digest(kFile, true).done);
        EXPECT_EQ(libraries_.count("disable"), 0);
        EXPECT_EQ(eventsStartingWith("open:").size(), 1u);
    }
}

TEST_F(PackageTrustDigest, MissingKernelLibraryIsNoFailure) {
    libraries_.faults.failNext("loadLibrary", 126);  // kernel32 is bound first
    EXPECT_TRUE(digest(kFile, true).done);
    EXPECT_EQ(libraries_.count("disable"), 0);
}

}  // namespace
}  // namespace korin

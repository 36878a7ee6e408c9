// The shared signed-package vectors through the build's real cryptography:
// the same verdict and the same content on both builds.

#include "fakes/fake_platform.h"
#include "trust/package_trust.h"
#include "trust/real_crypto.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

namespace korin {
namespace {

std::string readAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct Vector {
    const char* name;
    bool trusted;
    const char* content;  // the file of the signed content when trusted
};

const Vector kVectors[] = {
    {"direct", true, "installer.bin"},
    {"one-intermediate", true, "installer.bin"},
    {"several-intermediates", true, "installer.bin"},
    {"carries-authority", true, "installer.bin"},
    {"signed-by-authority", true, "installer.bin"},
    {"key-identifiers", true, "installer.bin"},
    {"no-attributes", true, "installer.bin"},
    {"sha1-digest", true, "installer.bin"},
    {"empty-content", true, "empty.bin"},
    {"two-signers-first-good", true, "installer.bin"},
    {"two-signers-first-bad", false, nullptr},
    {"signer-expired", false, nullptr},
    {"signer-not-yet-valid", false, nullptr},
    {"intermediate-expired", false, nullptr},
    {"other-root", false, nullptr},
    {"other-root-same-name", false, nullptr},
    {"intermediate-missing", false, nullptr},
    // Refused below the last link, which holds.
    {"signer-expired-under-intermediate", false, nullptr},
    {"signer-of-another-key", false, nullptr},
    {"intermediate-of-another-key", false, nullptr},
    // Two carried issuers of one name: the key identifier picks the right one.
    {"same-name-issuer-a", true, "installer.bin"},
    {"same-name-issuer-b", true, "installer.bin"},
    {"content-altered", false, nullptr},
    {"content-altered-no-attributes", false, nullptr},
    {"signature-broken", false, nullptr},
    {"empty", false, nullptr},
    {"random", false, nullptr},
    {"truncated", false, nullptr},
    {"truncated-header", false, nullptr},
    {"not-signed-data", false, nullptr},
};

// Where Wine's crypt32 is not Windows: with several signers it checks another
// signer than the first, and with signed attributes it does not compare the
// message-digest attribute with the content. Windows and the stand-in judge
// signer 0 and its digest.
bool wineGivesTheOtherVerdict(const char* name) {
    const std::string vector = name;
    return testing::runningUnderWine() &&
           (vector == "two-signers-first-good" || vector == "content-altered");
}

TEST(SignedPackageVectors, EachGetsItsVerdictAndExactContent) {
    const std::filesystem::path folder = testing::trustVectorsFolder();
    ASSERT_TRUE(std::filesystem::is_directory(folder)) << folder << " (the build makes it)";
    auto libraries = testing::makeRealCryptoLibraries();
    testing::FakePlatform fake;
    Platform platform = fake.platform();
    platform.cryptoLibraries = libraries.get();
    for (const Vector& vector : kVectors) {
        SCOPED_TRACE(vector.name);
        const std::filesystem::path file = folder / (std::string(vector.name) + ".p7");
        ASSERT_TRUE(std::filesystem::exists(file));
        const std::string package = readAll(file);
        PackageTrust trust(platform);
        std::unique_ptr<std::uint8_t[]> content;
        std::uint32_t size = 0;
        const bool trusted =
            trust.verifySignedPackage(reinterpret_cast<const std::uint8_t*>(package.data()),
                                      static_cast<std::uint32_t>(package.size()), content, size);
        const bool flipped = wineGivesTheOtherVerdict(vector.name);
        EXPECT_EQ(trusted, vector.trusted != flipped);
        if (trusted && vector.trusted) {
            ASSERT_NE(content, nullptr);
            EXPECT_EQ(std::string(reinterpret_cast<const char*>(content.get()), size),
                      readAll(folder / vector.content));
        }
    }
}

TEST(SignedPackageVectors, OneTrustVerifiesSeveralPackages) {
    const std::filesystem::path folder = testing::trustVectorsFolder();
    auto libraries = testing::makeRealCryptoLibraries();
    testing::FakePlatform fake;
    Platform platform = fake.platform();
    platform.cryptoLibraries = libraries.get();
    PackageTrust trust(platform);
    for (const char* name : {"direct", "signer-expired", "one-intermediate"}) {
        SCOPED_TRACE(name);
        const std::string package = readAll(folder / (std::string(name) + ".p7"));
        ASSERT_FALSE(package.empty());
        std::unique_ptr<std::uint8_t[]> content;
        std::uint32_t size = 0;
        EXPECT_EQ(
            trust.verifySignedPackage(reinterpret_cast<const std::uint8_t*>(package.data()),
                                      static_cast<std::uint32_t>(package.size()), content, size),
            std::string(name) != "signer-expired");
    }
}

}  // namespace
}  // namespace korin

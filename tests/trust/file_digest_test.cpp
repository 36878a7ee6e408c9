// File digests through the build's real files and cryptography: the
// standard SHA-256 on both builds.

#include "fakes/fake_platform.h"
#include "platform/real_files.h"
#include "platform/error_codes.h"
#include "trust/package_trust.h"
#include "trust/real_crypto.h"

#include <gtest/gtest.h>

#include <fstream>

namespace korin {
namespace {

class RealFileDigest : public ::testing::Test {
  protected:
    RealFileDigest()
        : files_(testing::makeRealFiles()), libraries_(testing::makeRealCryptoLibraries()) {
        platform_ = fake_.platform();
        platform_.files = files_.get();
        platform_.cryptoLibraries = libraries_.get();
    }

    void write(const char* name, const std::string& content) {
        std::ofstream(folder_.path() / name, std::ios::binary) << content;
    }

    testing::TemporaryWorkingFolder folder_;
    testing::FakePlatform fake_;
    std::unique_ptr<Files> files_;
    std::unique_ptr<CryptoLibraries> libraries_;
    Platform platform_;
};

TEST_F(RealFileDigest, StandardSha256Values) {
    const struct {
        std::string content;
        const char* digest;
    } cases[] = {
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"The quick brown fox jumps over the lazy dog",
         "d7a8fbb307d7809469ca9abcb0082e4f8d5651e46d3cdb762d02d0bf37c9e592"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {std::string(1000000, 'a'),
         "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.digest);
        write("file.bin", c.content);
        PackageTrust trust(platform_);
        char text[kDigestTextSize] = {};
        std::uint32_t code = 0;
        std::uint32_t systemError = 0;
        ASSERT_TRUE(trust.fileDigest(L"file.bin", text, code, systemError, false));
        EXPECT_EQ(std::string(text), c.digest);
    }
}

TEST_F(RealFileDigest, EmptyAndMissingFilesHaveNoDigest) {
    write("empty.bin", "");
    const struct {
        const wchar_t* path;
        std::uint32_t code;
        bool checkSystemError;
        std::uint32_t systemError;
    } cases[] = {
        {L"empty.bin", kDigestEmptyFile, false, 0},
        {L"missing.bin", kDigestOpenFailed, true, kErrorFileNotFound},
    };
    for (const auto& c : cases) {
        PackageTrust trust(platform_);
        char text[kDigestTextSize] = {};
        std::uint32_t code = 0;
        std::uint32_t systemError = 0;
        EXPECT_FALSE(trust.fileDigest(c.path, text, code, systemError, false));
        EXPECT_EQ(code, c.code);
        if (c.checkSystemError) {
            EXPECT_EQ(systemError, c.systemError);
        }
    }
}

}  // namespace
}  // namespace korin

// The stand-in machine's cryptography libraries and redirection switch.

#include "fakes/fake_platform.h"
#include "fixtures/temporary_machine_posix.h"
#include "platform/files_posix.h"
#include "platform/standin/program_view.h"
#include "platform/real_files.h"
#include "platform/last_error.h"
#include "platform/standin/machine.h"
#include "trust/crypto_libraries_posix.h"
#include "trust/package_trust.h"
#include "platform/standin/system_exports.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <random>
#include <thread>

namespace korin {
namespace {

std::string sha256sumOf(const std::filesystem::path& file) {
    const std::string command = "sha256sum '" + file.string() + "'";
    FILE* pipe = popen(command.c_str(), "r");
    char line[128] = {};
    const bool read = pipe != nullptr && std::fgets(line, sizeof(line), pipe) != nullptr;
    if (pipe != nullptr) {
        pclose(pipe);
    }
    return read ? std::string(line).substr(0, 64) : std::string("sha256sum failed");
}

TEST(StandinFileDigest, EqualsSha256sumForEverySize) {
    testing::TemporaryWorkingFolder folder;
    auto files = testing::makeRealFiles();
    StandInCryptoLibraries libraries(true);
    testing::FakePlatform fake;
    Platform platform = fake.platform();
    platform.files = files.get();
    platform.cryptoLibraries = &libraries;
    std::mt19937 random(7);
    for (std::size_t size : {1u, 1023u, 1024u, 1025u, 2048u, 4097u, 100000u}) {
        SCOPED_TRACE(size);
        std::string content(size, '\0');
        for (char& c : content) {
            c = static_cast<char>(random());
        }
        std::ofstream(folder.path() / "data.bin", std::ios::binary) << content;
        PackageTrust trust(platform);
        char text[kDigestTextSize] = {};
        std::uint32_t code = 0;
        std::uint32_t systemError = 0;
        ASSERT_TRUE(trust.fileDigest(L"data.bin", text, code, systemError, false));
        EXPECT_EQ(std::string(text), sha256sumOf(folder.path() / "data.bin"));
    }
}

// A 64-bit stand-in machine with a player file in both system folders.
class StandinRedirection : public ::testing::Test {
  protected:
    StandinRedirection() {
        std::string error;
        EXPECT_TRUE(machine_.create("redirection", error, false)) << error;
        const auto drive = std::filesystem::path(machine_.driveC("Windows"));
        std::filesystem::create_directories(drive / "System32");
        std::filesystem::create_directories(drive / "SysWOW64");
        std::ofstream(drive / "System32" / "player.dll", std::ios::binary) << "abc";
        std::ofstream(drive / "SysWOW64" / "player.dll", std::ios::binary)
            << "The quick brown fox jumps over the lazy dog";
    }

    std::string digest(bool is64BitMachine, bool disableRedirection, std::uint32_t& code,
                       std::uint32_t& systemError) {
        standin::Machine machine(machine_.root());
        StandInFiles files(standin::ProgramView(machine, is64BitMachine));
        StandInCryptoLibraries libraries(is64BitMachine);
        testing::FakePlatform fake;
        Platform platform = fake.platform();
        platform.files = &files;
        platform.cryptoLibraries = &libraries;
        PackageTrust trust(platform);
        char text[kDigestTextSize] = {};
        code = 0;
        systemError = 0;
        if (!trust.fileDigest(L"C:\\Windows\\System32\\player.dll", text, code, systemError,
                              disableRedirection)) {
            return "failed";
        }
        return text;
    }

    testing::TemporaryMachine machine_;
};

constexpr char kAbc[] = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
constexpr char kFox[] = "d7a8fbb307d7809469ca9abcb0082e4f8d5651e46d3cdb762d02d0bf37c9e592";

TEST_F(StandinRedirection, SwitchedOffOnlyForTheOpenOfTheFlaggedFile) {
    std::uint32_t code = 0;
    std::uint32_t systemError = 0;
    EXPECT_EQ(digest(true, true, code, systemError), kAbc);
    EXPECT_TRUE(standin::wow64RedirectionEnabled());
    EXPECT_EQ(digest(true, false, code, systemError), kFox);
    EXPECT_TRUE(standin::wow64RedirectionEnabled());
}

TEST_F(StandinRedirection, ThirtyTwoBitMachineHasNothingToSwitch) {
    std::uint32_t code = 0;
    std::uint32_t systemError = 0;
    EXPECT_EQ(digest(false, false, code, systemError), kAbc);
    EXPECT_EQ(digest(false, true, code, systemError), "failed");
    EXPECT_EQ(code, kDigestRedirectionOffFailed);
    EXPECT_EQ(systemError, 1u);  // ERROR_INVALID_FUNCTION
    EXPECT_TRUE(standin::wow64RedirectionEnabled());
}

TEST(StandinRedirectionSwitch, IsPerThreadAndRevertsToTheSavedState) {
    void* outer = nullptr;
    void* inner = nullptr;
    ASSERT_TRUE(standin::Wow64DisableWow64FsRedirection(&outer));
    ASSERT_TRUE(standin::Wow64DisableWow64FsRedirection(&inner));
    bool otherThreadSees = false;
    std::thread([&] { otherThreadSees = standin::wow64RedirectionEnabled(); }).join();
    EXPECT_TRUE(otherThreadSees);
    ASSERT_TRUE(standin::Wow64RevertWow64FsRedirection(inner));
    EXPECT_FALSE(standin::wow64RedirectionEnabled());
    ASSERT_TRUE(standin::Wow64RevertWow64FsRedirection(outer));
    EXPECT_TRUE(standin::wow64RedirectionEnabled());
    EXPECT_FALSE(standin::Wow64RevertWow64FsRedirection(reinterpret_cast<void*>(0x1234)));
}

TEST(StandinCryptoLibraries, UnknownLibrariesAndExportsFailLikeTheLoader) {
    StandInCryptoLibraries libraries(true);
    EXPECT_EQ(libraries.loadLibrary(L"C:\\Windows\\system32\\wintrust.dll"), nullptr);
    EXPECT_EQ(lastError(), 126u);
    crypto::ModuleHandle crypt32 = libraries.loadLibrary(L"C:\\Windows\\system32\\CRYPT32.DLL");
    ASSERT_NE(crypt32, nullptr);
    EXPECT_EQ(libraries.getProcAddress(crypt32, "CryptAcquireContextW"), nullptr);
    EXPECT_EQ(lastError(), 127u);
    EXPECT_NE(libraries.getProcAddress(crypt32, "CertFreeCertificateContext"), nullptr);
    EXPECT_TRUE(libraries.freeLibrary(crypt32));
    std::wstring folder;
    EXPECT_EQ(libraries.getSystemFolder(folder), 0);
    EXPECT_EQ(folder, L"C:\\Windows\\system32");
}

TEST(StandinCertificates, SubjectChecksClearOnlyTheFlagsThatHold) {
    crypto::CertContextPtr authority = standin::CertCreateCertificateContext(
        crypto::kMessageEncoding, kAuthorityCertificate, kAuthorityCertificateSize);
    ASSERT_NE(authority, nullptr);
    EXPECT_EQ(authority->certEncodedSize, 999u);
    const struct {
        crypto::CertContextPtr issuer;
        crypto::Dword flagsIn;
        bool succeeds;
        crypto::Dword flagsOut;
    } cases[] = {
        {authority, 3, true, 0}, {authority, 1, true, 0},  {nullptr, 2, true, 0},
        {nullptr, 1, false, 1},  {authority, 8, false, 8},
    };
    for (const auto& c : cases) {
        crypto::Dword flags = c.flagsIn;
        EXPECT_EQ(standin::CertVerifySubjectCertificateContext(authority, c.issuer, &flags) != 0,
                  c.succeeds);
        EXPECT_EQ(flags, c.flagsOut);
    }
    EXPECT_EQ(
        standin::CertCreateCertificateContext(crypto::kMessageEncoding, kAuthorityCertificate, 500),
        nullptr);
    EXPECT_TRUE(standin::CertFreeCertificateContext(authority));
}

TEST(StandinHashing, ParametersBehaveLikeTheProvider) {
    crypto::CryptProv provider = 0;
    ASSERT_TRUE(standin::CryptAcquireContextW(&provider, nullptr, nullptr, crypto::kProvRsaAes,
                                              crypto::kCryptVerifyContext));
    crypto::CryptHash hash = 0;
    EXPECT_FALSE(standin::CryptCreateHash(provider, 0x6610, 0, 0, &hash));
    EXPECT_EQ(lastError(), crypto::kNteBadAlgId);
    EXPECT_FALSE(standin::CryptCreateHash(0, crypto::kCalgSha256, 0, 0, &hash));
    ASSERT_TRUE(standin::CryptCreateHash(provider, crypto::kCalgSha256, 0, 0, &hash));
    ASSERT_TRUE(standin::CryptHashData(hash, reinterpret_cast<const std::uint8_t*>("abc"), 3, 0));
    crypto::Byte value[32] = {};
    crypto::Dword size = 16;
    EXPECT_FALSE(standin::CryptGetHashParam(hash, crypto::kHpHashVal, value, &size, 0));
    EXPECT_EQ(lastError(), 234u);
    EXPECT_EQ(size, 32u);
    ASSERT_TRUE(standin::CryptGetHashParam(hash, crypto::kHpHashVal, value, &size, 0));
    EXPECT_EQ(value[0], 0xBA);
    EXPECT_EQ(value[31], 0xAD);
    EXPECT_FALSE(standin::CryptHashData(hash, value, 1, 0));
    EXPECT_TRUE(standin::CryptDestroyHash(hash));
    EXPECT_TRUE(standin::CryptReleaseContext(provider, 0));
}

}  // namespace
}  // namespace korin

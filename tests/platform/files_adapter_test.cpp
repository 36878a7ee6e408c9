// The build's real Files adapter: the same bytes on disk on both builds.

#include "platform/real_files.h"

#include "fakes/fake_platform.h"
#include "fixtures/builders.h"
#include "platform/last_error.h"
#include "platform/error_codes.h"
#include "settings/runtime_config.h"
#include "support/log.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

namespace korin {
namespace {

using testing::TemporaryWorkingFolder;

TEST(FilesAdapter, LogLinesAreTheSameBytesOnBothBuilds) {
    TemporaryWorkingFolder folder;
    std::filesystem::create_directories(folder.path() / "Tervalon" / "Korin");
    auto files = testing::makeRealFiles();
    testing::FakePlatform fake;
    Platform platform = fake.platform();
    platform.files = files.get();
    fake.clock.now = {2026, 1, 1, 5, 9, 7, 3, 4};
    logOptions().verbose = true;

    writeLog(platform, Info, L"1627");
    writeLog(platform, Error, L"1217 -2146889721");
    writeLog(platform, Warning, L"Fran\u00e7ais");

    const std::u16string lines =
        u"2026-1-5+9-7-3.4 [info] 1627\r\n"
        u"2026-1-5+9-7-3.4 [error] 1217 -2146889721\r\n"
        u"2026-1-5+9-7-3.4 [warning] Fran\u00e7ais\r\n";
    EXPECT_EQ(testing::readFileBytes(folder.path() / "Tervalon" / "Korin" / "KorinInstall32.log"),
              testing::utf16le(lines));
}

TEST(FilesAdapter, MissingLogFolderCreatesNothing) {
    TemporaryWorkingFolder folder;
    auto files = testing::makeRealFiles();
    testing::FakePlatform fake;
    Platform platform = fake.platform();
    platform.files = files.get();
    writeLog(platform, Error, L"1");
    EXPECT_TRUE(std::filesystem::is_empty(folder.path()));
}

TEST(FilesAdapter, OpenModesAndErrors) {
    TemporaryWorkingFolder folder;
    auto files = testing::makeRealFiles();
    auto created = files->openFile(L"a.bin", FileOpenMode::CreateAlways);
    ASSERT_TRUE(created);
    ASSERT_TRUE(created->write("12345", 5));
    created.reset();
    auto truncated = files->openFile(L"a.bin", FileOpenMode::CreateAlways);
    ASSERT_TRUE(truncated && truncated->write("ab", 2));
    truncated.reset();
    auto appended = files->openFile(L"a.bin", FileOpenMode::AppendAlways);
    ASSERT_TRUE(appended && appended->write("cd", 2));
    appended.reset();
    EXPECT_EQ(testing::readFileBytes(folder.path() / "a.bin"), "abcd");

    struct Case {
        const wchar_t* path;
        FileOpenMode mode;
        std::uint32_t error;
    };
    const Case cases[] = {
        {L"missing.bin", FileOpenMode::ReadExisting, kErrorFileNotFound},
        {L"none\\missing.bin", FileOpenMode::ReadExisting, kErrorPathNotFound},
        {L"none\\new.bin", FileOpenMode::CreateAlways, kErrorPathNotFound},
    };
    for (const Case& c : cases) {
        setLastError(0);
        EXPECT_FALSE(files->openFile(c.path, c.mode));
        EXPECT_EQ(lastError(), c.error);
    }

    ASSERT_TRUE(files->createDirectory(L"sub"));
    EXPECT_FALSE(files->createDirectory(L"sub"));
    EXPECT_EQ(lastError(), kErrorAlreadyExists);
    EXPECT_EQ(files->getFileAttributes(L"sub") & kFileAttributeDirectory, kFileAttributeDirectory);
    ASSERT_TRUE(files->moveFileReplacing(L"a.bin", L"sub\\b.bin"));
    EXPECT_EQ(testing::readFileBytes(folder.path() / "sub" / "b.bin"), "abcd");
    EXPECT_FALSE(files->removeDirectory(L"sub"));
    EXPECT_EQ(lastError(), kErrorDirNotEmpty);
    EXPECT_TRUE(files->deleteFile(L"sub\\b.bin"));
    EXPECT_TRUE(files->removeDirectory(L"sub"));
    EXPECT_EQ(files->getFileAttributes(L"sub"), kInvalidFileAttributes);
    EXPECT_EQ(lastError(), kErrorFileNotFound);
}

}  // namespace
}  // namespace korin

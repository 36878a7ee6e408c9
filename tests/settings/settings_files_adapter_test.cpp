// The settings file and the file manager over the build's real Files adapter:
// the same results and the same bytes on disk on both builds.

#include "fakes/fake_platform.h"
#include "platform/last_error.h"
#include "platform/real_files.h"
#include "platform/error_codes.h"
#include "settings/settings_file.h"
#include "settings/windows_file_manager.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>

namespace korin {
namespace {

using testing::TemporaryWorkingFolder;

void writeAll(const std::filesystem::path& path, const std::string& content) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
}

// The fakes with the real files in place of the in-memory ones.
struct RealFilesPlatform {
    RealFilesPlatform() : files(testing::makeRealFiles()), platform(fake.platform()) {
        platform.files = files.get();
    }
    testing::FakePlatform fake;
    std::unique_ptr<Files> files;
    Platform platform;
};

TEST(SettingsFilesAdapter, EnumerationGivesNamesSizesAndDotEntries) {
    TemporaryWorkingFolder folder;
    writeAll(folder.path() / "list" / "b.txt", "12345");
    writeAll(folder.path() / "list" / "A.txt", "1");
    std::filesystem::create_directories(folder.path() / "list" / "Sub");
    auto files = testing::makeRealFiles();
    FindData data;
    auto find = files->findFirstFile(L"list\\*", data);
    ASSERT_TRUE(find);
    std::vector<std::wstring> names;
    std::vector<std::wstring> dots;
    do {
        (data.name == L"." || data.name == L".." ? dots : names).push_back(data.name);
        if (data.name == L"b.txt") {
            EXPECT_EQ(data.size, 5u);
            EXPECT_EQ(data.attributes & kFileAttributeDirectory, 0u);
            EXPECT_NE(data.lastWriteTime, 0u);
        }
        if (data.name == L"Sub") {
            EXPECT_EQ(data.attributes & kFileAttributeDirectory, kFileAttributeDirectory);
        }
    } while (find->findNext(data));
    EXPECT_EQ(lastError(), kErrorNoMoreFiles);
    std::sort(names.begin(), names.end());
    std::sort(dots.begin(), dots.end());
    EXPECT_EQ(names, (std::vector<std::wstring>{L"A.txt", L"Sub", L"b.txt"}));
    EXPECT_EQ(dots, (std::vector<std::wstring>{L".", L".."}));

    EXPECT_FALSE(files->findFirstFile(L"missing\\*", data));
    EXPECT_EQ(lastError(), kErrorPathNotFound);
}

TEST(SettingsFilesAdapter, CreateNewRefusesAnExistingFile) {
    TemporaryWorkingFolder folder;
    auto files = testing::makeRealFiles();
    auto file = files->openFile(L"new.bin", FileOpenMode::CreateNew);
    ASSERT_TRUE(file);
    ASSERT_TRUE(file->write("abc", 3));
    EXPECT_TRUE(file->flush());
    std::uint64_t size = 0;
    EXPECT_TRUE(file->getFileSize(size));
    EXPECT_EQ(size, 3u);
    file.reset();
    EXPECT_FALSE(files->openFile(L"new.bin", FileOpenMode::CreateNew));
    EXPECT_EQ(lastError(), kErrorFileExists);
    EXPECT_EQ(testing::readFileBytes(folder.path() / "new.bin"), "abc");
}

TEST(SettingsFilesAdapter, SaveReplacesTheFileWithCrLfLinesAndNothingBeside) {
    TemporaryWorkingFolder folder;
    writeAll(folder.path() / "cfg" / "zvs.cfg",
             "\xEF\xBB\xBF"
             "AutoUpdateDisable=1\nOther = x \n");
    RealFilesPlatform real;
    SettingsFile settings(real.platform, "cfg\\zvs.cfg");
    settings.set("AutoUpdateDisable", "0");
    settings.set("SilentAutoUpdateEnable", "1");
    ASSERT_TRUE(settings.save());
    EXPECT_EQ(testing::readFileBytes(folder.path() / "cfg" / "zvs.cfg"),
              "AutoUpdateDisable=0\r\nOther=x\r\nSilentAutoUpdateEnable=1\r\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path() / "cfg"),
                            std::filesystem::directory_iterator()),
              1);
    SettingsFile again(real.platform, "cfg\\zvs.cfg");
    EXPECT_EQ(again.entries(), settings.entries());

    SettingsFile noFolder(real.platform, "none\\zvs.cfg");
    noFolder.set("a", "1");
    EXPECT_FALSE(noFolder.save());
    EXPECT_FALSE(std::filesystem::exists(folder.path() / "none"));
}

TEST(SettingsFilesAdapter, FileManagerOperationsOnRealFolders) {
    TemporaryWorkingFolder folder;
    RealFilesPlatform real;
    VOZA::WindowsFileManager manager(real.platform);
    EXPECT_TRUE(manager.createFolder("data\\one\\two", "three"));
    EXPECT_TRUE(std::filesystem::is_directory(folder.path() / "data" / "one" / "two" / "three"));
    for (const char* name : {"b", "a", "10", "9"}) {
        writeAll(folder.path() / "data" / name, std::string(10, 'x'));
    }
    auto list = manager.listFolder("data");
    ASSERT_NE(list, nullptr);
    std::vector<std::string> names;
    for (std::size_t i = 0; i < list->size(); ++i) {
        names.push_back(list->at(i));
    }
    EXPECT_EQ(names, (std::vector<std::string>{"a", "b", "one", "9", "10"}));
    EXPECT_EQ(manager.pathSize("data"), 40u);
    EXPECT_EQ(manager.pathSize("data\\a"), 10u);
    // Everything older than nothing and younger than forever: all of it.
    real.fake.clock.fileTime = ~std::uint64_t{0} / 2;
    EXPECT_TRUE(manager.deleteFilesByAge("data", 0, ~std::uint64_t{0}));
    EXPECT_FALSE(std::filesystem::exists(folder.path() / "data"));
}

}  // namespace
}  // namespace korin

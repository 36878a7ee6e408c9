// The stand-in machine's file system rules: a folder's listing as NTFS
// gives it.

#include "fixtures/temporary_machine_posix.h"
#include "platform/error_codes.h"
#include "platform/last_error.h"
#include "platform/standin/file_system.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace korin::standin {
namespace {

namespace fs = std::filesystem;

std::vector<std::wstring> names(const ProgramView& view, const std::wstring& pattern) {
    std::vector<FindData> entries;
    std::vector<std::wstring> found;
    if (listFolder(view, pattern, entries)) {
        for (const FindData& entry : entries) {
            found.push_back(entry.name);
        }
    }
    return found;
}

TEST(FileSystem, FolderListingsAreAsNtfsGivesThem) {
    korin::testing::TemporaryMachine folder;
    std::string error;
    ASSERT_TRUE(folder.create("file-system", error)) << error;
    const ProgramView view(Machine(folder.root()), true);
    fs::create_directories(folder.driveC("Data/Sub"));
    std::ofstream(folder.driveC("Data/b.txt")) << "12345";
    std::ofstream(folder.driveC("Data/A.txt")) << "1";
    fs::create_directory_symlink(folder.driveC("Windows"), folder.driveC("Data/Link"));
    EXPECT_EQ(names(view, L"C:\\Data\\*"),
              (std::vector<std::wstring>{L".", L"..", L"A.txt", L"Link", L"Sub", L"b.txt"}));
    EXPECT_EQ(names(view, L"c:\\data\\*.TXT"), (std::vector<std::wstring>{L"A.txt", L"b.txt"}));
    const std::vector<std::wstring> root = names(view, L"C:\\*");
    EXPECT_EQ(std::count(root.begin(), root.end(), L"."), 0);
    EXPECT_EQ(std::count(root.begin(), root.end(), L"Windows"), 1);

    std::vector<FindData> one;
    ASSERT_TRUE(listFolder(view, L"C:\\Data\\b.txt", one));
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(one[0].name, L"b.txt");
    EXPECT_EQ(one[0].size, 5u);
    EXPECT_EQ(one[0].attributes, kFileAttributeNormal);
    // The write time as a FILETIME.
    struct stat info;
    ASSERT_EQ(stat(folder.driveC("Data/b.txt").c_str(), &info), 0);
    EXPECT_EQ(one[0].lastWriteTime / 10000000,
              static_cast<std::uint64_t>(info.st_mtime) + 11644473600ull);
    std::vector<FindData> link;
    ASSERT_TRUE(listFolder(view, L"C:\\Data\\Link", link));
    EXPECT_EQ(link[0].attributes, kFileAttributeDirectory | kFileAttributeReparsePoint);

    std::vector<FindData> none;
    EXPECT_FALSE(listFolder(view, L"C:\\Missing\\*", none));
    EXPECT_EQ(lastError(), kErrorPathNotFound);
    EXPECT_FALSE(listFolder(view, L"C:\\Data\\*.none", none));
    EXPECT_EQ(lastError(), kErrorFileNotFound);
}

}  // namespace
}  // namespace korin::standin

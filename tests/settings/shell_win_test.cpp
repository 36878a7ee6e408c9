// The shell adapter against the real APIs (run under Wine).

#include "platform/shell_win.h"
#include "platform/real_files.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>

namespace korin {
namespace {

TEST(WinShell, NamesTheUsersFoldersAndCreatesOnRequest) {
    WinShell shell;
    std::wstring roaming;
    ASSERT_EQ(shell.getFolderPath(kCsidlAppData | kCsidlFlagCreate, roaming), kSOk);
    EXPECT_NE(GetFileAttributesW(roaming.c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);
    std::wstring local;
    ASSERT_EQ(shell.getFolderPath(kCsidlLocalAppData, local), kSOk);
    EXPECT_NE(local, roaming);
    std::wstring unknown;
    EXPECT_LT(shell.getFolderPath(0x7FFF, unknown), 0);
}

TEST(WinShell, DeletesATreeAndCountsAMissingPathAsGone) {
    testing::TemporaryWorkingFolder folder;
    std::filesystem::create_directories(folder.path() / "tree" / "a" / "b");
    std::ofstream(folder.path() / "tree" / "a" / "b" / "c.txt") << "x";
    WinShell shell;
    const std::wstring tree = (folder.path() / "tree").wstring();
    EXPECT_EQ(shell.deletePath(tree), 0);
    EXPECT_FALSE(std::filesystem::exists(folder.path() / "tree"));
    // The answers the stand-in gives too: a missing path 2, one whose folder
    // is missing the shell's own 124.
    EXPECT_EQ(shell.deletePath(tree), 2);
    EXPECT_EQ(shell.deletePath(tree + L"\\a\\b"), kDeInvalidFiles);
}

}  // namespace
}  // namespace korin

// The Win32 adapters against the real APIs (run under Wine).

#include "platform/clock_win.h"
#include "platform/files_win.h"
#include "platform/registry_win.h"
#include "platform/system_info_win.h"
#include "platform/registry.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace korin {
namespace {

constexpr wchar_t kTestKey[] = L"SOFTWARE\\KorinAdapterTest";
// The product is a 32-bit program; the tests also run as a 64-bit one.
constexpr bool kThirtyTwoBit = sizeof(void*) == 4;
constexpr std::uint32_t kOwnView = kThirtyTwoBit ? kKeyWow64_32Key : kKeyWow64_64Key;
constexpr std::uint32_t kOtherView = kThirtyTwoBit ? kKeyWow64_64Key : kKeyWow64_32Key;

TEST(WinRegistry, KeysWithoutAViewFlagLandInTheProgramsOwnView) {
    WinRegistry registry;
    std::unique_ptr<RegistryKey> key;
    ASSERT_EQ(registry.createKey(RegistryRoot::LocalMachine, kTestKey, kKeySetValue, key), 0);
    const std::uint32_t seven = 7;
    ASSERT_EQ(key->setValue(L"UpdateAttempts", kRegDword, &seven, 4), 0);
    EXPECT_EQ(key->queryValue(L"UpdateAttempts", nullptr, nullptr, nullptr), ERROR_ACCESS_DENIED);
    key.reset();

    // The same key through the explicit view flag, and not in the other view.
    ASSERT_EQ(registry.openKey(RegistryRoot::LocalMachine, kTestKey, kKeyRead | kOwnView, key), 0);
    std::uint32_t type = 0;
    std::uint32_t value = 0;
    std::uint32_t size = 4;
    EXPECT_EQ(key->queryValue(L"updateattempts", &type, &value, &size), 0);
    EXPECT_EQ(type, kRegDword);
    EXPECT_EQ(value, 7u);
    std::uint16_t small = 0;
    size = 2;
    EXPECT_EQ(key->queryValue(L"UpdateAttempts", nullptr, &small, &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(key->queryValue(L"Missing", nullptr, &value, &size), ERROR_FILE_NOT_FOUND);
    std::unique_ptr<RegistryKey> other;
    EXPECT_EQ(registry.openKey(RegistryRoot::LocalMachine, kTestKey, kKeyRead | kOtherView, other),
              ERROR_FILE_NOT_FOUND);

    std::unique_ptr<RegistryKey> software;
    ASSERT_EQ(registry.openKey(RegistryRoot::LocalMachine, L"SOFTWARE", kKeySetValue, software), 0);
    EXPECT_EQ(software->deleteSubKey(L"KorinAdapterTest"), 0);
    EXPECT_EQ(software->deleteSubKey(L"KorinAdapterTest"), ERROR_FILE_NOT_FOUND);
}

TEST(WinSystemInfo, SixtyFourBitWindowsFacts) {
    WinSystemInfo system;
    EXPECT_EQ(system.isWow64Process(), kThirtyTwoBit ? 1 : 0);
    std::wstring folder;
    ASSERT_TRUE(system.getSystemWow64Directory(folder));
    EXPECT_EQ(_wcsicmp(folder.c_str(), L"C:\\windows\\syswow64"), 0);
    ASSERT_TRUE(system.getSystemDirectory(folder));
    EXPECT_EQ(_wcsicmp(folder.c_str(), L"C:\\windows\\system32"), 0);
    OsVersionInfo version;
    ASSERT_TRUE(system.getVersionEx(version));
    EXPECT_EQ(version.platformId, 2u);
    EXPECT_GE(version.majorVersion, 5u);
}

TEST(WinClock, SystemTimeAndFileTimeAgree) {
    WinClock clock;
    const SystemTime now = clock.systemTime();
    const std::uint64_t fileTime = clock.systemTimeAsFileTime();
    SYSTEMTIME converted{};
    FILETIME raw{static_cast<DWORD>(fileTime), static_cast<DWORD>(fileTime >> 32)};
    ASSERT_TRUE(FileTimeToSystemTime(&raw, &converted));
    EXPECT_EQ(converted.wYear, now.year);
    EXPECT_GE(now.year, 2024);
    EXPECT_GE(now.month, 1);
    EXPECT_LE(now.month, 12);
}

TEST(WinFiles, FullPathOfARelativeName) {
    WinFiles files;
    wchar_t current[MAX_PATH];
    ASSERT_GT(GetCurrentDirectoryW(MAX_PATH, current), 0u);
    std::wstring full;
    ASSERT_TRUE(files.getFullPathName(L"KorinPlayerUpdateService.exe", full));
    std::wstring expected = current;
    if (expected.back() != L'\\') {
        expected += L'\\';
    }
    EXPECT_EQ(full, expected + L"KorinPlayerUpdateService.exe");
    // Longer than MAX_PATH: the whole path, not a cut one.
    const std::wstring deep = L"C:\\" + std::wstring(300, L'a') + L"\\x.exe";
    ASSERT_TRUE(files.getFullPathName(deep, full));
    EXPECT_EQ(full, deep);
}

}  // namespace
}  // namespace korin

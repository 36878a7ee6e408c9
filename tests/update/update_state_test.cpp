#include "update/update_state.h"

#include "fakes/fake_platform.h"
#include "fixtures/builders.h"
#include "platform/error_codes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cwchar>
#include <optional>
#include <string>
#include <vector>

namespace korin {
namespace {

using testing::FakePlatform;

constexpr auto& kKey = testing::kStateKey;
// 2026-01-01 as a FILETIME.
constexpr std::uint64_t kNow = 134116992000000000ull;
constexpr std::uint64_t kMax = ~std::uint64_t{0};

TEST(IsCheckDue, ComparesTheLastCheckPlusTheFrequencyWithNow) {
    struct Case {
        const char* name;
        std::optional<std::uint64_t> last;
        std::optional<std::uint32_t> frequency;
        std::uint64_t now;
        bool due;
    };
    const Case cases[] = {
        {"no state", std::nullopt, std::nullopt, kNow, true},
        {"exactly one day ago", kNow - kOneDay, 1, kNow, false},
        {"one tick more than a day ago", kNow - kOneDay - 1, 1, kNow, true},
        {"no frequency is one day", kNow - kOneDay, std::nullopt, kNow, false},
        {"no frequency, a tick older", kNow - kOneDay - 1, std::nullopt, kNow, true},
        {"frequency 0 is one day", kNow - kOneDay - 1, 0, kNow, true},
        {"frequency 2, at the boundary", kNow - 2 * kOneDay, 2, kNow, false},
        {"frequency 2, a tick older", kNow - 2 * kOneDay - 1, 2, kNow, true},
        {"frequency 4 is three days", kNow - 3 * kOneDay, 4, kNow, false},
        {"frequency 4, a tick older", kNow - 3 * kOneDay - 1, 4, kNow, true},
        {"largest frequency is three days", kNow - 3 * kOneDay - 1, 0xFFFFFFFFu, kNow, true},
        {"largest frequency, at the boundary", kNow - 3 * kOneDay, 0xFFFFFFFFu, kNow, false},
        {"cleared check", 0, 1, kNow, true},
        {"clock back less than a period", kNow + kOneDay / 2, 1, kNow, false},
        {"clock back exactly a period", kNow + kOneDay, 1, kNow, false},
        {"clock back a tick more than a period", kNow + kOneDay + 1, 1, kNow, true},
        {"clock back within three days", kNow + 3 * kOneDay, 3, kNow, false},
        {"clock back a year", kNow + 365 * kOneDay, 1, kNow, true},
        {"last check near the top", kMax - kOneDay, 1, kNow, true},
        {"last check at the top", kMax, 3, kNow, true},
        {"now at the top, a period ago", kMax - kOneDay, 1, kMax, false},
        {"now at the top, a tick older", kMax - kOneDay - 1, 1, kMax, true},
    };
    for (const Case& c : cases) {
        FakePlatform fake;
        fake.clock.fileTime = c.now;
        if (c.last) {
            fake.registry.putQword(kKey, L"LastUpdateCheck", *c.last);
        }
        if (c.frequency) {
            fake.registry.putDword(kKey, L"CheckFrequency", *c.frequency);
        }
        EXPECT_EQ(isCheckDue(fake.platform()), c.due) << c.name;
    }
}

TEST(IsCheckDue, ReadsValuesThatDoNotFitAsAbsent) {
    struct Case {
        const char* name;
        std::string last;
        std::string frequency;
        bool due;
    };
    const std::string yesterday = [] {
        const std::uint64_t value = kNow - kOneDay;
        return std::string(reinterpret_cast<const char*>(&value), 8);
    }();
    const Case cases[] = {
        {"last check too long", yesterday + std::string(8, '\0'), "", true},
        {"frequency too long is one day", yesterday, std::string("\x02\0\0\0\0\0\0\0", 8), true},
        {"frequency in two bytes is read", yesterday, std::string("\x02\0", 2), false},
    };
    for (const Case& c : cases) {
        FakePlatform fake;
        fake.clock.fileTime = kNow + 1;
        fake.registry.putValue(kKey, L"LastUpdateCheck", kRegQword, c.last);
        if (!c.frequency.empty()) {
            fake.registry.putValue(kKey, L"CheckFrequency", kRegBinary, c.frequency);
        }
        EXPECT_EQ(isCheckDue(fake.platform()), c.due) << c.name;
    }
}

TEST(IsCheckDue, UsesDefaultsWhenTheKeyCannotBeOpened) {
    FakePlatform fake;
    fake.clock.fileTime = kNow;
    fake.registry.putQword(kKey, L"LastUpdateCheck", kNow);
    fake.registry.faults.failAlways("openKey", kErrorAccessDenied);
    EXPECT_TRUE(isCheckDue(fake.platform()));
}

TEST(WriteLastUpdateCheck, RecordsNowOrZero) {
    for (bool clear : {false, true}) {
        FakePlatform fake;
        fake.clock.fileTime = kNow;
        EXPECT_TRUE(writeLastUpdateCheck(fake.platform(), clear));
        EXPECT_EQ(fake.registry.qword(kKey, L"LastUpdateCheck"), clear ? 0 : kNow);
        EXPECT_EQ(fake.registry.value(kKey, L"LastUpdateCheck")->type, kRegQword);
    }
    FakePlatform fake;
    fake.registry.faults.failNext("createKey", kErrorAccessDenied);
    EXPECT_FALSE(writeLastUpdateCheck(fake.platform(), false));
    fake.registry.faults.failNext("setValue", kErrorAccessDenied);
    EXPECT_FALSE(writeLastUpdateCheck(fake.platform(), false));
    EXPECT_FALSE(fake.registry.hasValue(kKey, L"LastUpdateCheck"));
}

TEST(WriteCheckFrequency, ClampsToOneToThreeDays) {
    struct Case {
        std::optional<std::uint32_t> days;
        std::uint32_t written;
    };
    const Case cases[] = {{std::nullopt, 1}, {0, 1}, {1, 1}, {2, 2}, {3, 3}, {5, 3},
                          {0xFFFFFFFFu, 3}};
    for (const Case& c : cases) {
        FakePlatform fake;
        EXPECT_TRUE(writeCheckFrequency(fake.platform(), c.days ? &*c.days : nullptr));
        EXPECT_EQ(fake.registry.dword(kKey, L"CheckFrequency"), c.written);
        EXPECT_EQ(fake.registry.value(kKey, L"CheckFrequency")->type, kRegDword);
    }
}

TEST(UpdateAttempts, ReadWriteAndIncrement) {
    FakePlatform fake;
    std::uint32_t attempts = 77;
    EXPECT_FALSE(readUpdateAttempts(fake.platform(), attempts));
    EXPECT_EQ(attempts, 77u);
    EXPECT_TRUE(incrementUpdateAttempts(fake.platform()));
    EXPECT_EQ(fake.registry.dword(kKey, L"UpdateAttempts"), 1u);
    EXPECT_TRUE(incrementUpdateAttempts(fake.platform()));
    EXPECT_TRUE(readUpdateAttempts(fake.platform(), attempts));
    EXPECT_EQ(attempts, 2u);
    EXPECT_TRUE(writeUpdateAttempts(fake.platform(), 0xFFFFFFFFu));
    EXPECT_TRUE(incrementUpdateAttempts(fake.platform()));
    EXPECT_EQ(fake.registry.dword(kKey, L"UpdateAttempts"), 0u);  // unsigned wrap
    fake.registry.faults.failNext("setValue", kErrorAccessDenied);
    EXPECT_FALSE(incrementUpdateAttempts(fake.platform()));
}

TEST(UpdateState, OpensTheKeyWithoutAViewFlag) {
    FakePlatform fake;
    std::uint32_t attempts = 0;
    const std::uint32_t days = 2;
    writeLastUpdateCheck(fake.platform(), false);
    writeCheckFrequency(fake.platform(), &days);
    incrementUpdateAttempts(fake.platform());
    readUpdateAttempts(fake.platform(), attempts);
    isCheckDue(fake.platform());
    resetUpdateState(fake.platform());
    ASSERT_FALSE(fake.registry.accesses.empty());
    for (std::uint32_t access : fake.registry.accesses) {
        EXPECT_EQ(access & (kKeyWow64_32Key | kKeyWow64_64Key), 0u) << access;
        EXPECT_TRUE(access == kKeyRead || access == kKeySetValue) << access;
    }
}

TEST(ResetUpdateState, RemovesEverythingOrStopsAtTheFirstFailure) {
    struct Case {
        const char* name;
        std::vector<const wchar_t*> present;  // values before
        const char* failing;                  // operation that fails, or null
        int failingCall;
        bool result;
        std::vector<const wchar_t*> left;  // values after
        bool keyLeft;
    };
    const std::vector<const wchar_t*> all = {L"UpdateAttempts", L"LastUpdateCheck",
                                             L"CheckFrequency"};
    const Case cases[] = {
        {"everything", all, nullptr, 0, true, {}, false},
        {"no UpdateAttempts",
         {L"LastUpdateCheck", L"CheckFrequency"},
         nullptr,
         0,
         false,
         {L"LastUpdateCheck", L"CheckFrequency"},
         true},
        {"no LastUpdateCheck",
         {L"UpdateAttempts", L"CheckFrequency"},
         nullptr,
         0,
         false,
         {L"CheckFrequency"},
         true},
        {"no CheckFrequency", {L"UpdateAttempts", L"LastUpdateCheck"}, nullptr, 0, false, {}, true},
        {"first open fails", all, "openKey", 0, false, all, true},
        {"second open fails",
         all,
         "openKey",
         1,
         false,
         {L"LastUpdateCheck", L"CheckFrequency"},
         true},
        {"third open fails", all, "openKey", 2, false, {L"CheckFrequency"}, true},
        {"parent cannot be opened", all, "openKey", 3, false, {}, true},
        {"key cannot be deleted", all, "deleteSubKey", 0, false, {}, true},
    };
    for (const Case& c : cases) {
        FakePlatform fake;
        for (const wchar_t* name : c.present) {
            fake.registry.putDword(kKey, name, 1);
        }
        if (c.failing != nullptr) {
            fake.registry.faults.failNext(c.failing, kErrorAccessDenied, c.failingCall);
        }
        EXPECT_EQ(resetUpdateState(fake.platform()), c.result) << c.name;
        for (const wchar_t* name : all) {
            const bool expected =
                std::find(c.left.begin(), c.left.end(), std::wstring(name)) != c.left.end();
            EXPECT_EQ(fake.registry.hasValue(kKey, name), expected)
                << c.name << ": " << std::string(name, name + std::wcslen(name));
        }
        EXPECT_EQ(fake.registry.hasKey(kKey), c.keyLeft) << c.name;
        EXPECT_TRUE(fake.registry.hasKey(L"HKLM\\SOFTWARE\\Tervalonix")) << c.name;
    }
}

TEST(ResetUpdateState, FailsWithoutTheKeyAndLeavesAKeyWithSubkeys) {
    FakePlatform fake;
    EXPECT_FALSE(resetUpdateState(fake.platform()));
    EXPECT_FALSE(fake.registry.hasKey(kKey));

    for (const wchar_t* name : {L"UpdateAttempts", L"LastUpdateCheck", L"CheckFrequency"}) {
        fake.registry.putDword(kKey, name, 1);
    }
    fake.registry.putDword(std::wstring(kKey) + L"\\Child", L"x", 1);
    EXPECT_FALSE(resetUpdateState(fake.platform()));
    EXPECT_TRUE(fake.registry.hasKey(kKey));
}

}  // namespace
}  // namespace korin

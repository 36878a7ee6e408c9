#include "support/log.h"

#include "fakes/fake_platform.h"
#include "platform/last_error.h"
#include "settings/runtime_config.h"
#include "fixtures/builders.h"

#include <gtest/gtest.h>

#include <climits>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace korin {
namespace {

using testing::FakePlatform;

const std::wstring kLogFile = std::wstring(FakePlatform::kLogFolder) + L"\\KorinInstall32.log";

using testing::utf16le;

TEST(NumberToText, WritesSignedDecimalWithoutPaddingOrGrouping) {
    struct Case {
        std::int64_t value;
        const wchar_t* text;
    };
    const Case cases[] = {
        {0, L"0"},
        {-1, L"-1"},
        {7, L"7"},
        {1627, L"1627"},
        {1234567, L"1234567"},
        {INT_MIN, L"-2147483648"},
        {INT_MAX, L"2147483647"},
        // Unsigned system values pass through the signed conversion.
        {4294967295LL, L"-1"},
        {2147483648LL, L"-2147483648"},
        {12029, L"12029"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(numberToText(static_cast<std::uint32_t>(c.value)), c.text) << c.value;
    }
}

TEST(LogCodeMessage, CodeAloneOrWithOneSpaceAndDetail) {
    EXPECT_EQ(logCodeMessage(1617), L"1617");
    EXPECT_EQ(logCodeMessage(1629, L"updates.example"), L"1629 updates.example");
    EXPECT_EQ(logCodeMessage(1238, L""), L"1238 ");
    setLastError(0xFFFFFFFFu);
    EXPECT_EQ(logCodeLastError(1239), L"1239 -1");
}

TEST(WriteLog, VerbosityDecidesWhatReachesTheFile) {
    struct Case {
        bool verbose;
        std::int32_t level;
        bool written;
    };
    const Case cases[] = {
        {false, Info, false}, {false, Warning, false}, {false, Error, true},
        {true, Info, true},   {true, Warning, true},   {true, Error, true},
    };
    for (const Case& c : cases) {
        FakePlatform fake;
        logOptions().verbose = c.verbose;
        writeLog(fake.platform(), c.level, L"1627");
        EXPECT_EQ(fake.files.hasFile(kLogFile), c.written)
            << "verbose " << c.verbose << " level " << c.level;
        // A dropped entry costs no file access at all.
        EXPECT_EQ(fake.files.faults.calls("openFile"), c.written ? 1 : 0);
    }
}

TEST(WriteLog, LineIsUtf16LittleEndianWithoutBomOrPadding) {
    FakePlatform fake;
    logOptions().verbose = true;
    fake.clock.now = {2026, 1, 1, 5, 9, 7, 3, 4};
    writeLog(fake.platform(), Info, L"1627");
    EXPECT_EQ(fake.files.content(kLogFile), utf16le(u"2026-1-5+9-7-3.4 [info] 1627\r\n"));
}

TEST(WriteLog, EveryFieldOfTheLine) {
    struct Case {
        SystemTime time;
        std::int32_t level;
        std::wstring message;
        std::u16string line;
    };
    const Case cases[] = {
        {{2026, 12, 3, 31, 23, 59, 59, 999},
         Warning,
         L"1419",
         u"2026-12-31+23-59-59.999 [warning] 1419\r\n"},
        {{2027, 10, 0, 10, 0, 0, 0, 0}, Error, L"1239 8", u"2027-10-10+0-0-0.0 [error] 1239 8\r\n"},
        {{2026, 1, 1, 5, 9, 7, 3, 4}, Info, L"", u"2026-1-5+9-7-3.4 [info] \r\n"},
        // Text outside ASCII, and a character beyond the BMP as a surrogate pair.
        {{2026, 1, 1, 5, 9, 7, 3, 4},
         Error,
         L"C:\\Fran\u00e7ais\\\U0001F600",
         u"2026-1-5+9-7-3.4 [error] C:\\Fran\u00e7ais\\\U0001F600\r\n"},
    };
    for (const Case& c : cases) {
        FakePlatform fake;
        logOptions().verbose = true;
        fake.clock.now = c.time;
        writeLog(fake.platform(), c.level, c.message);
        EXPECT_EQ(fake.files.content(kLogFile), utf16le(c.line));
    }
}

TEST(WriteLog, WritesControlsVisiblySoEveryEntryStaysOneLine) {
    struct Case {
        std::wstring message;
        std::u16string written;
    };
    const Case cases[] = {
        // A forged entry after a line break stays inside the real one.
        {L"1457 <a>\r\n2026-1-5+9-7-3.4 [error] 1617",
         u"1457 <a>\\x0D\\x0A2026-1-5+9-7-3.4 [error] 1617"},
        {std::wstring(L"nul\0end", 7), u"nul\\x00end"},
        {L"\x01\t\x1F \x7F\x80\x85\x9F\xA0", u"\\x01\\x09\\x1F \\x7F\\x80\\x85\\x9F\u00A0"},
        {L"line\u2028paragraph\u2029", u"line\\u2028paragraph\\u2029"},
        // Backslashes of paths and text beyond ASCII stay as they are.
        {L"C:\\Windows\\x0D\\Fran\u00e7ais\\\U0001F600",
         u"C:\\Windows\\x0D\\Fran\u00e7ais\\\U0001F600"},
    };
    for (const Case& c : cases) {
        FakePlatform fake;
        writeLog(fake.platform(), Error, c.message);
        EXPECT_EQ(fake.files.content(kLogFile),
                  utf16le(u"2026-1-5+9-7-3.4 [error] " + c.written + u"\r\n"));
        EXPECT_EQ(fake.logLines().size(), 1u);
    }
}

TEST(WriteLog, WritesUnpairedSurrogatesAsTheyAre) {
    // On Windows these are the message's own UTF-16 units; on Linux each
    // wide character D800-DFFF is one unit.
    std::wstring message = L"a";
    message += static_cast<wchar_t>(0xD800);
    message += L"b";
    message += static_cast<wchar_t>(0xDFFF);
    FakePlatform fake;
    writeLog(fake.platform(), Error, message);
    const std::u16string units = {u'a', char16_t{0xD800}, u'b', char16_t{0xDFFF}};
    EXPECT_EQ(fake.files.content(kLogFile),
              utf16le(u"2026-1-5+9-7-3.4 [error] " + units + u"\r\n"));
}

TEST(WriteLog, AppendsAndNeverCreatesTheFolder) {
    FakePlatform fake;
    fake.files.putFile(kLogFile, "xy");
    writeLog(fake.platform(), Error, L"1");
    EXPECT_EQ(fake.files.content(kLogFile), "xy" + utf16le(u"2026-1-5+9-7-3.4 [error] 1\r\n"));

    FakePlatform noFolder;
    ASSERT_TRUE(noFolder.files.removeDirectory(FakePlatform::kLogFolder));
    writeLog(noFolder.platform(), Error, L"1");
    EXPECT_FALSE(noFolder.files.hasFolder(FakePlatform::kLogFolder));
    EXPECT_FALSE(noFolder.files.hasFile(kLogFile));
}

TEST(WriteLog, FailuresAreSilentAndKeepTheCallersLastError) {
    FakePlatform fake;
    fake.files.faults.failNext("openFile", 32);
    setLastError(1060);
    writeLog(fake.platform(), Error, L"1");
    EXPECT_EQ(lastError(), 1060u);
    fake.files.faults.failNext("write", 112);
    writeLog(fake.platform(), Error, L"2");
    EXPECT_EQ(lastError(), 1060u);
    writeLog(fake.platform(), Error, L"3");
    EXPECT_EQ(fake.logEntries(), std::vector<std::wstring>{L"[error] 3"});
}

// The service thread and the control thread log at once: every entry lands
// whole, and each thread's entries in the order it wrote them.
TEST(WriteLog, EntriesOfTwoThreadsNeverInterleave) {
    FakePlatform fake;
    constexpr int kEntries = 1000;
    const auto writeEntries = [&fake](const std::wstring& name) {
        for (int i = 0; i < kEntries; ++i) {
            writeLog(fake.platform(), Error, name + L" " + std::to_wstring(i));
        }
    };
    std::thread other(writeEntries, L"control");
    writeEntries(L"service");
    other.join();

    const std::vector<std::wstring> entries = fake.logEntries();
    ASSERT_EQ(entries.size(), 2u * kEntries);
    std::map<std::wstring, int> next;
    for (const std::wstring& entry : entries) {
        const auto space = entry.rfind(L' ');
        const std::wstring name = entry.substr(0, space);
        ASSERT_TRUE(name == L"[error] service" || name == L"[error] control");
        EXPECT_EQ(entry.substr(space + 1), std::to_wstring(next[name]++));
    }
}

}  // namespace
}  // namespace korin

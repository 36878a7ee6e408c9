#include "korin_log/log_reader.h"

#include "platform/clock.h"
#include "support/log.h"
#include "support/log_codes.h"
#include "ground/text.h"
#include "fixtures/builders.h"

#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace korin {
namespace {

using testing::utf16le;

// The bytes the program appends for an entry, through its own line builder.
std::string written(std::int32_t level, const std::wstring& message, std::uint16_t second = 3) {
    SystemTime time;
    time.year = 2026;
    time.month = 1;
    time.day = 5;
    time.hour = 9;
    time.minute = 7;
    time.second = second;
    time.milliseconds = 4;
    return utf16le(utf16UnitsOf(logLine(time, level, message)));
}

struct NoNames : SystemErrorNamer {
    std::string name(std::uint32_t code) const override {
        return code == 0x80096010u ? "The digital signature of the object did not verify" : "";
    }
};

TEST(LogCodes, EveryCodeHasOneMeaningAndADetailKind) {
    std::set<std::int32_t> seen;
    for (const LogCodeMeaning& entry : kLogCodeMeanings) {
        EXPECT_TRUE(seen.insert(entry.code).second) << entry.code << " is listed twice";
        EXPECT_GE(entry.code, 1000);
        EXPECT_LE(entry.code, 1999);
        EXPECT_GT(std::string(entry.meaning).size(), 8u) << entry.code;
        EXPECT_EQ(findLogCode(entry.code), &entry);
    }
    EXPECT_EQ(findLogCode(1999), nullptr);
}

TEST(LogReader, ReadsWhatTheProgramWritesAndRefusesWhatItNeverWrites) {
    struct Case {
        std::u16string line;
        bool entry;
        const char* time;
        std::int32_t level;
        bool hasCode;
        std::int32_t code;
        const char* detail;
        const char* message;
    };
    const Case cases[] = {
        {u"2026-1-5+9-7-3.4 [info] 1627", true, "2026-01-05 09:07:03.004", 0, true, 1627, "",
         "1627"},
        {u"2026-12-31+23-59-59.999 [error] 1217 -2146869232", true, "2026-12-31 23:59:59.999", 2,
         true, 1217, "-2146869232", "1217 -2146869232"},
        {u"2026-1-5+0-0-0.0 [warning] 1630 /pub/a b.xml", true, "2026-01-05 00:00:00.000", 1, true,
         1630, "/pub/a b.xml", "1630 /pub/a b.xml"},
        {u"2026-1-5+9-7-3.4 [info] C:\\Program Files\\Korin\\K.exe", true,
         "2026-01-05 09:07:03.004", 0, false, 0, "", "C:\\Program Files\\Korin\\K.exe"},
        {u"2026-1-5+9-7-3.4 [error] ", true, "2026-01-05 09:07:03.004", 2, false, 0, "", ""},
        {u"2026-1-5+9-7-3.4 [info] -install", true, "2026-01-05 09:07:03.004", 0, false, 0, "",
         "-install"},
        {u"2026-1-5+9-7-3.4 [warning] expected \u00e9 \U0001F600 \xD800!", true,
         "2026-01-05 09:07:03.004", 1, false, 0, "", "expected \u00e9 \U0001F600 \uFFFD!"},
        // Controls the writer would have escaped are shown in its escaped form.
        {u"2026-1-5+9-7-3.4 [info] \x1B[2J\r\x85", true, "2026-01-05 09:07:03.004", 0, false, 0, "",
         "\\x1B[2J\\x0D\\x85"},
        {u"2026-1-5+9-7-3.4 [info] 0123", true, "2026-01-05 09:07:03.004", 0, false, 0, "", "0123"},
        {u"2026-1-5+9-7-3.4 [error] 9999999999 5", true, "2026-01-05 09:07:03.004", 2, false, 0, "",
         "9999999999 5"},  // ten digits: more than any code
        {u"2026-01-5+9-7-3.4 [info] 1627", false, "", 0, false, 0, "", ""},  // a leading zero
        {u"2026-13-5+9-7-3.4 [info] 1627", false, "", 0, false, 0, "", ""},  // month 13
        {u"2026-1-5+24-7-3.4 [info] 1627", false, "", 0, false, 0, "", ""},  // hour 24
        {u"2026-1-5+9-7-3.1000 [info] 1627", false, "", 0, false, 0, "",
         ""},  // four digits of milliseconds
        {u"2026-1-5 9-7-3.4 [info] 1627", false, "", 0, false, 0, "", ""},  // a space for the "+"
        {u"2026-1-5+9-7-3.4 [Info] 1627", false, "", 0, false, 0, "", ""},  // the level's case
        {u"2026-1-5+9-7-3.4 [debug] 1627", false, "", 0, false, 0, "", ""},
        {u"2026-1-5+9-7-3.4 [info]1627", false, "", 0, false, 0, "", ""},
        {u"2026-1-5+9-7-3.4 info 1627", false, "", 0, false, 0, "", ""},
        {u"", false, "", 0, false, 0, "", ""},
        {u"\xFEFF", false, "", 0, false, 0, "", ""},
    };
    for (const Case& c : cases) {
        const std::optional<LogEntry> entry = parseLogLine(c.line);
        const std::string shown = utf8FromUtf16Units(c.line);
        ASSERT_EQ(entry.has_value(), c.entry) << shown;
        if (!c.entry) {
            continue;
        }
        EXPECT_EQ(entry->time, c.time) << shown;
        EXPECT_EQ(entry->level, c.level) << shown;
        EXPECT_EQ(entry->hasCode, c.hasCode) << shown;
        EXPECT_EQ(entry->code, c.code) << shown;
        EXPECT_EQ(entry->detail, c.detail) << shown;
        EXPECT_EQ(entry->message, c.message) << shown;
    }
}

TEST(LogReader, ALineTheLogWriterBuildsReadsBackWhole) {
    std::istringstream in(written(Error, L"1217 -2146869232") +
                          written(Warning, L"expected >\x0D\x0A<") + written(Info, L""));
    LogFileReader reader(in);
    LogEntry entry;
    ASSERT_TRUE(reader.next(entry));
    EXPECT_EQ(entry.code, 1217);
    EXPECT_EQ(entry.detail, "-2146869232");
    ASSERT_TRUE(reader.next(entry));
    EXPECT_EQ(entry.message, "expected >\\x0D\\x0A<");  // the writer's visible form
    EXPECT_EQ(entry.line, 2u);
    ASSERT_TRUE(reader.next(entry));
    EXPECT_EQ(entry.message, "");
    EXPECT_FALSE(reader.next(entry));
    EXPECT_EQ(reader.stopReason(), "");
}

TEST(LogReader, HostileBytesAreReadAsFarAsTheyMakeSenseAndSayWhereTheyStopped) {
    const std::string one = written(Info, L"1608");
    const std::string two = written(Info, L"1612");
    struct Case {
        const char* name;
        std::string bytes;
        std::size_t entries;
        const char* stop;  // part of the reason; "" for a whole log
        std::uint64_t byteOrderMarks;
    };
    const std::string bom = utf16le(u"\xFEFF");
    const Case cases[] = {
        {"empty", "", 0, "", 0},
        {"whole", one + two, 2, "", 0},
        {"torn last line", one + two.substr(0, 20), 1, "line 2 (byte 60) has no line end", 0},
        {"cut inside a character", one + two.substr(0, 21), 1, "cut inside a character at byte 80",
         0},
        {"cut between CR and LF", one + two.substr(0, two.size() - 2), 1, "has no line end", 0},
        {"a byte-order mark at the start", bom + one + two, 2, "", 1},
        {"a byte-order mark between entries", one + bom + two, 2, "", 1},
        {"UTF-8, not UTF-16", "2026-1-5+9-7-3.4 [info] 1608\r\n", 0, "line 1 (byte 0)", 0},
        {"a CR alone", one + utf16le(u"2026-1-5+9-7-3.4 [info] 16\r08\r\n") + two, 3, "", 0},
        {"not an entry", one + utf16le(u"2026-1-5+9-7-3.4 [info]\r\n") + two, 1,
         "line 2 (byte 60) is not a log entry", 0},
        {"one byte off", one.substr(1) + two, 0, "line 1 (byte 0)", 0},
        {"zero bytes", one + std::string(64, '\0') + two, 1, "line 2", 0},
        {"no line end for ever", one + utf16le(std::u16string(70000, u'7')), 1,
         "runs past 65536 characters", 0},
        {"a line of the cap, then one longer",
         one + written(Info, std::wstring(65536 - 24, L'x')) +
             written(Info, std::wstring(65536 - 23, L'x')),
         2, "line 3 (byte 131136) runs past 65536 characters", 0},
    };
    for (const Case& c : cases) {
        std::istringstream in(c.bytes);
        LogFileReader reader(in);
        LogEntry entry;
        std::size_t entries = 0;
        while (reader.next(entry)) {
            ++entries;
        }
        EXPECT_EQ(entries, c.entries) << c.name;
        EXPECT_NE(reader.stopReason().find(c.stop), std::string::npos)
            << c.name << ": " << reader.stopReason();
        EXPECT_EQ(reader.stopReason().empty(), std::string(c.stop).empty()) << c.name;
        EXPECT_EQ(reader.byteOrderMarks(), c.byteOrderMarks) << c.name;
        EXPECT_FALSE(reader.next(entry)) << c.name;
    }
}

TEST(LogReader, AnEntryIsShownWithItsMeaningAndItsSystemErrorNamed) {
    struct Case {
        std::int32_t level;
        const wchar_t* message;
        const char* shown;
    };
    const Case cases[] = {
        {Error, L"1217 -2146869232",
         "2026-01-05 09:07:03.004 [error] 1217: the package's signature could not be verified; "
         "system error 0x80096010 (The digital signature of the object did not verify)"},
        {Error, L"1223 1056",
         "2026-01-05 09:07:03.004 [error] 1223: the service manager refused to start the service; "
         "system error 1056"},
        {Info, L"1630 /pub/x.xml",
         "2026-01-05 09:07:03.004 [info] 1630: asking the update server for a manifest: "
         "/pub/x.xml"},
        {Info, L"1608", "2026-01-05 09:07:03.004 [info] 1608: the update cycle begins"},
        {Warning, L"1405 what",
         "2026-01-05 09:07:03.004 [warning] 1405: manifest download: out "
         "of memory for the read buffer; detail: what"},
        {Error, L"1217 not-a-number",
         "2026-01-05 09:07:03.004 [error] 1217: the package's "
         "signature could not be verified; detail: not-a-number"},
        {Error, L"1999 7",
         "2026-01-05 09:07:03.004 [error] 1999: (a code this program does not "
         "log) 7"},
        {Info, L"C:\\K.exe", "2026-01-05 09:07:03.004 [info] C:\\K.exe"},
    };
    for (const Case& c : cases) {
        std::istringstream in(written(c.level, c.message));
        LogFileReader reader(in);
        LogEntry entry;
        ASSERT_TRUE(reader.next(entry));
        EXPECT_EQ(describeEntry(entry, NoNames{}), c.shown);
    }
}

// Runs of a log and their summaries.
struct Summaries : RunGrouper::Sink {
    void entry(std::uint64_t run, const LogEntry&) override { runOfEntry.push_back(run); }
    void finished(std::uint64_t run, const RunFacts& facts, bool endOfLog) override {
        for (std::string& line : runSummaryLines(run, facts, endOfLog, proxy)) {
            lines.push_back(std::move(line));
        }
    }
    std::string proxy;
    std::vector<std::uint64_t> runOfEntry;
    std::vector<std::string> lines;
};

std::vector<std::string> summariesOf(const std::vector<std::pair<std::int32_t, std::wstring>>& log,
                                     const std::string& proxy = {}) {
    std::string bytes;
    for (const auto& [level, message] : log) {
        bytes += written(level, message);
    }
    std::istringstream in(bytes);
    LogFileReader reader(in);
    Summaries summaries;
    summaries.proxy = proxy;
    RunGrouper runs(summaries);
    LogEntry entry;
    while (reader.next(entry)) {
        runs.add(entry);
    }
    runs.end();
    return summaries.lines;
}

const std::wstring kPath = L"C:\\Windows\\System32\\KorinPlayerUpdateService.exe";

// A server out of reach is where an administrator looks at the proxy; other
// failures say nothing about it.
TEST(LogRuns, AServerOutOfReachNamesTheMachinesProxySetting) {
    using Log = std::vector<std::pair<std::int32_t, std::wstring>>;
    const std::string proxy = "proxy 10.1.1.1:3128, bypass <local>";
    struct Case {
        Log tail;
        std::string named;  // empty: no proxy line
    };
    const Case cases[] = {
        {{{Warning, L"1474 12029"}, {Warning, L"1470 12007"}}, "12029"},
        {{{Warning, L"1474 12157"}}, "12157"},
        {{{Error, L"1211 12002"}}, "12002"},
        {{{Error, L"1217 -2146869232"}}, ""},
        {{{Warning, L"1474 404"}}, ""},
        {{{Info, L"1630 12029"}}, ""},  // a text detail, not a system error
    };
    for (const Case& c : cases) {
        Log log = {{Info, L"1614"}, {Info, L"1615"}, {Info, L"1618"}, {Info, L"1608"}};
        log.insert(log.end(), c.tail.begin(), c.tail.end());
        const std::vector<std::string> lines = summariesOf(log, proxy);
        if (c.named.empty()) {
            EXPECT_EQ(lines.size(), 1u) << c.tail.front().second;
            continue;
        }
        ASSERT_EQ(lines.size(), 2u) << c.tail.front().second;
        EXPECT_EQ(lines[1], "--   the server could not be reached (system error " + c.named +
                                "); this machine's WinHTTP proxy setting: " + proxy);
        EXPECT_EQ(summariesOf(log).size(), 1u);  // setting unknown: not named
    }
}

TEST(LogRuns, EachRunIsSummedUpByWhatStartedItAndHowItEnded) {
    using Log = std::vector<std::pair<std::int32_t, std::wstring>>;
    const Log service = {{Info, L"1614"}, {Info, L"1615"}, {Info, L"1618"}};
    const auto with = [&](Log tail) {
        Log log = service;
        log.insert(log.end(), tail.begin(), tail.end());
        return log;
    };
    const std::string byService = "started by: the service manager (a service start); outcome: ";
    struct Case {
        const char* name;
        Log log;
        std::vector<std::string> summaries;
    };
    const Case cases[] = {
        {"auto-update disabled",
         {{Info, L"1613"},
          {Info, L"1615"},
          {Info, L"1618"},
          {Info, L"1608"},
          {Info, L"1612"},
          {Info, L"1620"}},
         {"-- run 1 (line 1): " + byService + "gated by settings (auto-update is disabled)"}},
        {"silent auto-update off",
         {{Info, L"1614"}, {Info, L"1616"}, {Info, L"1618"}, {Info, L"1608"}, {Info, L"1612"}},
         {"-- run 1 (line 1): " + byService + "gated by settings (silent auto-update is off)"}},
        {"not due, a stop control in between",
         with({{Info, L"1608"},
               {Info, L"1622 1"},
               {Info, L"1623"},
               {Info, L"1612"},
               {Info, L"1620"}}),
         {"-- run 1 (line 1): " + byService +
          "not due (checked less than CheckFrequency days ago)"}},
        {"nothing to update",
         with({{Info, L"1608"}, {Info, L"1631 /c.xml"}, {Info, L"1630 /v.xml"}, {Info, L"1612"}}),
         {"-- run 1 (line 1): " + byService + "nothing to update"}},
        {"no manifest",
         with({{Info, L"1608"},
               {Warning, L"1474 12029"},
               {Warning, L"1475"},
               {Info, L"1432"},
               {Info, L"1612"}}),
         {"-- run 1 (line 1): " + byService +
          "no manifest (the current-major manifest could not be had)"}},
        {"notify mode set",
         with({{Info, L"1608"}, {Info, L"1632"}, {Error, L"1301"}, {Info, L"1612"}}),
         {"-- run 1 (line 1): " + byService +
          "notify mode set (seven launches did not bring the player up to date)"}},
        {"launch failed",
         with({{Info, L"1608"},
               {Info, L"1637"},
               {Error, L"1217 -2146869232"},
               {Error, L"1300 -2146869232"},
               {Info, L"1612"}}),
         {"-- run 1 (line 1): " + byService +
          "launch failed (Plugin): first error 1217, the package's signature could not be "
          "verified"}},
        {"installer started",
         with({{Info, L"1608"}, {Info, L"1621"}, {Info, L"1612"}}),
         {"-- run 1 (line 1): " + byService + "installer started (Pepper)"}},
        {"the cycle still running",
         with({{Info, L"1608"}, {Info, L"1631 /c.xml"}}),
         {"-- run 1 (line 1): " + byService + "the cycle has not ended (the log ends here)"}},
        // The task's process asks the manager to start the service; the
        // service it starts logs before the answer reaches the first.
        {"the hourly task's start request",
         {{Info, L"1614"},
          {Info, L"1615"},
          {Info, L"1618"},
          {Info, L"1619 1063"},
          {Info, L"1614"},
          {Info, L"1615"},
          {Info, L"1618"},
          {Info, L"1604"},
          {Info, L"1608"},
          {Info, L"1612"},
          {Info, L"1620"},
          {Error, L"1226 1062"}},
         {"-- run 1 (line 1): started by: the hourly task or a console, not the service manager; "
          "outcome: asked the service manager to start the service",
          "-- run 2 (line 5): " + byService + "not due (checked less than CheckFrequency days ago)",
          "-- run 3 (line 12): started by: not logged (verbose logging was off); outcome: failed: "
          "first error 1226, the stop request failed (also when the service was not running)"}},
        {"a start request never answered",
         {{Info, L"1614"},
          {Info, L"1615"},
          {Info, L"1618"},
          {Info, L"1619 1063"},
          {Info, L"1614"},
          {Info, L"1615"},
          {Info, L"1618"},
          {Info, L"1608"},
          {Info, L"1612"},
          {Info, L"1620"},
          {Info, L"1604"}},
         {"-- run 1 (line 1): started by: the hourly task or a console, not the service manager; "
          "outcome: no outcome logged",
          "-- run 2 (line 5): " + byService + "not due (checked less than CheckFrequency days ago)",
          "-- run 3 (line 11): started by: not logged (verbose logging was off); outcome: no "
          "outcome logged"}},
        {"the start request refused",
         {{Info, L"1614"},
          {Info, L"1615"},
          {Info, L"1618"},
          {Info, L"1619 1063"},
          {Error, L"1223 1058"}},
         {"-- run 1 (line 1): started by: the hourly task or a console, not the service "
          "manager; "
          "outcome: the service could not be started: first error 1223, the service manager "
          "refused to start the service"}},
        {"errors only, a text among them",
         {{Warning, L"1474 12029"}, {Info, L"not a path"}, {Error, L"1217 -2146869232"}},
         {"-- run 1 (line 1): started by: not logged (verbose logging was off); outcome: "
          "failed: "
          "first error 1217, the package's signature could not be verified"}},
        {"the program's start entries",
         {{Info, kPath},
          {Info, L"1617"},
          {Info, L"-install"},
          {Info, L"1603"},
          {Info, kPath},
          {Info, L"1617"},
          {Info, L"1614"}},
         {"-- run 1 (line 1): started by: the command line \"-install\"; outcome: no "
          "outcome "
          "logged",
          "-- run 2 (line 5): started by: the service manager (a service start); outcome: "
          "no "
          "outcome logged"}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(summariesOf(c.log), c.summaries) << c.name;
    }
}

}  // namespace
}  // namespace korin

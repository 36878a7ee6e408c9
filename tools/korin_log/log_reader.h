#pragma once

#include <cstddef>
#include <cstdint>
#include <istream>
#include <optional>
#include <string>
#include <vector>

// Reading the service's log back: its UTF-16LE lines as entries, the entries
// grouped into runs (one process each), and a summary of what a run did.
// For administrators; the service itself never reads its log.

namespace korin {

struct LogEntry {
    std::uint64_t line = 0;    // 1-based line number in the file
    std::uint64_t offset = 0;  // byte offset of the line in the file
    std::string time;          // "2026-01-05 09:07:03.004"
    std::int32_t level = 0;    // LogLevel
    bool hasCode = false;      // false: a plain text entry (a path, an argument)
    std::int32_t code = 0;
    std::string detail;   // UTF-8, after the code's space
    std::string message;  // UTF-8, the whole message
    std::string raw;      // UTF-8, the whole line without its CR LF
};

// One line's UTF-16 units (without CR LF) as an entry; nullopt when the line
// is not one this program writes.
std::optional<LogEntry> parseLogLine(const std::u16string& units);

// UTF-8 of UTF-16 units, for showing: an unpaired surrogate becomes U+FFFD,
// a control character the writer's escaped form (\xHH).
std::string utf8FromUtf16Units(const std::u16string& units);

// Streams the entries of a log, one at a time, holding one line at most.
class LogFileReader {
  public:
    // A line longer than this many units is not a line of this log.
    static constexpr std::size_t kMaxLineUnits = 64 * 1024;

    explicit LogFileReader(std::istream& in) : in_(in) {}

    // The next entry; false at the end or where the log stops making sense
    // (then stopReason() says why and where).
    bool next(LogEntry& entry);

    const std::string& stopReason() const { return stopReason_; }
    std::uint64_t byteOrderMarks() const { return byteOrderMarks_; }

  private:
    bool fill();
    bool stop(const std::string& why);

    std::istream& in_;
    char buffer_[64 * 1024] = {};
    std::size_t bufferEnd_ = 0;
    std::size_t bufferPos_ = 0;
    std::uint64_t offset_ = 0;  // bytes consumed
    std::uint64_t line_ = 0;
    std::uint64_t byteOrderMarks_ = 0;
    bool done_ = false;
    std::string stopReason_;
};

// What one run did, gathered entry by entry in constant memory.
class RunFacts {
  public:
    // True when the entry begins a new run rather than continuing this one.
    bool startsNewRun(const LogEntry& entry) const;
    void add(const LogEntry& entry);

    bool empty() const { return entries_ == 0; }
    // A start outside the service manager whose start request has not been
    // answered yet: the service it starts logs before the answer comes.
    bool awaitsStartRequest() const;
    static bool isStartRequestAnswer(const LogEntry& entry);
    // Past the start-up and the dispatcher's entries.
    bool atWork() const;
    std::uint64_t firstLine() const { return firstLine_; }
    std::string startedBy() const;
    // "not logged" when the entries allow no conclusion; `endOfLog` is true for
    // the log's last run (a cycle without its end may still be running).
    std::string outcome(bool endOfLog) const;
    // The first system error that says the server could not be reached (0:
    // none): the usual sign of a proxy missing, wrong or in the way.
    std::int32_t connectionFailure() const { return connectionFailure_; }

  private:
    bool has(std::int32_t code) const;
    int rank_ = -1;  // how far into a process's life the entries came
    std::uint64_t entries_ = 0;
    std::uint64_t firstLine_ = 0;
    bool lastWasStartup_ = false;
    std::string argument_;
    std::vector<std::int32_t> codes_;  // distinct codes seen, in order
    std::int32_t firstError_ = 0;
    std::string firstErrorDetail_;
    std::int32_t connectionFailure_ = 0;
    std::uint64_t cycleEntries_ = 0;  // entries between 1608 and 1612
    bool inCycle_ = false;
};

// Groups entries into runs as they come, in constant memory: at most two
// runs are open, the current one and the one before it while it awaits the
// answer to its start request.
class RunGrouper {
  public:
    struct Sink {
        virtual ~Sink() = default;
        virtual void entry(std::uint64_t run, const LogEntry& entry) = 0;
        virtual void finished(std::uint64_t run, const RunFacts& facts, bool endOfLog) = 0;
    };

    explicit RunGrouper(Sink& sink) : sink_(sink) {}
    void add(const LogEntry& entry);
    void end();

  private:
    struct Open {
        std::uint64_t number = 0;
        RunFacts facts;
    };
    void finish(std::optional<Open>& run, bool endOfLog);

    Sink& sink_;
    std::optional<Open> current_;
    std::optional<Open> awaiting_;
    std::uint64_t count_ = 0;
};

// The lines that sum up a run: the first is "run N: started by ...; outcome".
// `proxySetting` describes the machine's WinHTTP proxy setting; it is named
// under a run whose connection failed (empty: not known, not named).
std::vector<std::string> runSummaryLines(std::uint64_t number, const RunFacts& run, bool endOfLog,
                                         const std::string& proxySetting = {});

// How an entry is printed: time, level, code, detail and the code's meaning.
// `systemText` names a system error code (empty when unknown or not wanted).
struct SystemErrorNamer {
    virtual ~SystemErrorNamer() = default;
    virtual std::string name(std::uint32_t code) const = 0;
};
std::string describeEntry(const LogEntry& entry, const SystemErrorNamer& namer);

// A system error code as the log writes it (signed decimal) in the form
// people look it up by: decimal for Win32 codes, 0x%08X for HRESULTs.
std::string systemErrorNumber(std::int32_t value);

}  // namespace korin

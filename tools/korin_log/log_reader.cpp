#include "korin_log/log_reader.h"

#include "platform/error_codes.h"
#include "support/log_codes.h"
#include "ground/text.h"

#include <algorithm>
#include <cstdio>
#include <cwchar>

namespace korin {

namespace {

constexpr char16_t kCr = u'\r';
constexpr char16_t kLf = u'\n';
constexpr char16_t kByteOrderMark = u'\uFEFF';

// The codes a run's summary rests on.
constexpr std::int32_t kStartup = logCode(1617);
constexpr std::int32_t kNoMemoryAtStart = logCode(1239);
constexpr std::int32_t kSettingsNotRead = logCode(1233);
constexpr std::int32_t kServerDomainNotConverted = logCode(1238);
constexpr std::int32_t kServerDomainInUse = logCode(1629);
constexpr std::int32_t kAutoUpdateDisabled = logCode(1613);
constexpr std::int32_t kAutoUpdateNotDisabled = logCode(1614);
constexpr std::int32_t kSilentOn = logCode(1615);
constexpr std::int32_t kSilentOff = logCode(1616);
constexpr std::int32_t kDispatcherStarting = logCode(1618);
constexpr std::int32_t kDispatcherFailed = logCode(1619);
constexpr std::int32_t kNoDispatchTable = logCode(1451);
constexpr std::int32_t kDispatcherReturned = logCode(1620);
constexpr std::int32_t kControlReceived = logCode(1622);
constexpr std::int32_t kStopControl = logCode(1623);
constexpr std::int32_t kCycleBegins = logCode(1608);
constexpr std::int32_t kCycleEnds = logCode(1612);
constexpr std::int32_t kNoCurrentMajor = logCode(1432);
constexpr std::int32_t kAttemptsExhausted = logCode(1301);
constexpr std::int32_t kStartRequested = logCode(1604);
constexpr std::int32_t kStartNoManager = logCode(1221);
constexpr std::int32_t kStartNoService = logCode(1222);
constexpr std::int32_t kStartFailed = logCode(1223);

struct PlayerCodes {
    const char* name;
    std::int32_t started;
    std::int32_t launchFailed;
};
constexpr PlayerCodes kPlayers[] = {
    {"ActiveX", logCode(1609), logCode(1234)},
    {"Plugin", logCode(1610), logCode(1300)},
    {"Pepper", logCode(1621), logCode(1306)},
};

// Ranks of a process's life: an entry of a rank at or below what a run has
// reached, from the start of a life, begins the next process's run.
constexpr int kRankPath = 0;
constexpr int kRankStartup = 10;
constexpr int kRankArgument = 20;
constexpr int kRankSettings = 30;
constexpr int kRankDispatcher = 40;
constexpr int kRankWork = 50;
constexpr int kRankEnded = 90;
// Distinct codes a run remembers; a log of random codes stops adding there.
constexpr std::size_t kMaxRunCodes = 256;

bool isDigit(char16_t unit) {
    return unit >= u'0' && unit <= u'9';
}

// A decimal field as numberToText writes it: no sign, no leading zero.
bool readNumber(const std::u16string& units, std::size_t& at, unsigned maxDigits, unsigned& value) {
    const std::size_t start = at;
    value = 0;
    while (at < units.size() && isDigit(units[at]) && at - start < maxDigits) {
        value = value * 10 + static_cast<unsigned>(units[at] - u'0');
        ++at;
    }
    if (at == start || (at < units.size() && isDigit(units[at]))) {
        return false;
    }
    return !(units[start] == u'0' && at - start > 1);
}

bool expect(const std::u16string& units, std::size_t& at, char16_t unit) {
    if (at < units.size() && units[at] == unit) {
        ++at;
        return true;
    }
    return false;
}

bool expectWord(const std::u16string& units, std::size_t& at, const char* word) {
    std::size_t i = at;
    for (const char* c = word; *c != '\0'; ++c, ++i) {
        if (i >= units.size() || units[i] != static_cast<char16_t>(*c)) {
            return false;
        }
    }
    at = i;
    return true;
}

std::string at(std::uint64_t line, std::uint64_t offset) {
    return "line " + std::to_string(line) + " (byte " + std::to_string(offset) + ")";
}

// What WinHTTP reports when the server (or the proxy before it) cannot be
// reached, or a proxy that inspects TLS stands between.
bool isConnectionFailure(std::int32_t code) {
    switch (static_cast<std::uint32_t>(code)) {
        case kErrorWinHttpTimeout:
        case kErrorWinHttpNameNotResolved:
        case kErrorWinHttpCannotConnect:
        case kErrorWinHttpConnectionError:
        case kErrorWinHttpInvalidServerResponse:
        case kErrorWinHttpSecureChannelError:
        case kErrorWinHttpSecureFailure:
            return true;
        default:
            return false;
    }
}

// The signed decimal a system error detail is written as; false for any other text.
bool parseSigned32(const std::string& text, std::int32_t& value) {
    std::size_t i = 0;
    const bool negative = !text.empty() && text[0] == '-';
    i = negative ? 1 : 0;
    if (i >= text.size() || text.size() - i > 10) {
        return false;
    }
    long long number = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return false;
        }
        number = number * 10 + (text[i] - '0');
    }
    number = negative ? -number : number;
    if (number < INT32_MIN || number > INT32_MAX) {
        return false;
    }
    value = static_cast<std::int32_t>(number);
    return true;
}

int rankOf(const LogEntry& entry, bool afterStartup) {
    if (!entry.hasCode) {
        if (entry.level != 0) {
            return kRankWork;  // the texts that follow a manifest's syntax error
        }
        if (afterStartup) {
            return kRankArgument;
        }
        // The program's own path, empty when it could not be learnt.
        const std::string& text = entry.message;
        const bool path = text.empty() || text.rfind("\\\\", 0) == 0 ||
                          (text.size() > 2 && text[1] == ':' && text[2] == '\\');
        return path ? kRankPath : kRankWork;
    }
    switch (entry.code) {
        case kStartup:
            return kRankStartup;
        case kNoMemoryAtStart:
            return kRankArgument + 5;
        case kSettingsNotRead:
            return kRankSettings;
        case kServerDomainNotConverted:
            return kRankSettings + 1;
        case kServerDomainInUse:
            return kRankSettings + 2;
        case kAutoUpdateDisabled:
        case kAutoUpdateNotDisabled:
            return kRankSettings + 3;
        case kSilentOn:
        case kSilentOff:
            return kRankSettings + 4;
        case kDispatcherStarting:
            return kRankDispatcher;
        case kDispatcherFailed:
        case kNoDispatchTable:
            return kRankDispatcher + 1;
        case kDispatcherReturned:
            return kRankEnded;
        default:
            return kRankWork;
    }
}

bool beginsALife(int rank) {
    return rank == kRankPath || rank == kRankStartup ||
           (rank >= kRankSettings && rank <= kRankDispatcher);
}

std::string meaningOf(std::int32_t code) {
    const LogCodeMeaning* meaning = findLogCode(code);
    return meaning != nullptr ? meaning->meaning : "a code this program does not log";
}

}  // namespace

std::string utf8FromUtf16Units(const std::u16string& units) {
    std::wstring shown;
    shown.reserve(units.size());
    for (wchar_t c : wideFromUtf16(units)) {
        if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) {
            // Never written by the program, never passed to a terminal.
            wchar_t escaped[8];
            std::swprintf(escaped, 8, L"\\x%02X", static_cast<unsigned>(c));
            shown += escaped;
        } else {
            shown += c;
        }
    }
    return utf8FromWide(shown);
}

std::optional<LogEntry> parseLogLine(const std::u16string& units) {
    unsigned year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, millis = 0;
    std::size_t i = 0;
    if (!readNumber(units, i, 5, year) || !expect(units, i, u'-') ||
        !readNumber(units, i, 2, month) || !expect(units, i, u'-') ||
        !readNumber(units, i, 2, day) || !expect(units, i, u'+') ||
        !readNumber(units, i, 2, hour) || !expect(units, i, u'-') ||
        !readNumber(units, i, 2, minute) || !expect(units, i, u'-') ||
        !readNumber(units, i, 2, second) || !expect(units, i, u'.') ||
        !readNumber(units, i, 3, millis) || !expect(units, i, u' ') || !expect(units, i, u'[')) {
        return std::nullopt;
    }
    if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 59 ||
        millis > 999) {
        return std::nullopt;
    }
    LogEntry entry;
    if (expectWord(units, i, "info")) {
        entry.level = 0;
    } else if (expectWord(units, i, "warning")) {
        entry.level = 1;
    } else if (expectWord(units, i, "error")) {
        entry.level = 2;
    } else {
        return std::nullopt;
    }
    if (!expect(units, i, u']') || !expect(units, i, u' ')) {
        return std::nullopt;
    }
    char time[64];
    std::snprintf(time, sizeof time, "%04u-%02u-%02u %02u:%02u:%02u.%03u", year, month, day, hour,
                  minute, second, millis);
    entry.time = time;
    entry.message = utf8FromUtf16Units(units.substr(i));
    entry.raw = utf8FromUtf16Units(units);

    // A code: decimal digits, alone or followed by one space and the detail.
    const std::string& message = entry.message;
    std::size_t digits = 0;
    while (digits < message.size() && message[digits] >= '0' && message[digits] <= '9') {
        ++digits;
    }
    if (digits > 0 && digits <= 9 && message[0] != '0' &&
        (digits == message.size() || message[digits] == ' ')) {
        entry.hasCode = true;
        entry.code = std::stoi(message.substr(0, digits));
        entry.detail = digits < message.size() ? message.substr(digits + 1) : std::string();
    }
    return entry;
}

bool LogFileReader::fill() {
    if (bufferPos_ < bufferEnd_) {
        return true;
    }
    in_.read(buffer_, sizeof buffer_);
    bufferEnd_ = static_cast<std::size_t>(in_.gcount());
    bufferPos_ = 0;
    return bufferEnd_ > 0;
}

bool LogFileReader::stop(const std::string& why) {
    done_ = true;
    stopReason_ = why;
    return false;
}

bool LogFileReader::next(LogEntry& entry) {
    if (done_) {
        return false;
    }
    std::u16string units;
    const std::uint64_t lineOffset = offset_;
    const std::uint64_t lineNumber = line_ + 1;
    bool pendingCr = false;
    while (true) {
        if (!fill()) {
            done_ = true;
            if (units.empty() && !pendingCr) {
                return false;  // the end, right after a line end
            }
            return stop(at(lineNumber, lineOffset) +
                        " has no line end: the last entry is torn; not read");
        }
        const unsigned char low = static_cast<unsigned char>(buffer_[bufferPos_++]);
        if (!fill()) {
            done_ = true;
            return stop(at(lineNumber, lineOffset) + " is cut inside a character at byte " +
                        std::to_string(offset_) + ": the log is not whole UTF-16; not read");
        }
        const unsigned char high = static_cast<unsigned char>(buffer_[bufferPos_++]);
        offset_ += 2;
        const char16_t unit = static_cast<char16_t>(low | (high << 8));
        if (pendingCr) {
            if (unit == kLf) {
                break;
            }
            units += kCr;
            pendingCr = false;
        }
        if (unit == kCr) {
            pendingCr = true;
            continue;
        }
        if (unit == kByteOrderMark && units.empty()) {
            ++byteOrderMarks_;  // never written by the program: a stray mark, passed over
            continue;
        }
        if (units.size() >= kMaxLineUnits) {
            return stop(at(lineNumber, lineOffset) + " runs past " + std::to_string(kMaxLineUnits) +
                        " characters without a line end: not a log of this program from here on");
        }
        units += unit;
    }
    line_ = lineNumber;
    std::optional<LogEntry> parsed = parseLogLine(units);
    if (!parsed) {
        return stop(at(lineNumber, lineOffset) +
                    " is not a log entry (time, [level], message): not read from there on");
    }
    entry = std::move(*parsed);
    entry.line = lineNumber;
    entry.offset = lineOffset;
    return true;
}

bool RunFacts::has(std::int32_t code) const {
    return std::find(codes_.begin(), codes_.end(), code) != codes_.end();
}

bool RunFacts::startsNewRun(const LogEntry& entry) const {
    if (entries_ == 0) {
        return false;
    }
    if (rank_ >= kRankEnded) {
        return true;
    }
    const int rank = rankOf(entry, lastWasStartup_);
    return beginsALife(rank) && rank <= rank_;
}

void RunFacts::add(const LogEntry& entry) {
    const int rank = rankOf(entry, lastWasStartup_);
    if (entries_++ == 0) {
        firstLine_ = entry.line;
    }
    rank_ = std::max(rank_, rank);
    lastWasStartup_ = entry.hasCode && entry.code == kStartup;
    if (rank == kRankArgument) {
        argument_ = entry.message;
    }
    if (!entry.hasCode) {
        return;
    }
    if (!has(entry.code) && codes_.size() < kMaxRunCodes) {
        codes_.push_back(entry.code);
    }
    if (entry.level == 2 && firstError_ == 0) {
        firstError_ = entry.code;
        firstErrorDetail_ = entry.detail;
    }
    if (connectionFailure_ == 0) {
        const LogCodeMeaning* meaning = findLogCode(entry.code);
        std::int32_t value = 0;
        if (meaning != nullptr && meaning->detail == LogDetail::SystemError &&
            parseSigned32(entry.detail, value) && isConnectionFailure(value)) {
            connectionFailure_ = value;
        }
    }
    if (entry.code == kCycleBegins) {
        inCycle_ = true;
    } else if (entry.code == kCycleEnds) {
        inCycle_ = false;
    } else if (inCycle_ && entry.code != kControlReceived && entry.code != kStopControl) {
        ++cycleEntries_;
    }
}

bool RunFacts::atWork() const {
    return rank_ >= kRankWork;
}

bool RunFacts::awaitsStartRequest() const {
    return has(kDispatcherFailed) && !has(kStartRequested) && !has(kStartNoManager) &&
           !has(kStartNoService) && !has(kStartFailed);
}

bool RunFacts::isStartRequestAnswer(const LogEntry& entry) {
    return entry.hasCode && (entry.code == kStartRequested || entry.code == kStartNoManager ||
                             entry.code == kStartNoService || entry.code == kStartFailed);
}

std::string RunFacts::startedBy() const {
    if (!argument_.empty()) {
        return "the command line \"" + argument_ + "\"";
    }
    if (has(kDispatcherFailed)) {
        return "the hourly task or a console, not the service manager";
    }
    if (has(kDispatcherStarting) || has(kCycleBegins) || has(kAutoUpdateDisabled) ||
        has(kAutoUpdateNotDisabled) || has(kSettingsNotRead)) {
        return "the service manager (a service start)";
    }
    if (has(kStartup) || rank_ == kRankPath) {
        return "a start of the program";
    }
    return "not logged (verbose logging was off)";
}

std::string RunFacts::outcome(bool endOfLog) const {
    std::string cause;
    if (firstError_ != 0) {
        cause = ": first error " + std::to_string(firstError_) + ", " + meaningOf(firstError_);
    }
    for (const PlayerCodes& player : kPlayers) {
        if (has(player.started)) {
            return std::string("installer started (") + player.name + ")";
        }
    }
    for (const PlayerCodes& player : kPlayers) {
        if (has(player.launchFailed)) {
            return std::string("launch failed (") + player.name + ")" +
                   (firstError_ != player.launchFailed ? cause : std::string());
        }
    }
    if (has(kAttemptsExhausted)) {
        return "notify mode set (seven launches did not bring the player up to date)";
    }
    if (has(kNoCurrentMajor)) {
        return "no manifest (the current-major manifest could not be had)" + cause;
    }
    if (has(kCycleBegins)) {
        if (has(kAutoUpdateDisabled)) {
            return "gated by settings (auto-update is disabled)";
        }
        if (has(kSilentOff)) {
            return "gated by settings (silent auto-update is off)";
        }
        if (has(kCycleEnds)) {
            return cycleEntries_ == 0 ? "not due (checked less than CheckFrequency days ago)"
                                      : "nothing to update";
        }
        return endOfLog ? "the cycle has not ended (the log ends here)"
                        : "the cycle did not end (the process stopped)";
    }
    if (has(kDispatcherFailed)) {
        if (has(kStartRequested)) {
            return "asked the service manager to start the service";
        }
        if (has(kStartNoManager) || has(kStartNoService) || has(kStartFailed)) {
            return "the service could not be started" + cause;
        }
    }
    if (firstError_ != 0) {
        return "failed" + cause;
    }
    return "no outcome logged";
}

void RunGrouper::add(const LogEntry& entry) {
    if (awaiting_ && RunFacts::isStartRequestAnswer(entry)) {
        awaiting_->facts.add(entry);
        sink_.entry(awaiting_->number, entry);
        finish(awaiting_, false);
        return;
    }
    if (current_ && current_->facts.startsNewRun(entry)) {
        finish(awaiting_, false);
        if (current_->facts.awaitsStartRequest()) {
            awaiting_ = std::move(current_);
        } else {
            finish(current_, false);
        }
        current_.reset();
    }
    if (!current_) {
        current_ = Open{++count_, RunFacts{}};
    }
    current_->facts.add(entry);
    sink_.entry(current_->number, entry);
    // The answer comes while the service it started connects; once that
    // service is at work, none is coming.
    if (awaiting_ && current_->facts.atWork()) {
        finish(awaiting_, false);
    }
}

void RunGrouper::end() {
    finish(awaiting_, true);
    finish(current_, true);
}

void RunGrouper::finish(std::optional<Open>& run, bool endOfLog) {
    if (run) {
        sink_.finished(run->number, run->facts, endOfLog);
        run.reset();
    }
}

std::vector<std::string> runSummaryLines(std::uint64_t number, const RunFacts& run, bool endOfLog,
                                         const std::string& proxySetting) {
    std::vector<std::string> lines;
    lines.push_back("-- run " + std::to_string(number) + " (line " +
                    std::to_string(run.firstLine()) + "): started by: " + run.startedBy() +
                    "; outcome: " + run.outcome(endOfLog));
    if (run.connectionFailure() != 0 && !proxySetting.empty()) {
        lines.push_back("--   the server could not be reached (system error " +
                        std::to_string(run.connectionFailure()) +
                        "); this machine's WinHTTP proxy setting: " + proxySetting);
    }
    return lines;
}

std::string systemErrorNumber(std::int32_t value) {
    if (value >= 0) {
        return std::to_string(value);
    }
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(value));
    return text;
}

std::string describeEntry(const LogEntry& entry, const SystemErrorNamer& namer) {
    static const char* const kLevels[] = {"info", "warning", "error"};
    std::string line = entry.time + " [" + kLevels[entry.level] + "] ";
    if (!entry.hasCode) {
        return line + entry.message;
    }
    line += std::to_string(entry.code) + ": ";
    const LogCodeMeaning* meaning = findLogCode(entry.code);
    if (meaning == nullptr) {
        line += "(a code this program does not log)";
        return entry.detail.empty() ? line : line + " " + entry.detail;
    }
    line += meaning->meaning;
    std::int32_t value = 0;
    if (meaning->detail == LogDetail::SystemError && parseSigned32(entry.detail, value)) {
        line += "; system error " + systemErrorNumber(value);
        const std::string name = namer.name(static_cast<std::uint32_t>(value));
        if (!name.empty()) {
            line += " (" + name + ")";
        }
    } else if (meaning->detail == LogDetail::Text) {
        line += ": " + entry.detail;
    } else if (!entry.detail.empty()) {
        line += "; detail: " + entry.detail;
    }
    return line;
}

}  // namespace korin

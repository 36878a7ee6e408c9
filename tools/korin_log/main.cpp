// korin-log: the service's log, entry by entry in plain words, grouped into
// runs with what each run did.

#include "log_place.h"

#include "korin_log/system_error_text.h"
#include "korin_log/log_reader.h"

#include <algorithm>
#include <cstdio>
#include <deque>
#include <fstream>
#include <utility>

namespace korin {

namespace {

constexpr char kUsage[] =
    "usage: korin-log [--runs N] [--level error|warning|info] [--code N] [--raw]\n"
    "                 [--no-system-text] [FILE]\n"
    "Reads the update service's log (FILE, or where the service writes it on this\n"
    "machine) and prints each entry with what its code means, and a summary of\n"
    "each run: what started it and how it ended; when the server could not be\n"
    "reached, the machine's own log also names its WinHTTP proxy setting.\n"
    "  --runs N          only the last N runs\n"
    "  --level L         only entries of level L or worse\n"
    "  --code N          only entries with code N\n"
    "  --raw             the entries as written, without meanings or summaries\n"
    "  --no-system-text  system error codes without the system's text for them\n"
    "Exit status: 0 the whole log was read, 1 it stopped where the log stops making\n"
    "sense (the last line says where), 2 bad usage or no log to read.\n";

constexpr int kExitRead = 0;
constexpr int kExitStopped = 1;
constexpr int kExitUsage = 2;

struct Options {
    std::uint64_t runs = 0;  // 0: every run
    std::int32_t minLevel = 0;
    bool filterCode = false;
    std::int32_t code = 0;
    bool raw = false;
    bool systemText = true;
    std::string file;
};

int usage(const std::string& why) {
    std::fprintf(stderr, "korin-log: %s\n%s", why.c_str(), kUsage);
    return kExitUsage;
}

bool parseCount(const std::string& text, std::uint64_t limit, std::uint64_t& value) {
    if (text.empty() || text.size() > 10) {
        return false;
    }
    value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return value <= limit;
}

// nullopt after printing the usage.
std::optional<Options> parseOptions(const std::vector<std::string>& args, int& exitCode) {
    Options options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool hasValue = i + 1 < args.size();
        std::uint64_t number = 0;
        if (arg == "--runs" && hasValue && parseCount(args[i + 1], 1u << 30, number) &&
            number > 0) {
            options.runs = number;
            ++i;
        } else if (arg == "--level" && hasValue &&
                   (args[i + 1] == "info" || args[i + 1] == "warning" || args[i + 1] == "error")) {
            options.minLevel = args[i + 1] == "info" ? 0 : args[i + 1] == "warning" ? 1 : 2;
            ++i;
        } else if (arg == "--code" && hasValue && parseCount(args[i + 1], INT32_MAX, number)) {
            options.filterCode = true;
            options.code = static_cast<std::int32_t>(number);
            ++i;
        } else if (arg == "--raw") {
            options.raw = true;
        } else if (arg == "--no-system-text") {
            options.systemText = false;
        } else if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            exitCode = kExitRead;
            return std::nullopt;
        } else if (!arg.empty() && arg[0] != '-' && options.file.empty()) {
            options.file = arg;
        } else {
            exitCode = usage("unexpected argument '" + arg + "'");
            return std::nullopt;
        }
    }
    return options;
}

class PlatformNamer : public SystemErrorNamer {
  public:
    explicit PlatformNamer(bool enabled) : enabled_(enabled) {}
    std::string name(std::uint32_t code) const override {
        return enabled_ ? systemErrorText(code) : std::string();
    }

  private:
    bool enabled_;
};

// A run's lines while they wait to be printed (only with --runs, which
// prints the last runs once the log is read).
struct RunLines {
    std::uint64_t number = 0;
    std::vector<std::string> lines;
    bool printedEntry = false;
};

class Printer : public RunGrouper::Sink {
  public:
    Printer(const Options& options, std::string proxySetting)
        : options_(options), namer_(options.systemText), proxySetting_(std::move(proxySetting)) {}

    void entry(std::uint64_t run, const LogEntry& entry) override {
        if (entry.level < options_.minLevel ||
            (options_.filterCode && (!entry.hasCode || entry.code != options_.code))) {
            open(run);
            return;
        }
        RunLines& lines = open(run);
        lines.printedEntry = true;
        emit(lines, options_.raw ? entry.raw : describeEntry(entry, namer_));
    }

    void finished(std::uint64_t run, const RunFacts& facts, bool endOfLog) override {
        RunLines& lines = open(run);
        if (!options_.raw && (!options_.filterCode || lines.printedEntry)) {
            for (const std::string& line : runSummaryLines(run, facts, endOfLog, proxySetting_)) {
                emit(lines, line);
            }
        }
        if (options_.runs > 0) {
            kept_.push_back(std::move(lines));
            if (kept_.size() > options_.runs) {
                kept_.pop_front();
            }
        }
        open_.erase(std::find_if(open_.begin(), open_.end(),
                                 [run](const RunLines& other) { return other.number == run; }));
    }

    void printKept() {
        for (const RunLines& run : kept_) {
            for (const std::string& line : run.lines) {
                write(line);
            }
        }
    }

    void write(const std::string& line) {
        std::fwrite(line.data(), 1, line.size(), stdout);
        std::fputc('\n', stdout);
    }

  private:
    RunLines& open(std::uint64_t run) {
        for (RunLines& lines : open_) {
            if (lines.number == run) {
                return lines;
            }
        }
        open_.push_back(RunLines{run, {}, false});
        return open_.back();
    }

    void emit(RunLines& run, const std::string& line) {
        if (options_.runs > 0) {
            run.lines.push_back(line);
        } else {
            write(line);
        }
    }

    const Options& options_;
    PlatformNamer namer_;
    const std::string proxySetting_;
    std::deque<RunLines> open_;  // two at most: see RunGrouper
    std::deque<RunLines> kept_;
};

}  // namespace

int korinLogMain(const std::vector<std::string>& args) {
    int exitCode = kExitRead;
    const std::optional<Options> options = parseOptions(args, exitCode);
    if (!options) {
        return exitCode;
    }
    std::filesystem::path path;
    // This machine's proxy setting says something only about this machine's
    // own log, not about a log copied from elsewhere.
    std::string proxySetting;
    if (!options->file.empty()) {
        path = std::filesystem::path(std::u8string(options->file.begin(), options->file.end()));
    } else {
        std::string error;
        const std::optional<std::filesystem::path> place = defaultLogPath(error);
        if (!place) {
            std::fprintf(stderr, "korin-log: no log given, and %s\n", error.c_str());
            return kExitUsage;
        }
        path = *place;
        if (!options->raw) {
            proxySetting = machineProxySetting();
        }
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        const std::u8string name = path.u8string();
        std::fprintf(stderr, "korin-log: cannot open %s\n",
                     std::string(name.begin(), name.end()).c_str());
        return kExitUsage;
    }
    LogFileReader reader(in);
    Printer printer(*options, std::move(proxySetting));
    RunGrouper runs(printer);
    LogEntry entry;
    while (reader.next(entry)) {
        runs.add(entry);
    }
    runs.end();
    printer.printKept();
    if (reader.byteOrderMarks() > 0) {
        printer.write("-- " + std::to_string(reader.byteOrderMarks()) +
                      " stray byte-order mark(s) passed over");
    }
    if (!reader.stopReason().empty()) {
        printer.write("-- stopped: " + reader.stopReason());
        return kExitStopped;
    }
    return kExitRead;
}

}  // namespace korin

// libFuzzer target: any bytes as the service's log, read, grouped into runs
// and shown.

#include "korin_log/log_reader.h"

#include <algorithm>
#include <sstream>
#include <string>

namespace {

struct Namer : korin::SystemErrorNamer {
    std::string name(std::uint32_t) const override { return "named"; }
};

// What korin-log prints never carries a control character to the terminal.
void checkShown(const std::string& line) {
    for (char c : line) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            __builtin_trap();
        }
    }
}

struct Sink : korin::RunGrouper::Sink {
    void entry(std::uint64_t run, const korin::LogEntry& entry) override {
        if (run == 0 || (lastRun > 1 && run < lastRun - 1)) {
            __builtin_trap();  // at most two runs are ever open
        }
        lastRun = std::max(lastRun, run);
        checkShown(korin::describeEntry(entry, Namer{}));
        checkShown(entry.raw);
    }
    void finished(std::uint64_t run, const korin::RunFacts& facts, bool endOfLog) override {
        for (const std::string& line : korin::runSummaryLines(run, facts, endOfLog)) {
            checkShown(line);
        }
    }
    std::uint64_t lastRun = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    korin::LogFileReader reader(in);
    Sink sink;
    korin::RunGrouper runs(sink);
    korin::LogEntry entry;
    std::uint64_t line = 0;
    std::uint64_t offset = 0;
    while (reader.next(entry)) {
        // Lines in order, each starting past the one before, inside the input.
        if (entry.line != ++line || (line > 1 && entry.offset <= offset) || entry.offset >= size) {
            __builtin_trap();
        }
        offset = entry.offset;
        runs.add(entry);
    }
    runs.end();
    // A log read to its end is whole UTF-16: an even number of bytes.
    if (reader.stopReason().empty() && size % 2 != 0) {
        __builtin_trap();
    }
    return 0;
}

#pragma once

// What the benchmarks against the command line share: running a baseline,
// a random installer, each benchmark's median, and the peak memory.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <map>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace korin::bench {

// Runs a shell command line; a failure ends the benchmark (exit 2).
inline void run(const std::string& command) {
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "failed: %s\n", command.c_str());
        std::exit(2);
    }
}

// size bytes that compress as badly as a real installer.
inline void writeRandomFile(const std::filesystem::path& path, std::size_t size) {
    std::mt19937_64 random(1);
    std::vector<std::uint64_t> block(size / sizeof(std::uint64_t));
    for (auto& word : block) {
        word = random();
    }
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(size));
}

// Collects each benchmark's median time per iteration (all in one unit).
class Collector : public benchmark::ConsoleReporter {
  public:
    std::map<std::string, double> times;
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name != "median") {
                continue;
            }
            times[run.run_name.function_name] = run.GetAdjustedRealTime();
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

// Runs each benchmark five times in milliseconds of real time; the medians
// by name.
inline std::map<std::string, double> medianTimes(
    int& argc, char** argv,
    std::initializer_list<std::pair<const char*, void (*)(benchmark::State&)>> benchmarks) {
    for (const auto& [name, function] : benchmarks) {
        benchmark::RegisterBenchmark(name, function)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime()
            ->Repetitions(5)
            ->ReportAggregatesOnly(true);
    }
    benchmark::Initialize(&argc, argv);
    Collector collector;
    benchmark::RunSpecifiedBenchmarks(&collector);
    return collector.times;
}

// Forgets the peak resident memory so far.
inline void resetPeakResidentBytes() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

inline long peakResidentBytes() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return std::stol(line.substr(6)) * 1024L;
        }
    }
    return -1;
}

}  // namespace korin::bench

#pragma once

// What the benchmarks against the command line share: running a baseline,
// a random installer, each benchmark's median, and the peak memory; and the
// smoke run of `make test`: `--smoke` runs each benchmark once on small
// sizes and judges no goal, only that every benchmark ran without an error.

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
#include <string_view>
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

// Whether the arguments ask for the smoke run; the switch is taken out.
inline bool takeSmokeSwitch(int& argc, char** argv) {
    bool smoke = false;
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        if (std::string_view(argv[i]) == "--smoke") {
            smoke = true;
        } else {
            argv[kept++] = argv[i];
        }
    }
    argc = kept;
    argv[argc] = nullptr;
    return smoke;
}

// Benchmarks that reported an error (SkipWithError) so far.
inline int& failedBenchmarks() {
    static int failed = 0;
    return failed;
}

// The end of a smoke run: 0 when every benchmark and check ran.
inline int smokeResult(bool checksPassed) {
    const bool ok = checksPassed && failedBenchmarks() == 0;
    std::printf("\nsmoke run: %s (no goal judged)\n", ok ? "passed" : "FAILED");
    return ok ? 0 : 1;
}

// Collects each benchmark's median time per iteration (all in one unit).
class Collector : public benchmark::ConsoleReporter {
  public:
    std::map<std::string, double> times;
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.error_occurred) {
                ++failedBenchmarks();
            }
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name != "median") {
                continue;
            }
            times[run.run_name.function_name] = run.GetAdjustedRealTime();
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

// Runs each benchmark five times in milliseconds of real time (once, one
// iteration, in a smoke run); the medians by name.
inline std::map<std::string, double> medianTimes(
    int& argc, char** argv, bool smoke,
    std::initializer_list<std::pair<const char*, void (*)(benchmark::State&)>> benchmarks) {
    for (const auto& [name, function] : benchmarks) {
        auto* registered = benchmark::RegisterBenchmark(name, function)
                               ->Unit(benchmark::kMillisecond)
                               ->UseRealTime();
        if (smoke) {
            registered->Iterations(1);
        } else {
            registered->Repetitions(5)->ReportAggregatesOnly(true);
        }
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

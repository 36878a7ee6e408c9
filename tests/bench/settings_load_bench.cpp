// Loading the settings file must not search the store for every line's key.
// The baseline is a file of 500 distinct keys; a file of 64 times as many
// takes about 64 times as long, up to three times that once the store
// outgrows the caches, while a search per key makes it 4096 times. The ratio
// is judged against their geometric middle, 512: the caches stay well below
// it (150 to 210 here), a search per key well above (a planted one: 3655).
// `--smoke`: 50 and 200 keys, each once, no ratio judged.

#include "bench/bench_support.h"
#include "fakes/fake_platform.h"
#include "settings/settings_file.h"
#include "ground/text.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <map>
#include <string>

namespace {

constexpr wchar_t kPath[] = L"C:\\Windows\\SysWOW64\\Tervalon\\Korin\\zvs.cfg";
constexpr std::int64_t kBaseKeys = 500;
constexpr std::int64_t kGrowth = 64;
constexpr double kLinearRatio = kGrowth;
constexpr double kQuadraticRatio = kGrowth * kGrowth;
const double kMostAcceptedRatio = std::sqrt(kLinearRatio * kQuadraticRatio);

std::string settingsText(std::int64_t keys) {
    std::string text;
    for (std::int64_t i = 0; i < keys; ++i) {
        text += "SettingNumber" + std::to_string(i) + " = value of setting " + std::to_string(i) +
                "\r\n";
    }
    return text;
}

void loadSettings(benchmark::State& state) {
    korin::testing::FakePlatform fake;
    fake.files.putFile(kPath, settingsText(state.range(0)));
    const std::string path = korin::utf8FromWide(kPath);
    for (auto _ : state) {
        korin::SettingsFile file(fake.platform(), path);
        benchmark::DoNotOptimize(file.get("SettingNumber0"));
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

// Keeps the fastest repetition of each size.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.error_occurred) {
                ++korin::bench::failedBenchmarks();
            }
            if (run.run_type == Run::RT_Iteration && !run.error_occurred) {
                // CPU time: the machine may be shared with other work.
                const std::string name = run.run_name.function_name + "/" + run.run_name.args;
                const double time = run.GetAdjustedCPUTime();
                auto [slot, inserted] = fastest_.emplace(name, time);
                if (!inserted) {
                    slot->second = std::min(slot->second, time);
                }
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    double fastest(const std::string& name) const {
        auto found = fastest_.find(name);
        return found == fastest_.end() ? std::numeric_limits<double>::quiet_NaN() : found->second;
    }

  private:
    std::map<std::string, double> fastest_;
};

}  // namespace

int main(int argc, char** argv) {
    const bool smoke = korin::bench::takeSmokeSwitch(argc, argv);
    auto* registered =
        benchmark::RegisterBenchmark("loadSettings", loadSettings)->Unit(benchmark::kMillisecond);
    if (smoke) {
        registered->Arg(50)->Arg(200)->Iterations(1);
    } else {
        registered->Arg(kBaseKeys)->Arg(kBaseKeys * kGrowth)->Repetitions(5);
    }
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    if (smoke) {
        return korin::bench::smokeResult(true);
    }
    const double baseline = reporter.fastest("loadSettings/" + std::to_string(kBaseKeys));
    const double grown = reporter.fastest("loadSettings/" + std::to_string(kBaseKeys * kGrowth));
    const double ratio = grown / baseline;
    std::printf(
        "\nsettings load, %lld keys against the baseline of %lld keys: %.2f "
        "(linear: %.0f; a search per key: %.0f; accepted up to %.0f)\n",
        static_cast<long long>(kBaseKeys * kGrowth), static_cast<long long>(kBaseKeys), ratio,
        kLinearRatio, kQuadraticRatio, kMostAcceptedRatio);
    return ratio > 0 && ratio <= kMostAcceptedRatio ? 0 : 1;
}

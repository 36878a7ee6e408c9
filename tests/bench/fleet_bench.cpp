// korin-fleet forecast's speed: one million machines over 14 days against
// the linear extrapolation of 10,000 machines (x 100) and of 100,000 (x 10),
// and 100,000 machines over 56 days against 4 x 14 days, on two threads. The goal: the million in
// at most a minute on two cores (CPU seconds / 2, so that other work on the machine does not
// count), and a cost that grows linearly (every ratio at most 1.5). `--smoke` runs a tenth of the
// machines and judges nothing.

#include "bench/bench_support.h"
#include "fleet/fleet_file.h"
#include "fleet/forecast.h"
#include "fleet/published_tree.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using korin::bench::run;
using korin::bench::takeSmokeSwitch;

struct Timing {
    double wall = 0;
    double cpu = 0;
};

Timing timeForecast(const korin::fleet::FleetPlan& plan, korin::fleet::PublishedTree& tree,
                    std::uint64_t machines, std::uint32_t days = 14) {
    korin::fleet::ForecastRun forecast;
    forecast.machines = machines;
    forecast.days = days;
    forecast.threads = 2;
    const std::clock_t cpuBegan = std::clock();
    const auto began = std::chrono::steady_clock::now();
    const korin::fleet::ForecastResult result = korin::fleet::simulateFleet(plan, tree, forecast);
    Timing timing;
    timing.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    timing.cpu = static_cast<double>(std::clock() - cpuBegan) / CLOCKS_PER_SEC;
    std::printf(
        "%9llu machines x %2u days: %7.2f s wall, %7.2f s CPU (%llu cycles, %llu run by "
        "the program's code)\n",
        static_cast<unsigned long long>(machines), days, timing.wall, timing.cpu,
        static_cast<unsigned long long>(result.cycles),
        static_cast<unsigned long long>(result.cyclesRun));
    return timing;
}

}  // namespace

int main(int argc, char** argv) {
    const bool smoke = takeSmokeSwitch(argc, argv);
    const fs::path folder =
        fs::temp_directory_path() / ("korin-fleet-bench-" + std::to_string(getpid()));
    const std::string source = KORIN_SOURCE_DIR;
    const std::string bin = KORIN_BIN_DIR;
    run("'" + bin + "/korin-publish' '" + source + "/tools/fleet/demo_offer.txt' '" +
        (folder / "tree").string() + "' --installer '" + bin + "/korin-test-installer' >/dev/null");
    korin::fleet::PublishedTree tree;
    korin::fleet::FleetPlan plan = korin::fleet::defaultFleet();
    std::ifstream fleetFile(source + "/tools/fleet/demo_fleet.txt");
    std::ostringstream fleetText;
    fleetText << fleetFile.rdbuf();
    std::string error;
    if (!tree.load((folder / "tree").string(), error) ||
        !korin::fleet::parseFleetFile(fleetText.str(), plan, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        fs::remove_all(folder);
        return 2;
    }
    const std::uint64_t small = smoke ? 1000 : 10000;
    const Timing first = timeForecast(plan, tree, small);
    const Timing middle = timeForecast(plan, tree, small * 10);
    const Timing last = timeForecast(plan, tree, small * 100);
    const Timing longer = timeForecast(plan, tree, small * 10, 56);
    fs::remove_all(folder);

    // Each run pays once for the cycles the program runs for real (a few
    // hundred, each verifying a package), which a small run is mostly made
    // of; the ratio against the middle run shows the growth per machine.
    const double ratio = last.cpu / (first.cpu * 100);
    const double growth = last.cpu / (middle.cpu * 10);
    const double perDay = longer.cpu / (middle.cpu * 4);
    std::printf(
        "\n%llu machines against 100 x %llu (CPU time): ratio %.2f; against 10 x %llu: "
        "ratio %.2f\n56 days against 4 x 14: ratio %.2f\nwall %.2f s, CPU on two cores %.2f s\n",
        static_cast<unsigned long long>(small * 100), static_cast<unsigned long long>(small), ratio,
        static_cast<unsigned long long>(small * 10), growth, perDay, last.wall, last.cpu / 2);
    if (smoke) {
        std::printf("\nsmoke run: passed (no goal judged)\n");
        return 0;
    }
    const bool linear = ratio <= 1.5 && growth <= 1.5 && perDay <= 1.5;
    const bool fast = last.cpu / 2 <= 60;
    std::printf(
        "linear growth (every ratio <= 1.5): %s\none million in a minute on two cores: "
        "%s\n",
        linear ? "met" : "MISSED", fast ? "met" : "MISSED");
    return linear && fast ? 0 : 1;
}

#pragma once

// The fleet forecast: machine after machine, the program's own code decides
// when it runs and what it asks the update host for; the simulator models
// only what is not the program (when machines are on, the Task Scheduler's
// repetition and "start when available", installers finishing).

#include "fleet_file.h"
#include "published_tree.h"

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace korin::fleet {

struct ForecastResult {
    std::uint64_t machines = 0;
    int days = 0;
    std::uint32_t minutes = 0;
    // Requests per minute and tree object: minutes x targets, row by row.
    std::uint32_t targets = 0;
    std::vector<std::uint32_t> requests;
    // Machines that became updated, and that switched to notify mode, in
    // each minute; machines whose players were all current at the start.
    std::vector<std::uint32_t> updatedAt;
    std::vector<std::uint32_t> notifyAt;
    std::uint64_t updatedAtStart = 0;
    std::uint64_t machinesWithPlayers = 0;
    // Task runs that ran a cycle, and those whose cycle was the program's
    // code run anew (the rest replayed what that run did).
    std::uint64_t cycles = 0;
    std::uint64_t cyclesRun = 0;
    // Each machine's start minute (randomStartBoundary), for small fleets.
    std::vector<int> startMinutes;
    // Machines in notify mode at the end.
    std::uint64_t notifyMachines = 0;
};

struct ForecastRun {
    std::uint64_t machines = 0;
    int days = 14;
    int threads = 2;
    // The trace (one thread then), or null.
    std::ostream* trace = nullptr;
    // Keep each machine's start minute in the result.
    bool keepStartMinutes = false;
};

// Sets the process-wide run-time configuration of the fleet's Windows once,
// through the program's own start-up code; then simulates.
ForecastResult simulateFleet(const FleetPlan& plan, PublishedTree& tree, const ForecastRun& run);

// minutes.csv, summary.txt, peak-mix.txt and the plots into folder; false
// with error.
bool writeForecast(const ForecastResult& result, const PublishedTree& tree,
                   const std::string& folder, double seconds, std::string& error);

// `korin-fleet forecast ...`: the exit status.
int runForecastCommand(const std::vector<std::string>& args);

}  // namespace korin::fleet

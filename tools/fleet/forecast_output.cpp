// The forecast's files: the minutes, the summary, the peak minute's mix and
// the plots (gnuplot); and the forecast command.

#include "child_process.h"
#include "forecast.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <thread>

namespace korin::fleet {

namespace {

namespace fs = std::filesystem;

// Publishes a korin-publish description into outDir/tree with the installer
// in its packages, so the forecast counts the real packages' bytes; the
// publisher's output goes to outDir/publish.log. The tree's folder, or
// empty with the reason in error.
std::string publishDescription(const std::string& description, const std::string& installer,
                               const std::string& outDir, std::string& error) {
    std::error_code failure;
    const fs::path publisher =
        fs::read_symlink("/proc/self/exe", failure).parent_path() / "korin-publish";
    const std::string tree = (fs::path(outDir) / "tree").string();
    const std::string log = (fs::path(outDir) / "publish.log").string();
    fs::remove_all(tree, failure);
    std::string reason;
    UniqueProcess publish = startProcess(
        {publisher.string(), description, tree, "--installer", installer}, log, -1, reason);
    int status = 1;
    while (publish && !processFinished(publish, status)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (status != 0) {
        error = "korin-publish could not publish " + description +
                (reason.empty() ? " (see " + log + ")" : ": " + reason);
        return {};
    }
    return tree;
}

struct Minute {
    std::uint64_t kinds[kRequestKinds] = {};
    std::uint64_t requests = 0;
    std::uint64_t bytes = 0;
    double updatedShare = 0;
    std::uint64_t notify = 0;
};

std::vector<Minute> minutesOf(const ForecastResult& result, const PublishedTree& tree) {
    std::vector<Minute> minutes(result.minutes);
    std::uint64_t updated = result.updatedAtStart;
    std::uint64_t notify = 0;
    const double machines = result.machinesWithPlayers > 0 ? result.machinesWithPlayers : 1;
    for (std::uint32_t m = 0; m < result.minutes; ++m) {
        Minute& minute = minutes[m];
        const std::uint32_t* counts = &result.requests[std::size_t{m} * result.targets];
        for (std::uint32_t id = 0; id < result.targets; ++id) {
            if (counts[id] == 0) {
                continue;
            }
            const TreeObject& object = tree.object(id);
            minute.kinds[static_cast<int>(object.kind)] += counts[id];
            minute.requests += counts[id];
            minute.bytes += std::uint64_t{counts[id]} * object.body.size();
        }
        updated += result.updatedAt[m];
        notify += result.notifyAt[m];
        minute.updatedShare = updated / machines;
        minute.notify = notify;
    }
    return minutes;
}

// The first minute at which share reaches at least goal, or -1.
long firstMinuteAt(const std::vector<Minute>& minutes, double goal) {
    for (std::size_t m = 0; m < minutes.size(); ++m) {
        if (minutes[m].updatedShare >= goal) {
            return static_cast<long>(m);
        }
    }
    return -1;
}

bool runGnuplot(const fs::path& folder, const std::string& script, std::string& error) {
    const fs::path file = folder / "plots.gp";
    std::ofstream(file) << script;
    const std::string command = "cd '" + folder.string() + "' && gnuplot plots.gp";
    if (std::system(command.c_str()) != 0) {
        error = "gnuplot failed on " + file.string() + " (is gnuplot installed?)";
        return false;
    }
    return true;
}

}  // namespace

bool writeForecast(const ForecastResult& result, const PublishedTree& tree,
                   const std::string& folderName, double seconds, std::string& error) {
    const fs::path folder(folderName);
    std::error_code failure;
    fs::create_directories(folder, failure);
    const std::vector<Minute> minutes = minutesOf(result, tree);

    std::ofstream csv(folder / "minutes.csv");
    csv << "minute,current_major,version_manifest,patch_manifest,patch_package,full_package,"
           "requests,bytes,updated_share,notify_machines\n";
    std::size_t peak = 0;
    std::uint64_t peakBytes = 0;
    for (std::size_t m = 0; m < minutes.size(); ++m) {
        const Minute& minute = minutes[m];
        csv << m;
        for (int kind = 0; kind < 5; ++kind) {
            csv << ',' << minute.kinds[kind];
        }
        csv << ',' << minute.requests << ',' << minute.bytes << ',' << minute.updatedShare << ','
            << minute.notify << '\n';
        if (minute.requests > minutes[peak].requests) {
            peak = m;
        }
        peakBytes = std::max(peakBytes, minute.bytes);
    }
    if (!csv.flush()) {
        error = "cannot write " + (folder / "minutes.csv").string();
        return false;
    }

    const long half = firstMinuteAt(minutes, 0.5);
    const long most = firstMinuteAt(minutes, 0.9);
    const long nearlyAll = firstMinuteAt(minutes, 0.99);
    const Minute none;
    const Minute& top = minutes.empty() ? none : minutes[peak];
    std::ofstream summary(folder / "summary.txt");
    summary << "machines " << result.machines << "\n"
            << "days " << result.days << "\n"
            << "peak-minute " << peak << "\n"
            << "peak-requests-per-second " << top.requests / 60.0 << "\n"
            << "peak-bytes-per-second " << peakBytes / 60.0 << "\n"
            << "peak-minute-bytes-per-second " << top.bytes / 60.0 << "\n"
            << "updated-50-percent-minute " << half << "\n"
            << "updated-90-percent-minute " << most << "\n"
            << "updated-99-percent-minute " << nearlyAll << "\n"
            << "machines-with-players " << result.machinesWithPlayers << "\n"
            << "updated-share-end " << (minutes.empty() ? 0 : minutes.back().updatedShare) << "\n"
            << "notify-machines-end " << result.notifyMachines << "\n"
            << "cycles " << result.cycles << "\n"
            << "cycles-run-by-the-program " << result.cyclesRun << "\n"
            << "seconds " << seconds << "\n";

    std::vector<std::pair<std::uint32_t, std::string>> mix;
    if (!minutes.empty()) {
        const std::uint32_t* counts = &result.requests[peak * result.targets];
        for (std::uint32_t id = 0; id < result.targets; ++id) {
            if (counts[id] > 0) {
                mix.emplace_back(counts[id], tree.object(id).target);
            }
        }
    }
    std::sort(mix.begin(), mix.end(), [](const auto& a, const auto& b) {
        return a.first != b.first ? a.first > b.first : a.second < b.second;
    });
    std::ofstream peakMix(folder / "peak-mix.txt");
    for (const auto& [count, target] : mix) {
        peakMix << count << " " << target << "\n";
    }
    if (!summary.flush() || !peakMix.flush()) {
        error = "cannot write the summary into " + folder.string();
        return false;
    }

    // Hours since the release on every x axis.
    std::ostringstream script;
    script << "set terminal pngcairo size 1200,600\n"
              "set datafile separator ','\n"
              "set key off\nset grid\nset xlabel 'hours since the release'\n"
              "set output 'requests.png'\n"
              "set title 'Requests per second at the update host ("
           << result.machines << " machines)'\n"
           << "set ylabel 'requests per second'\n"
           << "set label 1 sprintf('peak %.1f/s at hour %.1f', " << top.requests / 60.0 << ", "
           << peak / 60.0 << ") at " << peak / 60.0 << "," << top.requests / 60.0
           << " point pt 7 ps 1.5 offset 1,0.5\n"
           << "plot 'minutes.csv' every ::1 using ($1/60):($7/60) with lines lw 1\n"
           << "unset label 1\n"
              "set output 'updated.png'\n"
              "set title 'Share of machines updated'\n"
              "set ylabel 'updated (%)'\nset yrange [0:100]\n";
    int label = 2;
    for (const auto& [goal, minute] : {std::pair{50, half}, {90, most}, {99, nearlyAll}}) {
        script << "set arrow " << label << " from graph 0, first " << goal << " to graph 1, first "
               << goal << " nohead dt 2\n";
        if (minute >= 0) {
            script << "set label " << label << " sprintf('" << goal << "%% at hour %.1f', "
                   << minute / 60.0 << ") at " << minute / 60.0 << "," << goal
                   << " point pt 7 offset 1,-1\n";
        }
        ++label;
    }
    script << "plot 'minutes.csv' every ::1 using ($1/60):($9*100) with lines lw 2\n"
              "unset label\nunset arrow\nset autoscale y\n"
              "set output 'notify.png'\n"
              "set title 'Machines switched to notify mode'\n"
              "set ylabel 'machines'\nset yrange [0:*]\n"
              "plot 'minutes.csv' every ::1 using ($1/60):10 with lines lw 2\n";
    return runGnuplot(folder, script.str(), error);
}

int runForecastCommand(const std::vector<std::string>& args) {
    const char* usage =
        "usage: korin-fleet forecast --machines N --days D --out DIR "
        "--offer TREE|DESCRIPTION [--installer FILE] [--fleet FILE] [--trace FILE] "
        "[--threads T]\n";
    std::uint64_t machines = 0;
    long days = 0, threads = 2;
    std::string out, fleetFile, offer, installer, traceFile;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& name = args[i];
        if (i + 1 >= args.size()) {
            std::cerr << "korin-fleet forecast: " << name << " takes a value\n" << usage;
            return 2;
        }
        const std::string& value = args[++i];
        char* end = nullptr;
        if (name == "--machines") {
            machines = std::strtoull(value.c_str(), &end, 10);
        } else if (name == "--days") {
            days = std::strtol(value.c_str(), &end, 10);
        } else if (name == "--threads") {
            threads = std::strtol(value.c_str(), &end, 10);
        } else if (name == "--out") {
            out = value;
        } else if (name == "--fleet") {
            fleetFile = value;
        } else if (name == "--offer") {
            offer = value;
        } else if (name == "--installer") {
            installer = value;
        } else if (name == "--trace") {
            traceFile = value;
        } else {
            std::cerr << "korin-fleet forecast: unknown option " << name << "\n" << usage;
            return 2;
        }
        if (end != nullptr && (*end != '\0' || value.empty())) {
            std::cerr << "korin-fleet forecast: " << name << " takes a number\n" << usage;
            return 2;
        }
    }
    if (machines == 0 || days <= 0 || days > 366 || threads <= 0 || threads > 256 || out.empty() ||
        offer.empty()) {
        std::cerr << usage;
        return 2;
    }
    FleetPlan plan = defaultFleet();
    if (!fleetFile.empty()) {
        std::ifstream in(fleetFile);
        std::ostringstream text;
        text << in.rdbuf();
        std::string error;
        if (!in || !parseFleetFile(text.str(), plan, error)) {
            std::cerr << "korin-fleet forecast: " << fleetFile << ": "
                      << (in ? error : "cannot be read") << "\n";
            return 2;
        }
    }
    PublishedTree tree;
    std::string error;
    std::error_code failure;
    if (fs::is_regular_file(offer, failure)) {
        if (installer.empty()) {
            std::cerr << "korin-fleet forecast: a description as the offer needs --installer "
                         "FILE, the installer its packages hold\n";
            return 2;
        }
        fs::create_directories(out, failure);
        offer = publishDescription(offer, installer, out, error);
        if (offer.empty()) {
            std::cerr << "korin-fleet forecast: " << error << "\n";
            return 1;
        }
    }
    if (!tree.load(offer, error)) {
        std::cerr << "korin-fleet forecast: " << error << "\n";
        return 2;
    }
    std::ofstream trace;
    ForecastRun run;
    run.machines = machines;
    run.days = static_cast<int>(days);
    run.threads = static_cast<int>(threads);
    if (!traceFile.empty()) {
        trace.open(traceFile);
        if (!trace) {
            std::cerr << "korin-fleet forecast: cannot write " << traceFile << "\n";
            return 1;
        }
        run.trace = &trace;
    }
    const auto began = std::chrono::steady_clock::now();
    const ForecastResult result = simulateFleet(plan, tree, run);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    if (!writeForecast(result, tree, out, seconds, error)) {
        std::cerr << "korin-fleet forecast: " << error << "\n";
        return 1;
    }
    std::cout << "forecast: " << machines << " machines, " << days << " days in " << seconds
              << " s (" << result.cycles << " cycles, " << result.cyclesRun
              << " run by the program's code); " << out << "/summary.txt\n";
    return 0;
}

}  // namespace korin::fleet

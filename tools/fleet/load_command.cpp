#include "fleet/load_command.h"

#include "fleet/child_process.h"

#include <sched.h>
#include <signal.h>
#include <stdlib.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <thread>

namespace korin::fleet {

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr std::uint64_t kMostRequests = 1'000'000'000'000;
// nginx_update_host.sh gives its one worker 64 connections; wrk's must fit.
constexpr int kMostConnections = 60;
// Off 443, where the tests' servers wait for each other.
constexpr char kPort[] = "8443";
constexpr char kHost[] = "update.korinplayer.example";

bool parseCount(const std::string& text, std::uint64_t& value) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size();
}

// A path of the tree as a client sends it: printable, no blank, no way out.
bool isTreeTarget(const std::string& target) {
    if (target.empty() || target[0] != '/' || target.find("/../") != std::string::npos ||
        target.ends_with("/..")) {
        return false;
    }
    for (const char c : target) {
        if (c <= ' ' || c > '~') {
            return false;
        }
    }
    return true;
}

std::string luaString(const std::string& text) {
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            quoted += '\\';
        }
        quoted += c;
    }
    return quoted + "\"";
}

// Smooth weighted round robin: every run of `total` requests holds each
// target exactly `count` times, spread out rather than in blocks.
std::string wrkScript(const std::vector<MixEntry>& mix) {
    std::string targets, counts;
    for (const MixEntry& entry : mix) {
        targets += "  " + luaString(entry.target) + ",\n";
        counts += std::to_string(entry.count) + ", ";
    }
    return "wrk.headers[\"Host\"] = " + luaString(kHost) + "\nlocal targets = {\n" + targets +
           "}\nlocal counts = {" + counts +
           "}\n"
           "local requests, current, total = {}, {}, 0\n"
           "for i = 1, #targets do\n"
           "  requests[i] = wrk.format(\"GET\", targets[i])\n"
           "  current[i] = 0\n"
           "  total = total + counts[i]\n"
           "end\n"
           "function request()\n"
           "  local best = 1\n"
           "  for i = 1, #counts do\n"
           "    current[i] = current[i] + counts[i]\n"
           "    if current[i] > current[best] then best = i end\n"
           "  end\n"
           "  current[best] = current[best] - total\n"
           "  return requests[best]\n"
           "end\n"
           "function done(summary, latency, requests)\n"
           "  local e = summary.errors\n"
           "  io.write(string.format(\"korin-load %d %d %d %d %d %d %d %d\\n\", summary.requests,\n"
           "    summary.bytes, summary.duration, e.connect, e.read, e.write, e.status, "
           "e.timeout))\n"
           "end\n";
}

bool readText(const fs::path& path, std::string& text) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    text = content.str();
    return static_cast<bool>(in);
}

volatile sig_atomic_t interrupted = 0;

// Ctrl-C or a TERM ends the run through the owners, which stop what it started.
class InterruptGuard {
  public:
    InterruptGuard() {
        struct sigaction action {};
        action.sa_handler = [](int) { interrupted = 1; };
        sigemptyset(&action.sa_mask);
        for (int i = 0; i < 3; ++i) {
            sigaction(kSignals[i], &action, &previous_[i]);
        }
    }
    ~InterruptGuard() {
        for (int i = 0; i < 3; ++i) {
            sigaction(kSignals[i], &previous_[i], nullptr);
        }
    }
    InterruptGuard(const InterruptGuard&) = delete;
    InterruptGuard& operator=(const InterruptGuard&) = delete;

  private:
    static constexpr int kSignals[3] = {SIGINT, SIGTERM, SIGHUP};
    struct sigaction previous_[3]{};
};

class WorkFolder {
  public:
    explicit WorkFolder(std::string& error) {
        std::error_code code;
        std::string pattern = (fs::temp_directory_path(code) / "korin-fleet-load.XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            error = "cannot make a work folder " + pattern;
            return;
        }
        path_ = pattern;
    }
    ~WorkFolder() {
        std::error_code code;
        if (!path_.empty()) {
            fs::remove_all(path_, code);
        }
    }
    WorkFolder(const WorkFolder&) = delete;
    WorkFolder& operator=(const WorkFolder&) = delete;
    const fs::path& path() const { return path_; }

  private:
    fs::path path_;
};

struct Options {
    std::string tree, mix, forecast;
    std::uint64_t seconds = 10, connections = 16, threads = 1;
    double headroom = 0.5;
};

constexpr char kUsage[] =
    "usage: korin-fleet load --tree DIR --mix FILE [--seconds S] [--connections C]\n"
    "                        [--threads T] [--forecast DIR] [--headroom H]\n";

bool parseOptions(const std::vector<std::string>& args, Options& options, std::string& error) {
    for (std::size_t i = 0; i < args.size(); i += 2) {
        const std::string& name = args[i];
        if (i + 1 >= args.size()) {
            error = name + " needs a value";
            return false;
        }
        const std::string& value = args[i + 1];
        const auto number = [&](std::uint64_t& out, std::uint64_t most) {
            if (!parseCount(value, out) || out < 1 || out > most) {
                error = name + " takes a whole number from 1 to " + std::to_string(most);
                return false;
            }
            return true;
        };
        if (name == "--tree") {
            options.tree = value;
        } else if (name == "--mix") {
            options.mix = value;
        } else if (name == "--forecast") {
            options.forecast = value;
        } else if (name == "--seconds") {
            if (!number(options.seconds, 600))
                return false;
        } else if (name == "--connections") {
            if (!number(options.connections, kMostConnections))
                return false;
        } else if (name == "--threads") {
            if (!number(options.threads, 16))
                return false;
        } else if (name == "--headroom") {
            const auto [end, code] =
                std::from_chars(value.data(), value.data() + value.size(), options.headroom);
            if (code != std::errc() || end != value.data() + value.size() ||
                !(options.headroom >= 0 && options.headroom < 1)) {
                error = "--headroom takes a share from 0 up to (not including) 1";
                return false;
            }
        } else {
            error = "unknown option " + name;
            return false;
        }
    }
    if (options.tree.empty() || options.mix.empty()) {
        error = "--tree and --mix are needed";
        return false;
    }
    if (options.threads > options.connections) {
        error = "--threads cannot exceed --connections";
        return false;
    }
    return true;
}

// Waits for done() until the deadline; false (with the reason) on an interrupt
// or when the deadline passes.
template <typename Done>
bool waitFor(Done done, Clock::time_point deadline, const std::string& what, std::string& error) {
    while (!done()) {
        if (interrupted) {
            error = "interrupted while waiting for " + what;
            return false;
        }
        if (Clock::now() >= deadline) {
            error = "gave up waiting for " + what;
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

struct Measured {
    std::uint64_t requests = 0, bytes = 0;
    double seconds = 0, cpuSeconds = 0;
    std::uint64_t served = 0, refused = 0;  // from nginx's access log
};

// The run itself; a failure is described in error, what was started is
// stopped by the owners on the way out.
bool measure(const Options& options, const std::vector<MixEntry>& mix, Measured& result,
             std::string& address, std::string& placement, std::string& error) {
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(options.seconds + 60);
    WorkFolder work(error);
    if (work.path().empty()) {
        return false;
    }
    const fs::path certs = work.path() / "certs";
    int status = 0;
    {
        UniqueProcess make = startProcess({KORIN_MAKE_CERTIFICATES, certs.string()},
                                          (work.path() / "certs.log").string(), -1, error);
        if (!make || !waitFor([&] { return processFinished(make, status); }, deadline,
                              "the certificates", error)) {
            return false;
        }
        if (status != 0) {
            error = std::string("making the certificates failed: ") + KORIN_MAKE_CERTIFICATES;
            return false;
        }
    }
    std::ofstream(work.path() / "mix.lua") << wrkScript(mix);

    cpu_set_t allowed;
    CPU_ZERO(&allowed);
    sched_getaffinity(0, sizeof allowed, &allowed);
    std::vector<int> cpus;
    for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
        if (CPU_ISSET(cpu, &allowed)) {
            cpus.push_back(cpu);
        }
    }
    const int hostCpu = cpus.size() >= 2 ? cpus[0] : -1;
    const int loadCpu = cpus.size() >= 2 ? cpus[1] : -1;
    const std::string wrkSide = "wrk: " + std::to_string(options.threads) + " thread(s), " +
                                std::to_string(options.connections) + " keep-alive connections";
    placement = hostCpu < 0 ? "nginx: 1 worker; " + wrkSide + "; both on the one CPU allowed"
                            : "nginx: 1 worker on CPU " + std::to_string(hostCpu) + "; " + wrkSide +
                                  " on CPU " + std::to_string(loadCpu);

    const fs::path ready = work.path() / "ready";
    const fs::path nginxLog = work.path() / "nginx.log";
    UniqueProcess host = startProcess(
        {KORIN_NGINX_UPDATE_HOST, "--root", options.tree, "--cert", (certs / "server.pem").string(),
         "--key", (certs / "server.key").string(), "--address", "auto", "--port", kPort,
         "--ready-file", ready.string(), "--work", (work.path() / "nginx").string()},
        nginxLog.string(), hostCpu, error);
    if (!host) {
        return false;
    }
    const auto hostEnded = [&] {
        if (processFinished(host, status)) {
            std::string log;
            readText(nginxLog, log);
            error = "the nginx update host stopped (exit status " + std::to_string(status) +
                    "):\n" + log;
            return true;
        }
        return false;
    };
    const Clock::time_point startBy = std::min(deadline, Clock::now() + std::chrono::seconds(15));
    if (!waitFor([&] { return fs::exists(ready) || hostEnded(); }, startBy, "nginx to listen",
                 error) ||
        !host) {
        return false;
    }
    readText(ready, address);
    address = address.substr(0, address.find('\n')) + ":" + kPort;

    const double cpuBefore = treeCpuSeconds(host.get());
    const fs::path wrkOutput = work.path() / "wrk.txt";
    UniqueProcess load =
        startProcess({"wrk", "--threads", std::to_string(options.threads), "--connections",
                      std::to_string(options.connections), "--duration",
                      std::to_string(options.seconds) + "s", "--timeout", "10s", "--script",
                      (work.path() / "mix.lua").string(), "https://" + address + "/"},
                     wrkOutput.string(), loadCpu, error);
    if (!load) {
        error += " (wrk comes with `make deps`)";
        return false;
    }
    if (!waitFor([&] { return processFinished(load, status) || hostEnded(); }, deadline, "wrk",
                 error) ||
        !host) {
        return false;
    }
    result.cpuSeconds = treeCpuSeconds(host.get()) - cpuBefore;
    host.reset();

    std::string output;
    readText(wrkOutput, output);
    const std::size_t line = output.find("korin-load ");
    std::uint64_t duration = 0, connect = 0, read = 0, write = 0, answers = 0, timeouts = 0;
    if (status != 0 || line == std::string::npos ||
        !(std::istringstream(output.substr(line + 11)) >> result.requests >> result.bytes >>
          duration >> connect >> read >> write >> answers >> timeouts) ||
        duration == 0) {
        error = "wrk failed (exit status " + std::to_string(status) + "):\n" + output;
        return false;
    }
    if (connect + read + write + timeouts > 0 || answers > 0) {
        error = "errors under load: " + std::to_string(answers) + " answers of 400 or above, " +
                "socket errors: connect " + std::to_string(connect) + ", read " +
                std::to_string(read) + ", write " + std::to_string(write) + ", timeout " +
                std::to_string(timeouts) + "\n" + output;
        return false;
    }
    result.seconds = static_cast<double>(duration) / 1e6;

    // nginx's own account: every request it logged must have been a 200.
    std::ifstream log(work.path() / "nginx" / "access.log");
    std::string method, target, code;
    while (log >> method >> target >> code) {
        ++result.served;
        result.refused += code != "200";
    }
    if (result.refused > 0 || result.served < result.requests) {
        error = "nginx logged " + std::to_string(result.served) + " requests, " +
                std::to_string(result.refused) + " of them not answered 200";
        return false;
    }
    return true;
}

std::string fixed(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

}  // namespace

bool parseMix(const std::string& text, std::vector<MixEntry>& mix, std::string& error) {
    mix.clear();
    std::map<std::string, std::size_t> index;
    std::istringstream lines(text);
    std::string line;
    for (int number = 1; std::getline(lines, line); ++number) {
        std::istringstream words(line);
        std::string count, target, extra;
        if (!(words >> count) || count[0] == '#') {
            continue;
        }
        const std::string where = "line " + std::to_string(number) + ": ";
        MixEntry entry;
        if (!parseCount(count, entry.count) || entry.count == 0 || entry.count > kMostRequests) {
            error = where + "a count of requests from 1 to 10^12 comes first";
            return false;
        }
        if (!(words >> target) || (words >> extra)) {
            error = where + "one target follows the count";
            return false;
        }
        if (!isTreeTarget(target)) {
            error = where + "the target is not a path of the tree (/pub/...)";
            return false;
        }
        const auto [found, added] = index.emplace(target, mix.size());
        if (added) {
            entry.target = target;
            mix.push_back(entry);
        } else {
            mix[found->second].count += entry.count;
        }
    }
    if (mix.empty()) {
        error = "no requests in the mix";
        return false;
    }
    return true;
}

bool parseForecastSummary(const std::string& text, ForecastPeak& peak, std::string& error) {
    std::map<std::string, std::string> values;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::string key, value;
        if (words >> key >> value) {
            values[key] = value;
        }
    }
    const auto number = [&](const char* key, double& out) {
        const std::string& value = values[key];
        const auto [end, code] = std::from_chars(value.data(), value.data() + value.size(), out);
        if (value.empty() || code != std::errc() || end != value.data() + value.size() ||
            !(out >= 0 && out < 1e18)) {
            error = std::string("summary.txt has no number for ") + key;
            return false;
        }
        return true;
    };
    double machines = 0;
    if (!number("machines", machines) ||
        !number("peak-requests-per-second", peak.requestsPerSecond) ||
        !number("peak-bytes-per-second", peak.bytesPerSecond)) {
        return false;
    }
    peak.machines = static_cast<std::uint64_t>(machines);
    return true;
}

HostsNeeded hostsNeeded(const ForecastPeak& peak, double requestsPerSecondPerHost,
                        double bytesPerSecondPerHost, double headroom) {
    const double usable = 1 - headroom;
    // Rounded up, but a quotient that is whole save for rounding error stays whole.
    const auto hosts = [&](double load, double capacity) {
        return static_cast<std::uint64_t>(std::ceil(load / (capacity * usable) - 1e-9));
    };
    HostsNeeded needed;
    needed.forRequests = hosts(peak.requestsPerSecond, requestsPerSecondPerHost);
    needed.forBytes = hosts(peak.bytesPerSecond, bytesPerSecondPerHost);
    needed.hosts = std::max<std::uint64_t>({needed.forRequests, needed.forBytes, 1});
    needed.cdnMegabitsPerSecond = peak.bytesPerSecond * 8 / 1e6 / usable;
    return needed;
}

}  // namespace korin::fleet

int runLoadCommand(const std::vector<std::string>& args) {
    using namespace korin::fleet;
    Options options;
    std::string error;
    if (!parseOptions(args, options, error)) {
        std::cerr << "korin-fleet load: " << error << "\n" << kUsage;
        return 2;
    }
    std::string text;
    std::vector<MixEntry> mix;
    if (!readText(options.mix, text)) {
        std::cerr << "korin-fleet load: cannot read " << options.mix << "\n";
        return 2;
    }
    if (!parseMix(text, mix, error)) {
        std::cerr << "korin-fleet load: " << options.mix << ": " << error << "\n";
        return 2;
    }
    for (const MixEntry& entry : mix) {
        if (!fs::is_regular_file(fs::path(options.tree) / entry.target.substr(1))) {
            std::cerr << "korin-fleet load: " << entry.target << " is not a file in "
                      << options.tree << "\n";
            return 2;
        }
    }
    ForecastPeak peak;
    if (!options.forecast.empty()) {
        const fs::path summary = fs::path(options.forecast) / "summary.txt";
        if (!readText(summary, text) || !parseForecastSummary(text, peak, error)) {
            std::cerr << "korin-fleet load: " << summary.string() << ": "
                      << (error.empty() ? "cannot be read" : error) << "\n";
            return 2;
        }
    }

    InterruptGuard guard;
    Measured measured;
    std::string address, placement;
    if (!measure(options, mix, measured, address, placement, error)) {
        std::cerr << "korin-fleet load: " << error << "\n";
        return 1;
    }
    const double perSecond = static_cast<double>(measured.requests) / measured.seconds;
    const double bytesPerSecond = static_cast<double>(measured.bytes) / measured.seconds;
    // One worker: the CPU time it used is the share of one core the load took.
    const double busy = std::max(measured.cpuSeconds, 0.01);
    const double perCore = static_cast<double>(measured.requests) / busy;
    const double bytesPerCore = static_cast<double>(measured.bytes) / busy;
    std::cout << "korin-fleet load: " << mix.size() << " targets over https://" << address
              << " for " << options.seconds << " s; " << placement << "\n"
              << "requests " << measured.requests << "\n"
              << "errors 0\n"
              << "seconds " << fixed(measured.seconds, 2) << "\n"
              << "requests-per-second " << fixed(perSecond, 0) << "\n"
              << "bytes-per-second " << fixed(bytesPerSecond, 0) << "\n"
              << "nginx-cpu-seconds " << fixed(measured.cpuSeconds, 2) << "\n"
              << "nginx-core-busy " << fixed(measured.cpuSeconds / measured.seconds, 2) << "\n"
              << "requests-per-second-per-core " << fixed(perCore, 0) << "\n"
              << "bytes-per-second-per-core " << fixed(bytesPerCore, 0) << "\n";
    if (measured.cpuSeconds < 0.8 * measured.seconds) {
        std::cout << "nginx's core was not saturated: the load generator or the other work on "
                     "this machine held the rate; per core is from nginx's own CPU time\n";
    }
    if (!options.forecast.empty()) {
        const HostsNeeded needed = hostsNeeded(peak, perCore, bytesPerCore, options.headroom);
        std::cout << "forecast-machines " << peak.machines << "\n"
                  << "peak-requests-per-second " << fixed(peak.requestsPerSecond, 1) << "\n"
                  << "peak-bytes-per-second " << fixed(peak.bytesPerSecond, 0) << "\n"
                  << "headroom " << fixed(options.headroom, 2) << "\n"
                  << "hosts-for-requests " << needed.forRequests << "\n"
                  << "hosts-for-bytes " << needed.forBytes << "\n"
                  << "hosts " << needed.hosts << "\n"
                  << "cdn-megabits-per-second " << fixed(needed.cdnMegabitsPerSecond, 1) << "\n"
                  << "For " << peak.machines << " machines: " << needed.hosts
                  << " update host(s) of one nginx worker on one core like this one, or a CDN "
                     "carrying "
                  << fixed(needed.cdnMegabitsPerSecond, 1) << " Mbit/s, hold the peak with "
                  << fixed(options.headroom * 100, 0) << " % headroom.\n";
    }
    return 0;
}

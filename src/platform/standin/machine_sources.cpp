#include "platform/standin/machine_sources.h"

#include "platform/standin/seeded_random.h"
#include "platform/unique_resource.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <sstream>

namespace korin::standin {

namespace {

constexpr std::int64_t kEpochDifferenceSeconds = 11644473600;
constexpr std::uint64_t kTicksPerSecond = 10'000'000;

struct DescriptorTraits {
    static int invalid() { return -1; }
    void close(int fd) const { ::close(fd); }
};
using UniqueDescriptor = UniqueResource<int, DescriptorTraits>;

std::string clockFile(const Machine& machine) {
    return machine.root() + "/clock";
}
std::string randomFile(const Machine& machine) {
    return machine.root() + "/random-state";
}

std::optional<std::uint64_t> parseNumber(const std::string& text) {
    std::uint64_t value = 0;
    const char* end = text.data() + text.size();
    const auto [at, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc() || at == text.data() || (at != end && std::string(at, end) != "\n")) {
        return std::nullopt;
    }
    return value;
}

// Exactly count decimal digits at a place in text.
bool digitsAt(const std::string& text, std::size_t at, std::size_t count, unsigned& value) {
    if (at + count > text.size()) {
        return false;
    }
    value = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return false;
        }
        value = value * 10 + static_cast<unsigned>(text[i] - '0');
    }
    return true;
}

bool removeFile(const std::string& file) {
    return unlink(file.c_str()) == 0 || errno == ENOENT;
}

// The random state file opened and locked (flock, held until the descriptor
// closes); invalid when it is not there.
UniqueDescriptor lockedState(const Machine& machine, bool create) {
    UniqueDescriptor fd(
        ::open(randomFile(machine).c_str(), O_RDWR | O_CLOEXEC | (create ? O_CREAT : 0), 0644));
    while (fd && flock(fd.get(), LOCK_EX) != 0) {
        if (errno != EINTR) {
            return {};
        }
    }
    return fd;
}

std::optional<std::uint64_t> readState(int fd) {
    char buffer[32];
    const ssize_t size = pread(fd, buffer, sizeof buffer, 0);
    if (size <= 0) {
        return std::nullopt;
    }
    return parseNumber(std::string(buffer, static_cast<std::size_t>(size)));
}

bool writeState(int fd, std::uint64_t state) {
    const std::string text = std::to_string(state) + "\n";
    return pwrite(fd, text.data(), text.size(), 0) == static_cast<ssize_t>(text.size()) &&
           ftruncate(fd, static_cast<off_t>(text.size())) == 0;
}

}  // namespace

std::optional<std::uint64_t> setClockTime(const Machine& machine) {
    std::ifstream in(clockFile(machine));
    if (!in) {
        return std::nullopt;
    }
    std::ostringstream text;
    text << in.rdbuf();
    return parseNumber(text.str());
}

bool setClock(const Machine& machine, std::uint64_t fileTime) {
    return replaceMachineFile(clockFile(machine), std::to_string(fileTime) + "\n");
}

bool resetClock(const Machine& machine) {
    return removeFile(clockFile(machine));
}

std::optional<std::uint64_t> parseClockTime(const std::string& text) {
    unsigned year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    if (text.size() < 17 || !digitsAt(text, 0, 4, year) || text[4] != '-' ||
        !digitsAt(text, 5, 2, month) || text[7] != '-' || !digitsAt(text, 8, 2, day) ||
        text[10] != 'T' || !digitsAt(text, 11, 2, hour) || text[13] != ':' ||
        !digitsAt(text, 14, 2, minute)) {
        return std::nullopt;
    }
    std::size_t at = 16;
    std::uint64_t fraction = 0;
    if (text[at] == ':') {
        if (!digitsAt(text, at + 1, 2, second)) {
            return std::nullopt;
        }
        at += 3;
        if (at < text.size() && text[at] == '.') {
            std::size_t count = 0;
            for (++at; count < 7 && at < text.size() && text[at] >= '0' && text[at] <= '9';
                 ++at, ++count) {
                fraction = fraction * 10 + static_cast<unsigned>(text[at] - '0');
            }
            if (count == 0) {
                return std::nullopt;
            }
            for (; count < 7; ++count) {
                fraction *= 10;
            }
        }
    }
    if (at + 1 != text.size() || text[at] != 'Z' || year < 1601 || hour > 23 || minute > 59 ||
        second > 59) {
        return std::nullopt;
    }
    tm parts{};
    parts.tm_year = static_cast<int>(year) - 1900;
    parts.tm_mon = static_cast<int>(month) - 1;
    parts.tm_mday = static_cast<int>(day);
    parts.tm_hour = static_cast<int>(hour);
    parts.tm_min = static_cast<int>(minute);
    parts.tm_sec = static_cast<int>(second);
    const time_t seconds = timegm(&parts);
    // timegm carries an impossible day into the next month: refuse it.
    tm check{};
    if (gmtime_r(&seconds, &check) == nullptr || check.tm_mday != static_cast<int>(day) ||
        check.tm_mon != static_cast<int>(month) - 1) {
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(seconds + kEpochDifferenceSeconds) * kTicksPerSecond +
           fraction;
}

std::string formatClockTime(std::uint64_t fileTime) {
    const time_t seconds = static_cast<time_t>(
        static_cast<std::int64_t>(fileTime / kTicksPerSecond) - kEpochDifferenceSeconds);
    tm parts{};
    gmtime_r(&seconds, &parts);
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", parts.tm_year + 1900,
                  parts.tm_mon + 1, parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec);
    std::string result = text;
    if (const std::uint64_t fraction = fileTime % kTicksPerSecond; fraction != 0) {
        std::snprintf(text, sizeof text, ".%07llu", static_cast<unsigned long long>(fraction));
        result += text;
    }
    return result + "Z";
}

bool seedRandom(const Machine& machine, std::uint64_t seed) {
    const UniqueDescriptor fd = lockedState(machine, true);
    return fd && writeState(fd.get(), seed);
}

bool resetRandom(const Machine& machine) {
    return removeFile(randomFile(machine));
}

std::optional<std::uint64_t> randomState(const Machine& machine) {
    const UniqueDescriptor fd = lockedState(machine, false);
    return fd ? readState(fd.get()) : std::nullopt;
}

SeededDraw drawSeeded(const Machine& machine, std::uint32_t& value) {
    const UniqueDescriptor fd = lockedState(machine, false);
    if (!fd) {
        return errno == ENOENT ? SeededDraw::Unseeded : SeededDraw::Failed;
    }
    const auto state = readState(fd.get());
    if (!state) {
        return SeededDraw::Failed;
    }
    SeededRandom source(*state);
    const std::uint32_t drawn = source.next();
    if (!writeState(fd.get(), source.state())) {
        return SeededDraw::Failed;
    }
    value = drawn;
    return SeededDraw::Drawn;
}

}  // namespace korin::standin

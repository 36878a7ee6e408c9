#pragma once

// The fleet file of `korin-fleet forecast`: who the machines are, when they
// are on, what they have installed and how installers behave. One
// `key values...` statement a line, `#` starts a comment (docs/PUBLISHING.md,
// "Forecasting a release").

#include <cstdint>
#include <string>
#include <vector>

namespace korin::fleet {

// An office-hours share: on from startHour to endHour local time on weekdays,
// each machine starting and stopping within the hour after those.
struct OfficeShare {
    double share = 0;
    int utcOffsetMinutes = 0;
    int startHour = 9;
    int endHour = 17;
};

// A share of machines with one player type at one version. The lines of one
// type split the machines; the rest has no player of that type.
struct InstalledShare {
    int type = 0;  // 0 ActiveX, 1 Plugin, 2 Pepper
    std::string version;
    double share = 0;
};

// The content of a player's installed file at a version, so that its digest
// can match a patch entry.
struct PlayerFile {
    int type = 0;
    std::string version;
    std::string content;
};

struct FleetPlan {
    std::uint64_t seed = 1;
    // The release time, UTC, as a FILETIME.
    std::uint64_t start = 0;
    double alwaysOn = 1.0;
    std::vector<OfficeShare> office;
    std::vector<InstalledShare> installed;
    std::vector<PlayerFile> playerFiles;
    double installerFailure = 0;
    int installDelayMinutes = 5;
    int clockOffsetSeconds = 0;
    // Before the release, the last check lies up to this many hours back
    // (0: every machine as right after -install, due at once).
    int lastCheckSpreadHours = 0;
    // The CheckFrequency machines hold from the offer before.
    int checkFrequencyBefore = 1;
    // The Windows of every machine: "10" (64-bit 10.0), "6.1" (64-bit 7),
    // "6.1-32" (32-bit 7), "5.1" (32-bit XP).
    std::string windows = "10";
};

// The default fleet: always on, one Plugin player at 31.0.0.100, seed 1,
// starting 2026-01-05T10:00Z.
FleetPlan defaultFleet();

// Reads a fleet file's text over the defaults; false with error naming the
// line and what is wrong.
bool parseFleetFile(const std::string& text, FleetPlan& plan, std::string& error);

// "YYYY-MM-DDTHH:MMZ" as a FILETIME; false when it is not that.
bool parseUtcMinute(const std::string& text, std::uint64_t& filetime);

// Calendar helpers in FILETIME units.
inline constexpr std::uint64_t kFileTimeMinute = 600000000ull;
inline constexpr std::uint64_t kFileTimeHour = 60 * kFileTimeMinute;
std::uint64_t fileTimeOf(int year, int month, int day, int hour, int minute);
// 0 Sunday .. 6 Saturday.
int dayOfWeek(std::uint64_t filetime);

}  // namespace korin::fleet

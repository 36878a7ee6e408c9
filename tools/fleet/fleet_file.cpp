#include "fleet_file.h"

#include <cmath>
#include <cstdlib>
#include <sstream>

namespace korin::fleet {

namespace {

// Days since 1601-01-01 of a proleptic Gregorian date.
std::int64_t daysSince1601(int year, int month, int day) {
    const int y = year - (month <= 2 ? 1 : 0);
    const int era = (y >= 0 ? y : y - 399) / 400;
    const int yearOfEra = y - era * 400;
    const int dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    const std::int64_t sinceEpoch1970 = std::int64_t{era} * 146097 + dayOfEra - 719468;
    return sinceEpoch1970 + 134774;  // 1601-01-01 to 1970-01-01
}

bool wholeNumber(const std::string& word, long long low, long long high, long long& value) {
    if (word.empty()) {
        return false;
    }
    char* end = nullptr;
    value = std::strtoll(word.c_str(), &end, 10);
    return *end == '\0' && value >= low && value <= high;
}

bool unsigned64(const std::string& word, std::uint64_t& value) {
    if (word.empty() || word[0] == '-') {
        return false;
    }
    char* end = nullptr;
    value = std::strtoull(word.c_str(), &end, 10);
    return *end == '\0';
}

bool shareOf(const std::string& word, double& share) {
    if (word.empty()) {
        return false;
    }
    char* end = nullptr;
    share = std::strtod(word.c_str(), &end);
    return *end == '\0' && share >= 0 && share <= 1;
}

bool playerType(const std::string& word, int& type) {
    static const char* const kTypes[] = {"ActiveX", "Plugin", "Pepper"};
    for (int i = 0; i < 3; ++i) {
        if (word == kTypes[i]) {
            type = i;
            return true;
        }
    }
    return false;
}

// Four decimal numbers with three dots.
bool dottedVersion(const std::string& word) {
    int dots = 0;
    bool digit = false;
    for (char c : word) {
        if (c == '.') {
            if (!digit) {
                return false;
            }
            ++dots;
            digit = false;
        } else if (c >= '0' && c <= '9') {
            digit = true;
        } else {
            return false;
        }
    }
    return dots == 3 && digit;
}

// One statement into plan; the reason when it is refused.
std::string applyStatement(const std::vector<std::string>& words, FleetPlan& plan,
                           std::vector<InstalledShare>& installed) {
    const std::string& key = words[0];
    const std::size_t count = words.size() - 1;
    long long number = 0;
    if (key == "seed") {
        return count == 1 && unsigned64(words[1], plan.seed) ? "" : "seed takes one number";
    }
    if (key == "start") {
        return count == 1 && parseUtcMinute(words[1], plan.start)
                   ? ""
                   : "start takes a UTC time YYYY-MM-DDTHH:MMZ";
    }
    if (key == "on" && count >= 2 && words[1] == "always") {
        return count == 2 && shareOf(words[2], plan.alwaysOn) ? "" : "on always takes a share";
    }
    if (key == "on" && count >= 1 && words[1] == "office") {
        // on office <share> <utc-offset-hours> [<start-hour> <end-hour>]
        OfficeShare office;
        long long offset = 0, startHour = 9, endHour = 17;
        if ((count != 3 && count != 5) || !shareOf(words[2], office.share) ||
            !wholeNumber(words[3], -12, 14, offset) ||
            (count == 5 && (!wholeNumber(words[4], 0, 23, startHour) ||
                            !wholeNumber(words[5], startHour + 1, 24, endHour)))) {
            return "on office takes a share, a UTC offset in hours (-12..14) and optionally a "
                   "start and a later end hour";
        }
        office.utcOffsetMinutes = static_cast<int>(offset) * 60;
        office.startHour = static_cast<int>(startHour);
        office.endHour = static_cast<int>(endHour);
        plan.office.push_back(office);
        return "";
    }
    if (key == "installed") {
        InstalledShare share;
        if (count != 3 || !playerType(words[1], share.type) || !dottedVersion(words[2]) ||
            !shareOf(words[3], share.share)) {
            return "installed takes ActiveX|Plugin|Pepper, a version a.b.c.d and a share";
        }
        share.version = words[2];
        installed.push_back(share);
        return "";
    }
    if (key == "player-file") {
        PlayerFile file;
        if (count != 3 || !playerType(words[1], file.type) || !dottedVersion(words[2])) {
            return "player-file takes ActiveX|Plugin|Pepper, a version a.b.c.d and the file's text";
        }
        file.version = words[2];
        file.content = words[3];
        plan.playerFiles.push_back(file);
        return "";
    }
    if (key == "installer-failure") {
        return count == 1 && shareOf(words[1], plan.installerFailure)
                   ? ""
                   : "installer-failure takes a probability 0..1";
    }
    if (key == "install-delay-minutes") {
        if (count != 1 || !wholeNumber(words[1], 0, 24 * 60, number)) {
            return "install-delay-minutes takes 0..1440";
        }
        plan.installDelayMinutes = static_cast<int>(number);
        return "";
    }
    if (key == "clock-offset-seconds") {
        if (count != 1 || !wholeNumber(words[1], 0, 7 * 24 * 3600, number)) {
            return "clock-offset-seconds takes 0..604800";
        }
        plan.clockOffsetSeconds = static_cast<int>(number);
        return "";
    }
    if (key == "last-check-spread-hours") {
        if (count != 1 || !wholeNumber(words[1], 0, 72, number)) {
            return "last-check-spread-hours takes 0..72";
        }
        plan.lastCheckSpreadHours = static_cast<int>(number);
        return "";
    }
    if (key == "check-frequency-before") {
        if (count != 1 || !wholeNumber(words[1], 1, 3, number)) {
            return "check-frequency-before takes 1..3 days";
        }
        plan.checkFrequencyBefore = static_cast<int>(number);
        return "";
    }
    if (key == "windows") {
        if (count != 1 ||
            (words[1] != "10" && words[1] != "6.1" && words[1] != "6.1-32" && words[1] != "5.1")) {
            return "windows takes 10, 6.1, 6.1-32 or 5.1";
        }
        plan.windows = words[1];
        return "";
    }
    return "unknown statement '" + key + "'";
}

}  // namespace

std::uint64_t fileTimeOf(int year, int month, int day, int hour, int minute) {
    const std::int64_t days = daysSince1601(year, month, day);
    return static_cast<std::uint64_t>(days) * 24 * kFileTimeHour +
           static_cast<std::uint64_t>(hour) * kFileTimeHour +
           static_cast<std::uint64_t>(minute) * kFileTimeMinute;
}

int dayOfWeek(std::uint64_t filetime) {
    // 1601-01-01 was a Monday.
    return static_cast<int>((filetime / (24 * kFileTimeHour) + 1) % 7);
}

bool parseUtcMinute(const std::string& text, std::uint64_t& filetime) {
    // YYYY-MM-DDTHH:MMZ
    if (text.size() != 17 || text[4] != '-' || text[7] != '-' || text[10] != 'T' ||
        text[13] != ':' || text[16] != 'Z') {
        return false;
    }
    long long year = 0, month = 0, day = 0, hour = 0, minute = 0;
    if (!wholeNumber(text.substr(0, 4), 1601, 9999, year) ||
        !wholeNumber(text.substr(5, 2), 1, 12, month) ||
        !wholeNumber(text.substr(8, 2), 1, 31, day) ||
        !wholeNumber(text.substr(11, 2), 0, 23, hour) ||
        !wholeNumber(text.substr(14, 2), 0, 59, minute)) {
        return false;
    }
    // A day past the month's end does not come back as the same date.
    const std::uint64_t value =
        fileTimeOf(static_cast<int>(year), static_cast<int>(month), static_cast<int>(day), 0, 0);
    const int nextMonth = static_cast<int>(month) % 12 + 1;
    const int nextYear = static_cast<int>(year) + (month == 12 ? 1 : 0);
    if (value >= fileTimeOf(nextYear, nextMonth, 1, 0, 0)) {
        return false;
    }
    filetime = value + static_cast<std::uint64_t>(hour) * kFileTimeHour +
               static_cast<std::uint64_t>(minute) * kFileTimeMinute;
    return true;
}

FleetPlan defaultFleet() {
    FleetPlan plan;
    plan.start = fileTimeOf(2026, 1, 5, 10, 0);
    plan.installed.push_back({1, "31.0.0.100", 1.0});
    return plan;
}

bool parseFleetFile(const std::string& text, FleetPlan& plan, std::string& error) {
    std::istringstream lines(text);
    std::string line;
    std::vector<InstalledShare> installed;
    bool sawAlways = false;
    for (int number = 1; std::getline(lines, line); ++number) {
        const std::size_t hash = line.find('#');
        if (hash != std::string::npos) {
            line.erase(hash);
        }
        std::istringstream in(line);
        std::vector<std::string> words;
        for (std::string word; in >> word;) {
            words.push_back(word);
        }
        if (words.empty()) {
            continue;
        }
        sawAlways = sawAlways || (words[0] == "on" && words.size() > 1 && words[1] == "always");
        const std::string reason = applyStatement(words, plan, installed);
        if (!reason.empty()) {
            error = "line " + std::to_string(number) + ": " + reason;
            return false;
        }
    }
    if (!installed.empty()) {
        plan.installed = installed;
    }
    double typeShares[3] = {0, 0, 0};
    for (const InstalledShare& share : plan.installed) {
        typeShares[share.type] += share.share;
    }
    for (double total : typeShares) {
        if (total > 1 + 1e-9) {
            error = "the installed shares of one type add up to more than 1";
            return false;
        }
    }
    double officeTotal = 0;
    for (const OfficeShare& office : plan.office) {
        officeTotal += office.share;
    }
    // Without `on always`, what office hours leave is always on.
    if (!sawAlways) {
        plan.alwaysOn = 1 - officeTotal;
    }
    if (plan.alwaysOn < -1e-9 || std::fabs(plan.alwaysOn + officeTotal - 1) > 1e-6) {
        error = "the on shares (always and office) must add up to 1";
        return false;
    }
    return true;
}

}  // namespace korin::fleet

#include "update/update_state.h"

#include "platform/clock.h"
#include "platform/platform.h"
#include "platform/registry.h"

#include <memory>

namespace korin {

namespace {

std::uint32_t clampDays(std::uint32_t days) {
    return days == 0 ? 1 : (days > 3 ? 3 : days);
}

// Little-endian bytes of a registry number.
std::uint64_t numberFrom(const unsigned char* bytes, std::size_t size) {
    std::uint64_t value = 0;
    for (std::size_t i = size; i-- > 0;) {
        value = (value << 8) | bytes[i];
    }
    return value;
}

template <std::size_t Size>
void bytesOf(std::uint64_t value, unsigned char (&bytes)[Size]) {
    for (std::size_t i = 0; i < Size; ++i) {
        bytes[i] = static_cast<unsigned char>(value >> (8 * i));
    }
}

// Queries name into bytes (their present content kept past a shorter value)
// with the key opened for reading; false when the key or value is missing.
template <std::size_t Size>
bool queryState(const Platform& platform, const wchar_t* name, unsigned char (&bytes)[Size]) {
    std::unique_ptr<RegistryKey> key;
    if (platform.registry->openKey(RegistryRoot::LocalMachine, kUpdateStateKey, kKeyRead, key) !=
        0) {
        return false;
    }
    unsigned char read[Size];
    for (std::size_t i = 0; i < Size; ++i) {
        read[i] = bytes[i];
    }
    std::uint32_t size = Size;
    if (key->queryValue(name, nullptr, read, &size) != 0) {
        return false;
    }
    for (std::size_t i = 0; i < Size; ++i) {
        bytes[i] = read[i];
    }
    return true;
}

bool setState(const Platform& platform, const wchar_t* name, std::uint32_t type,
              const unsigned char* data, std::uint32_t size) {
    std::unique_ptr<RegistryKey> key;
    if (platform.registry->createKey(RegistryRoot::LocalMachine, kUpdateStateKey, kKeySetValue,
                                     key) != 0) {
        return false;
    }
    return key->setValue(name, type, data, size) == 0;
}

bool deleteState(const Platform& platform, const wchar_t* name) {
    std::unique_ptr<RegistryKey> key;
    if (platform.registry->openKey(RegistryRoot::LocalMachine, kUpdateStateKey, kKeySetValue,
                                   key) != 0) {
        return false;
    }
    return key->deleteValue(name) == 0;
}

}  // namespace

bool isCheckDue(const Platform& platform) {
    const std::uint64_t now = platform.clock->systemTimeAsFileTime();
    // A value that does not fit (larger than 8 bytes) reads as no check.
    unsigned char last[8] = {};
    queryState(platform, kValueLastUpdateCheck, last);
    unsigned char days[4];
    bytesOf(1, days);
    queryState(platform, kValueCheckFrequency, days);
    const std::uint64_t interval =
        clampDays(static_cast<std::uint32_t>(numberFrom(days, sizeof days))) * kOneDay;
    const std::uint64_t recorded = numberFrom(last, sizeof last);
    // A check recorded ahead of now by more than a period came from a clock
    // that was wrong then (or is now): waiting for it could take years, and a
    // value near the top of the range for ever. A smaller skew still waits.
    // Compared on the difference either way, so no sum wraps.
    if (recorded > now) {
        return recorded - now > interval;
    }
    return now - recorded > interval;
}

bool writeLastUpdateCheck(const Platform& platform, bool clear) {
    unsigned char value[8];
    bytesOf(clear ? 0 : platform.clock->systemTimeAsFileTime(), value);
    return setState(platform, kValueLastUpdateCheck, kRegQword, value, sizeof value);
}

bool writeCheckFrequency(const Platform& platform, const std::uint32_t* days) {
    unsigned char value[4];
    bytesOf(days == nullptr ? 1 : clampDays(*days), value);
    return setState(platform, kValueCheckFrequency, kRegDword, value, sizeof value);
}

bool readUpdateAttempts(const Platform& platform, std::uint32_t& out) {
    unsigned char value[4] = {};
    if (!queryState(platform, kValueUpdateAttempts, value)) {
        return false;
    }
    out = static_cast<std::uint32_t>(numberFrom(value, sizeof value));
    return true;
}

bool writeUpdateAttempts(const Platform& platform, std::uint32_t count) {
    unsigned char value[4];
    bytesOf(count, value);
    return setState(platform, kValueUpdateAttempts, kRegDword, value, sizeof value);
}

bool incrementUpdateAttempts(const Platform& platform) {
    std::uint32_t attempts = 0;
    const std::uint32_t next = readUpdateAttempts(platform, attempts) ? attempts + 1 : 1;
    return writeUpdateAttempts(platform, next);
}

bool resetUpdateState(const Platform& platform) {
    if (!deleteState(platform, kValueUpdateAttempts) ||
        !deleteState(platform, kValueLastUpdateCheck) ||
        !deleteState(platform, kValueCheckFrequency)) {
        return false;
    }
    std::unique_ptr<RegistryKey> parent;
    if (platform.registry->openKey(RegistryRoot::LocalMachine, kUpdateStateParentKey, kKeySetValue,
                                   parent) != 0) {
        return false;
    }
    return parent->deleteSubKey(kUpdateStateSubKey) == 0;
}

}  // namespace korin

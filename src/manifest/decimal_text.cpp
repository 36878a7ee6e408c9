#include "manifest/decimal_text.h"

#include <limits>

namespace korin {

namespace {

struct Magnitude {
    bool negative = false;
    std::uint64_t value = 0;  // saturated just above the 32-bit unsigned range
};

template <typename Char>
bool isBlank(Char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

template <typename Char>
Magnitude readMagnitude(std::basic_string_view<Char> text) {
    constexpr std::uint64_t kCap = std::uint64_t{1} << 33;
    Magnitude result;
    std::size_t i = 0;
    while (i < text.size() && isBlank(text[i])) {
        ++i;
    }
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        result.negative = text[i] == '-';
        ++i;
    }
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        result.value = result.value * 10 + static_cast<std::uint64_t>(text[i] - '0');
        if (result.value > kCap) {
            result.value = kCap;
        }
    }
    return result;
}

template <typename Char>
std::int32_t signedOf(std::basic_string_view<Char> text) {
    const Magnitude m = readMagnitude(text);
    constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();
    constexpr std::int64_t kMin = std::numeric_limits<std::int32_t>::min();
    std::int64_t value = static_cast<std::int64_t>(m.value);
    if (m.negative) {
        value = -value;
    }
    if (value > kMax) {
        return static_cast<std::int32_t>(kMax);
    }
    if (value < kMin) {
        return static_cast<std::int32_t>(kMin);
    }
    return static_cast<std::int32_t>(value);
}

template <typename Char>
std::uint32_t unsignedOf(std::basic_string_view<Char> text) {
    const Magnitude m = readMagnitude(text);
    if (m.value > std::numeric_limits<std::uint32_t>::max()) {
        return std::numeric_limits<std::uint32_t>::max();
    }
    const auto value = static_cast<std::uint32_t>(m.value);
    return m.negative ? 0u - value : value;
}

}  // namespace

std::int32_t signedDecimal(std::string_view text) {
    return signedOf(text);
}
std::int32_t signedDecimal(std::wstring_view text) {
    return signedOf(text);
}
std::uint32_t unsignedDecimal(std::string_view text) {
    return unsignedOf(text);
}
std::uint32_t unsignedDecimal(std::wstring_view text) {
    return unsignedOf(text);
}

}  // namespace korin

#pragma once

// The decimal number rules of the manifests and the registry values.

#include <cstdint>
#include <string_view>

namespace korin {

// Numbers of the manifests and of the players' registry values. Both rules
// skip leading white space, take an optional "+" or "-", then the decimal
// digits up to the first other character; no digits give 0.

// Signed: a value beyond the 32-bit range gives the nearest limit.
std::int32_t signedDecimal(std::string_view text);
std::int32_t signedDecimal(std::wstring_view text);

// Unsigned: "-" negates the value modulo 2^32; a magnitude above 4294967295
// gives 4294967295, whatever the sign.
std::uint32_t unsignedDecimal(std::string_view text);
std::uint32_t unsignedDecimal(std::wstring_view text);

}  // namespace korin

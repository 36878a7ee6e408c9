#pragma once

#include <cstdint>
#include <string>

namespace korin {

// The system's text for a Win32, WinHTTP, CryptoAPI or COM code, in UTF-8,
// one line without its final full stop; empty when the system has none.
// Windows: FormatMessageW from the system, or from winhttp.dll for 12000-12999,
// and the table below where the system has no text. Stand-in: the table.
std::string systemErrorText(std::uint32_t code);

// The table: every code in platform/error_codes.h, and the answers of
// Windows' signature checks, worded as Windows words them.
std::string systemErrorTableText(std::uint32_t code);

}  // namespace korin

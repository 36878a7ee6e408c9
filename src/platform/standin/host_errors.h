#pragma once

// The Win32 code of a failed host call, as the machine's programs see it.

#include <cstdint>
#include <string>

namespace korin::standin {

// The Win32 error for an errno of a call on a host path (2 or 3 for a
// missing file, by whether its folder is there).
std::uint32_t win32ErrorFromErrno(int error, const std::string& path);

}  // namespace korin::standin

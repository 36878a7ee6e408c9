#pragma once

// The stand-in machine's file system rules, as NTFS and the platform give
// them: the attributes of an entry, a folder's listing, the read-only
// attribute, and temporary names. The stand-in files adapter hands its
// calls over to these. Failures set the thread's last error to the Win32
// code Windows gives.

#include "platform/files.h"
#include "platform/standin/program_view.h"

#include <sys/stat.h>

#include <cstdint>
#include <string>
#include <vector>

namespace korin::standin {

// A service runs as LocalSystem, whose temporary folder is the system's.
inline constexpr wchar_t kSystemTempPath[] = L"C:\\Windows\\Temp\\";

// The attributes Windows reports for the entry itself (lstat's answer): a
// symbolic link is a reparse point, a folder one when it leads to a folder.
// The read-only attribute is a regular file without any write permission,
// as Wine keeps it.
std::uint32_t fileAttributes(const std::string& hostPath, const struct stat& info);
bool isReadOnly(const struct stat& info);
// A file that Windows would refuse to replace or delete: true with 5 as the
// last error, even to root, whom the host would let through.
bool refusedAsReadOnly(const std::string& hostPath);

// FindFirstFileW's entries for a pattern ("folder\name", "*" and "?"
// matching without regard to case, "*.*" every name): sorted, "." and ".."
// first except at a drive's root; a plain name is that one entry. False
// with 2 when nothing matches, 3 when the folder is not there.
bool listFolder(const ProgramView& view, const std::wstring& pattern,
                std::vector<FindData>& entries);

// A file written while the machine's clock is set carries the set instant
// as its last write time, as Windows stamps it from its own clock; with
// real time (or a set instant before 1970) the host's stamp stands.
void stampWithMachineClock(const Machine& machine, int fd);

// GetTempFileNameW with a unique number of 0: at most three units of the
// prefix, a hex number from the clock counted up until a new file can be
// made, ".tmp". A folder that is not there (or is a file) is 267, as Wine
// answers; a folder too long for the name 111.
bool makeTempFileName(const ProgramView& view, const std::wstring& folder,
                      const std::wstring& prefix, std::wstring& path);

}  // namespace korin::standin

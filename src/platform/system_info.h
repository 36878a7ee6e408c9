#pragma once

// The system facts port: the Windows version, Wow64 and the system folders.

#include <cstdint>
#include <string>

namespace korin {

// The fields of OSVERSIONINFOA that the system reads.
struct OsVersionInfo {
    std::uint32_t majorVersion = 0;
    std::uint32_t minorVersion = 0;
    std::uint32_t buildNumber = 0;
    std::uint32_t platformId = 0;  // 2: Windows NT
};

// Facts about the running Windows.
class SystemInfo {
  public:
    virtual ~SystemInfo() = default;
    // GetVersionExA.
    virtual bool getVersionEx(OsVersionInfo& info) = 0;
    // IsWow64Process looked up in the loaded kernel32 and called for the
    // current process: 1 for a 32-bit process on 64-bit Windows, else 0;
    // 0 where the export is missing or the call fails.
    virtual int isWow64Process() = 0;
    // GetSystemWow64DirectoryW: false (last error set) on 32-bit Windows.
    virtual bool getSystemWow64Directory(std::wstring& path) = 0;
    // GetSystemDirectoryW.
    virtual bool getSystemDirectory(std::wstring& path) = 0;
};

}  // namespace korin

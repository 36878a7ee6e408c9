#pragma once

// The shell port: special folders and deleting a path.

#include "platform/error_codes.h"

#include <cstdint>
#include <string>

namespace korin {

// Special-folder identifiers (CSIDL) and the flag that creates the folder.
inline constexpr int kCsidlAppData = 0x001A;
inline constexpr int kCsidlLocalAppData = 0x001C;
inline constexpr int kCsidlSystem = 0x0025;
inline constexpr int kCsidlFlagCreate = 0x8000;

// SHFileOperationW's own result (a pre-Win32 code) for a source path that
// is not valid, such as one whose folder does not exist.
inline constexpr int kDeInvalidFiles = 0x7C;

// The shell's special folders and file operations.
class Shell {
  public:
    virtual ~Shell() = default;
    // SHFileOperationW with FO_DELETE and FOF_SILENT | FOF_NOCONFIRMATION |
    // FOF_NOERRORUI, no window: removes a file, or a folder with everything
    // in it. The operation's result: 0 for success, else an error code.
    virtual int deletePath(const std::wstring& path) = 0;
    // SHGetFolderPathW (no window, no token, flags 0): an HRESULT, negative
    // for failure; E_FAIL for a folder that does not exist unless
    // kCsidlFlagCreate asks to create it.
    virtual std::int32_t getFolderPath(int csidl, std::wstring& path) = 0;
};

}  // namespace korin

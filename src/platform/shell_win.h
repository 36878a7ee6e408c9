#pragma once

// The Win32 adapter of the shell port.

#include "platform/shell.h"

namespace korin {

class WinShell final : public Shell {
  public:
    int deletePath(const std::wstring& path) override;
    std::int32_t getFolderPath(int csidl, std::wstring& path) override;
};

}  // namespace korin

#pragma once

// The stand-in machine's adapter of the shell port.

#include "platform/shell.h"
#include "platform/standin/program_view.h"

#include <utility>

namespace korin {

// The administrator's special folders on the machine; deletions with the
// file-system view of a 32-bit program.
class StandInShell final : public Shell {
  public:
    explicit StandInShell(standin::ProgramView view) : view_(std::move(view)) {}

    int deletePath(const std::wstring& path) override;
    std::int32_t getFolderPath(int csidl, std::wstring& path) override;

  private:
    standin::ProgramView view_;
};

}  // namespace korin

#pragma once

// The machine's process launcher: host programs started detached, in a
// session of their own without a terminal, with the Windows command line
// split into arguments as the C runtime splits it. The processes adapter,
// the Service Control Manager and the Task Scheduler start programs here.

#include "platform/standin/program_view.h"

#include <cstdint>
#include <string>
#include <vector>

namespace korin::standin {

// The arguments a program built with the Microsoft C runtime sees for a
// command line: the program name up to unquoted white space (quotes only
// group), then arguments with the runtime's rules for quotes and backslashes.
std::vector<std::wstring> splitCommandLine(const std::wstring& commandLine);

class ProcessLauncher {
  public:
    explicit ProcessLauncher(ProgramView view) : view_(std::move(view)) {}

    // Starts an ELF binary or a "#!" script: applicationName, or else the
    // command line's program searched for in the launching program's own
    // folder, the current folder, System32, Windows. The working folder is
    // the caller's when empty; environment entries are added. 0 and the
    // process id, or the Win32 error of the start (never an exception).
    std::uint32_t start(const std::wstring& applicationName, const std::wstring& commandLine,
                        const std::wstring& workingFolder,
                        const std::vector<std::string>& environment,
                        std::uint32_t& processId) const;

  private:
    std::uint32_t startOrThrow(const std::wstring& applicationName, const std::wstring& commandLine,
                               const std::wstring& workingFolder,
                               const std::vector<std::string>& environment,
                               std::uint32_t& processId) const;
    // The program's host path: applicationName, or the command line's
    // program searched for; 0 or ERROR_FILE_NOT_FOUND.
    std::uint32_t findProgram(const std::wstring& applicationName, const std::wstring& commandLine,
                              std::string& program) const;
    ProgramView view_;
};

}  // namespace korin::standin

#pragma once

// What one program sees of the machine. A 32-bit program on a 64-bit
// machine sees C:\Windows\System32 as SysWOW64 while its thread leaves
// redirection on, and the 32-bit registry view (Wow6432Node) unless it asks
// for the 64-bit one; a 64-bit program, or any program on a 32-bit machine,
// sees the machine as it is. Every stand-in adapter asks here.

#include "platform/standin/machine.h"

#include <cstdint>
#include <string>

namespace korin::standin {

class ProgramView {
  public:
    // The service and its tools are 32-bit programs.
    ProgramView(Machine machine, bool is64BitMachine, bool is64BitProgram = false)
        : machine_(std::move(machine)), wow64_(is64BitMachine && !is64BitProgram) {}

    const Machine& machine() const { return machine_; }

    // The host path of a Windows path, redirected while the calling thread
    // has redirection on.
    std::string hostPath(const std::wstring& path) const;
    // The stored registry path this program reaches with this access
    // (KEY_WOW64_64KEY picks the 64-bit view).
    std::wstring keyPath(bool localMachine, const std::wstring& subKey, std::uint32_t access) const;

  private:
    Machine machine_;
    bool wow64_;  // a 32-bit program on a 64-bit machine
};

}  // namespace korin::standin

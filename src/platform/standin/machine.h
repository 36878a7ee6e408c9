#pragma once

// The stand-in machine: its folder, drives and path mapping.

#include <cstdint>
#include <optional>
#include <string>

namespace korin::standin {

// The environment variable that names the stand-in machine's folder.
inline constexpr char kMachineRootVariable[] = "KORIN_MACHINE_ROOT";
// The file by which `korin-machine init` marks a folder as a machine.
inline constexpr char kMachineMarker[] = ".korin-machine";

// The per-user folders of the machine's one user, the administrator.
inline constexpr wchar_t kUserAppData[] = L"C:\\Users\\Administrator\\AppData\\Roaming";
inline constexpr wchar_t kUserLocalAppData[] = L"C:\\Users\\Administrator\\AppData\\Local";

// Facts of the simulated Windows, kept in its registry at the usual places.
struct MachineFacts {
    bool is64Bit = true;
    std::uint32_t majorVersion = 10;
    std::uint32_t minorVersion = 0;
    std::uint32_t buildNumber = 19045;
    std::uint16_t uiLanguage = 0x0409;
};

// One folder that holds a whole simulated Windows machine: drives as
// drive_<letter> folders (Z: is the host's /), the registry database and the
// machine's trust store.
class Machine {
  public:
    explicit Machine(std::string root);

    // The machine that KORIN_MACHINE_ROOT names; nullopt with the reason when
    // the variable is unset or the folder was not made by `korin-machine init`.
    static std::optional<Machine> fromEnvironment(std::string& error);

    const std::string& root() const { return root_; }
    std::string registryFile() const { return root_ + "/registry.db"; }
    std::string trustedRootsFile() const { return root_ + "/trusted-roots.pem"; }

    // The working directory as a Windows path: C:\... inside the machine,
    // Z:\... elsewhere.
    std::wstring currentDirectory() const;
    // GetFullPathNameW: absolute, with "." and ".." resolved.
    std::wstring fullPath(const std::wstring& path) const;
    // The host path of a Windows path. With redirection (a 32-bit program on
    // a 64-bit machine), C:\Windows\System32 is C:\Windows\SysWOW64. Names are
    // matched without regard to case, as Windows does; missing components
    // keep their spelling.
    std::string hostPath(const std::wstring& path, bool wow64Redirection) const;
    // The Windows path of an absolute host path.
    std::wstring windowsPath(const std::string& hostPath) const;

  private:
    std::string root_;
};

// One of the machine's own files under its root (a host path: runtime
// records, a set clock) replaced whole: written beside it and moved over
// it, so that a reader sees the old or the new content, never a part.
bool replaceMachineFile(const std::string& hostPath, const std::string& content);

// The Wow64 file-system redirection of a full Windows path.
std::wstring redirectSystem32(const std::wstring& fullPath);

// The calling thread's Wow64 redirection switch, which
// Wow64DisableWow64FsRedirection and Wow64RevertWow64FsRedirection turn;
// on unless the thread switched it off.
bool wow64RedirectionEnabled();
void setWow64RedirectionEnabled(bool enabled);

}  // namespace korin::standin

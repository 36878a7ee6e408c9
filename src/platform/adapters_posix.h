#pragma once

// The stand-in machine's adapters of the shared ports.

#include "platform/clock.h"
#include "platform/files.h"
#include "platform/guid.h"
#include "platform/processes.h"
#include "platform/registry.h"
#include "platform/shell.h"
#include "platform/standin/host_errors.h"
#include "platform/standin/machine.h"
#include "platform/standin/process_launcher.h"
#include "platform/standin/program_view.h"
#include "platform/standin/registry_db.h"
#include "platform/system_info.h"

#include <vector>

namespace korin {

class StandInClock final : public Clock {
  public:
    SystemTime systemTime() override;
    std::uint64_t systemTimeAsFileTime() override;
    std::uint32_t tickCount() override;
};

// Windows paths of the machine; a 32-bit program's view of System32 on a
// 64-bit machine is SysWOW64 while redirection is on.
class StandInFiles final : public Files {
  public:
    explicit StandInFiles(standin::ProgramView view) : view_(std::move(view)) {}

    std::unique_ptr<FileHandle> openFile(const std::wstring& path, FileOpenMode mode) override;
    bool getFullPathName(const std::wstring& path, std::wstring& fullPath) override;
    bool getModuleFileName(std::wstring& path) override;
    std::uint32_t getFileAttributes(const std::wstring& path) override;
    bool setFileAttributes(const std::wstring& path, std::uint32_t attributes) override;
    bool createDirectory(const std::wstring& path) override;
    bool removeDirectory(const std::wstring& path) override;
    bool deleteFile(const std::wstring& path) override;
    bool moveFileReplacing(const std::wstring& source, const std::wstring& target) override;
    std::unique_ptr<FindHandle> findFirstFile(const std::wstring& pattern, FindData& data) override;
    bool getTempPath(std::wstring& path) override;
    bool getTempFileName(const std::wstring& folder, const std::wstring& prefix,
                         std::wstring& path) override;

    // The host path behind a Windows path, as this process sees it.
    std::string hostPath(const std::wstring& path) const;

  private:
    standin::ProgramView view_;
};

// The machine's registry as a 32-bit program sees it.
class StandInRegistry final : public Registry {
  public:
    StandInRegistry(standin::RegistryDb& db, standin::ProgramView view)
        : db_(db), view_(std::move(view)) {}

    long openKey(RegistryRoot root, const std::wstring& subKey, std::uint32_t access,
                 std::unique_ptr<RegistryKey>& key) override;
    long createKey(RegistryRoot root, const std::wstring& subKey, std::uint32_t access,
                   std::unique_ptr<RegistryKey>& key) override;

    // The stored path a 32-bit program reaches with this access.
    std::wstring keyPath(RegistryRoot root, const std::wstring& subKey, std::uint32_t access) const;

  private:
    standin::RegistryDb& db_;
    standin::ProgramView view_;
};

class StandInSystemInfo final : public SystemInfo {
  public:
    explicit StandInSystemInfo(const standin::MachineFacts& facts) : facts_(facts) {}

    bool getVersionEx(OsVersionInfo& info) override;
    int isWow64Process() override;
    bool getSystemWow64Directory(std::wstring& path) override;
    bool getSystemDirectory(std::wstring& path) override;

  private:
    standin::MachineFacts facts_;
};

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

// GUIDs from the kernel's random source.
class StandInGuids final : public Guids {
  public:
    std::int32_t createGuid(Guid& guid) override;
    int guidToText(const Guid& guid, std::wstring& text, int bufferSize) override;
};

// Host programs of the machine, started by its launcher
// (platform/standin/process_launcher.h).
class StandInProcesses final : public Processes {
  public:
    explicit StandInProcesses(standin::ProgramView view) : launcher_(std::move(view)) {}

    std::unique_ptr<CreatedProcess> createProcess(const std::wstring& applicationName,
                                                  std::wstring& commandLine,
                                                  std::uint32_t creationFlags) override;

  private:
    standin::ProcessLauncher launcher_;
};

// The stand-in machine's helpers the adapters share.
using standin::splitCommandLine;
using standin::win32ErrorFromErrno;

}  // namespace korin

#pragma once

// The real Win32 adapters of the shared ports.

#include "platform/clock.h"
#include "platform/files.h"
#include "platform/guid.h"
#include "platform/processes.h"
#include "platform/registry.h"
#include "platform/shell.h"
#include "platform/system_info.h"

namespace korin {

class WinClock final : public Clock {
  public:
    SystemTime systemTime() override;
    std::uint64_t systemTimeAsFileTime() override;
    std::uint32_t tickCount() override;
};

class WinFiles final : public Files {
  public:
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
};

class WinRegistry final : public Registry {
  public:
    long openKey(RegistryRoot root, const std::wstring& subKey, std::uint32_t access,
                 std::unique_ptr<RegistryKey>& key) override;
    long createKey(RegistryRoot root, const std::wstring& subKey, std::uint32_t access,
                   std::unique_ptr<RegistryKey>& key) override;
};

class WinShell final : public Shell {
  public:
    int deletePath(const std::wstring& path) override;
    std::int32_t getFolderPath(int csidl, std::wstring& path) override;
};

class WinSystemInfo final : public SystemInfo {
  public:
    bool getVersionEx(OsVersionInfo& info) override;
    int isWow64Process() override;
    bool getSystemWow64Directory(std::wstring& path) override;
    bool getSystemDirectory(std::wstring& path) override;
};

class WinGuids final : public Guids {
  public:
    std::int32_t createGuid(Guid& guid) override;
    int guidToText(const Guid& guid, std::wstring& text, int bufferSize) override;
};

class WinProcesses final : public Processes {
  public:
    std::unique_ptr<CreatedProcess> createProcess(const std::wstring& applicationName,
                                                  std::wstring& commandLine,
                                                  std::uint32_t creationFlags) override;
};

}  // namespace korin

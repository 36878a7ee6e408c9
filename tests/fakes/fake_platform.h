#pragma once

// In-memory fakes of the shared ports, with per-call fault injection, and a
// bundle that hands them to the core as a Platform.

#include "fakes/fake_crypto_libraries.h"
#include "fakes/fake_http.h"
#include "fakes/fake_service_dispatcher.h"
#include "fakes/fake_service_control.h"
#include "fakes/fake_task_scheduler.h"
#include "fakes/fault_injector.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/guid.h"
#include "platform/processes.h"
#include "platform/platform.h"
#include "platform/registry.h"
#include "platform/shell.h"
#include "platform/system_info.h"
#include "support/string_table.h"

#include <functional>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace korin::testing {

class FakeClock final : public Clock {
  public:
    SystemTime now{2026, 1, 1, 5, 9, 7, 3, 4};
    std::uint64_t fileTime = 0;
    // The tick count; each call moves it on by tickStep.
    std::uint32_t ticks = 0;
    std::uint32_t tickStep = 0;
    SystemTime systemTime() override { return now; }
    std::uint64_t systemTimeAsFileTime() override { return fileTime; }
    std::uint32_t tickCount() override { return std::exchange(ticks, ticks + tickStep); }
};

// Files by their Windows path, compared without regard to case. Folders are
// known by name; a file can be created only in a known folder. Operations:
// "openFile", "read", "write", "getFileSize", "flush", "getFullPathName",
// "getModuleFileName", "getFileAttributes", "createDirectory", "removeDirectory", "deleteFile",
// "moveFileReplacing", "findFirstFile", "findNextFile", "closeFile",
// "getTempPath", "getTempFileName".
class FakeFiles final : public Files {
  public:
    FaultInjector faults;
    std::wstring currentDirectory = L"C:\\Windows\\System32";
    // What getModuleFileName answers: the running program's path.
    std::wstring modulePath = L"C:\\Program Files\\Korin\\KorinPlayerUpdateService.exe";
    std::wstring tempPath = L"C:\\Windows\\Temp\\";
    // Listings give "." and ".." first (as NTFS does below a drive's root);
    // true puts them last.
    bool dotEntriesLast = false;
    // Called with the path of every openFile, before it is served.
    std::function<void(const std::wstring&)> onOpen;
    // When set, faults of openFile and of the file handle operations apply to
    // (and count calls of) this one file only.
    std::wstring faultPath;

    void addFolder(const std::wstring& path);
    void putFile(const std::wstring& path, const std::string& content);
    bool hasFile(const std::wstring& path) const;
    bool hasFolder(const std::wstring& path) const;
    std::string content(const std::wstring& path) const;
    void setWriteTime(const std::wstring& path, std::uint64_t fileTime);
    // Removes a file or a folder with everything below it; false when missing.
    bool removeTree(const std::wstring& path);
    // Every file path (case-folded), in order.
    std::vector<std::wstring> filePaths() const;
    // The absolute, case-folded key of a path.
    std::wstring key(const std::wstring& path) const;
    // The absolute path with its spelling kept.
    std::wstring spelledPath(const std::wstring& path) const;

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

  private:
    friend class FakeFileHandle;
    friend class FakeFindHandle;
    bool fail(const std::string& operation);
    bool failOnFile(const std::string& operation, const std::wstring& fileKey);
    bool folderExists(const std::wstring& key) const;
    void remember(const std::wstring& path);
    std::map<std::wstring, std::string> files_;
    std::set<std::wstring> folders_;
    std::map<std::wstring, std::uint64_t> writeTimes_;
    std::map<std::wstring, std::wstring> spelling_;  // key -> name as created
    std::map<std::wstring, int> openHandles_;        // key -> handles open on it
    std::set<std::wstring> readOnly_;
};

// Special folders by CSIDL and deletions in a FakeFiles. Operations:
// "deletePath" (the fault is the result), "getFolderPath" (the fault is the
// HRESULT).
class FakeShell final : public Shell {
  public:
    explicit FakeShell(FakeFiles& files) : files_(files) {}
    FaultInjector faults;
    std::map<int, std::wstring> folders = {
        {kCsidlAppData, L"C:\\Users\\Tester\\AppData\\Roaming"},
        {kCsidlLocalAppData, L"C:\\Users\\Tester\\AppData\\Local"},
        {kCsidlSystem, L"C:\\Windows\\system32"},
    };
    std::vector<int> folderRequests;    // every CSIDL asked for, flags included
    std::vector<std::wstring> deletes;  // every path handed to deletePath

    int deletePath(const std::wstring& path) override;
    std::int32_t getFolderPath(int csidl, std::wstring& path) override;

  private:
    FakeFiles& files_;
};

// Keys by root and path, without regard to case. Operations: "openKey",
// "createKey", "queryValue", "setValue", "deleteValue", "deleteSubKey"; an
// injected fault is returned as the status.
class FakeRegistry final : public Registry {
  public:
    struct Value {
        std::uint32_t type = 0;
        std::string data;
    };
    FaultInjector faults;

    long openKey(RegistryRoot root, const std::wstring& subKey, std::uint32_t access,
                 std::unique_ptr<RegistryKey>& key) override;
    long createKey(RegistryRoot root, const std::wstring& subKey, std::uint32_t access,
                   std::unique_ptr<RegistryKey>& key) override;

    // Direct access for arranging and checking state. Paths as
    // "HKLM\SOFTWARE\..." with the view already applied.
    void putValue(const std::wstring& key, const std::wstring& name, std::uint32_t type,
                  const std::string& data);
    void putDword(const std::wstring& key, const std::wstring& name, std::uint32_t value);
    void putQword(const std::wstring& key, const std::wstring& name, std::uint64_t value);
    bool hasKey(const std::wstring& key) const;
    bool hasValue(const std::wstring& key, const std::wstring& name) const;
    std::optional<Value> value(const std::wstring& key, const std::wstring& name) const;
    std::optional<std::uint32_t> dword(const std::wstring& key, const std::wstring& name) const;
    std::optional<std::uint64_t> qword(const std::wstring& key, const std::wstring& name) const;
    // Accesses of every open and create, in order.
    std::vector<std::uint32_t> accesses;

  private:
    friend class FakeRegistryKey;
    static std::wstring fold(const std::wstring& path);
    std::set<std::wstring> keys_;                                   // folded paths
    std::map<std::wstring, std::map<std::wstring, Value>> values_;  // folded key, folded name
};

class FakeSystemInfo final : public SystemInfo {
  public:
    OsVersionInfo version{10, 0, 19045, 2};
    bool versionCallFails = false;
    int wow64 = 1;
    std::wstring wow64Directory = L"C:\\Windows\\SysWOW64";   // empty: the call fails
    std::wstring systemDirectory = L"C:\\Windows\\system32";  // empty: the call fails

    bool getVersionEx(OsVersionInfo& info) override;
    int isWow64Process() override { return wow64; }
    bool getSystemWow64Directory(std::wstring& path) override;
    bool getSystemDirectory(std::wstring& path) override;
};

// GUIDs counted up from 1. Operations: "createGuid" (the fault is the
// HRESULT), "guidToText" (the fault makes the call answer 0).
class FakeGuids final : public Guids {
  public:
    FaultInjector faults;
    std::uint32_t next = 1;
    std::int32_t createGuid(Guid& guid) override;
    int guidToText(const Guid& guid, std::wstring& text, int bufferSize) override;
};

// Records every process creation; "createProcess" can fail. A program is
// found only under its full path (or, without one, the command line's first
// token in the current folder) among FakeFiles' files.
class FakeProcesses final : public Processes {
  public:
    explicit FakeProcesses(FakeFiles& files) : files_(files) {}
    struct Created {
        std::wstring applicationName;
        std::wstring commandLine;
        std::uint32_t flags = 0;
        std::string image;  // the program file's content when it started
    };
    FaultInjector faults;
    std::vector<Created> created;
    int openHandles = 0;  // process handles not yet closed
    std::unique_ptr<CreatedProcess> createProcess(const std::wstring& applicationName,
                                                  std::wstring& commandLine,
                                                  std::uint32_t creationFlags) override;

  private:
    FakeFiles& files_;
};

class FakeStringTable final : public StringTable {
  public:
    std::map<std::uint32_t, std::wstring> texts;
    std::wstring_view loadString(std::uint32_t id) override {
        auto found = texts.find(id);
        return found == texts.end() ? std::wstring_view() : std::wstring_view(found->second);
    }
};

// A log file's lines (UTF-16LE decoded, without line ends), and its entries
// as "[level] message" (the time stamp cut).
std::vector<std::wstring> logLinesOf(const std::string& bytes);
std::vector<std::wstring> logEntriesOf(const std::string& bytes);

// All fakes, handed to the core as one Platform with every port filled.
// Resets the process-wide run-time configuration, the log's options, the
// cached settings path and per-user folders and the service runtime's state,
// so every test starts from the initial values.
class FakePlatform {
  public:
    FakePlatform();
    FakeClock clock;
    FakeFiles files;
    FakeRegistry registry;
    FakeSystemInfo system;
    FakeStringTable strings;
    FakeShell shell{files};
    FakeHttp http;
    FakeGuids guids;
    FakeProcesses processes{files};
    // A test that scripts its own libraries makes them after the platform.
    FakeCryptoLibraries cryptoLibraries;
    FakeServiceDispatcher serviceDispatcher;
    FakeServiceControl serviceControl;
    FakeTaskScheduling taskScheduling;
    FakeComRuntime com{taskScheduling};
    FakeSecureRandom random;
    FakeConsoleOutput console;
    const Platform& platform() const { return platform_; }
    // True when every port is filled.
    bool checkComplete() const { return missingPort(platform_) == nullptr; }

    // The log file's lines as written (UTF-16LE decoded), without line ends.
    std::vector<std::wstring> logLines() const;
    // The entries of the log, each as "[level] message" (the time stamp cut).
    std::vector<std::wstring> logEntries() const;
    // The entries, as logEntries gives them, whose code is one of codes.
    std::vector<std::wstring> logEntriesWithCodes(const std::set<int>& codes) const;
    // The folder of the log file below the working folder; made by default.
    static constexpr wchar_t kLogFolder[] = L"C:\\Windows\\System32\\Tervalon\\Korin";

  private:
    Platform platform_;
};

}  // namespace korin::testing

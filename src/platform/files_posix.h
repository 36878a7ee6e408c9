#pragma once

// The stand-in machine's adapter of the files port.

#include "platform/files.h"
#include "platform/standin/program_view.h"

#include <utility>

namespace korin {

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

}  // namespace korin

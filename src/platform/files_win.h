#pragma once

// The Win32 adapter of the files port.

#include "platform/files.h"

namespace korin {

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

}  // namespace korin

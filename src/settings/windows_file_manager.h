#pragma once

// The class library's file manager on Windows.

#include "settings/file_manager.h"

namespace korin {
struct Platform;
}

namespace VOZA {

// The file manager on Windows. Construction reads EnableLocalAppData from the
// settings file: it puts the player's data under the local rather than the
// roaming application data.
class WindowsFileManager final : public FileManager {
  public:
    explicit WindowsFileManager(const korin::Platform& platform);

    bool useLocalAppData() const { return useLocalAppData_; }

    bool deletePath(const std::string& path) override;
    bool deleteFilesByAge(const std::string& folder, std::uint64_t minimumAge,
                          std::uint64_t maximumAge) override;
    std::uint64_t pathSize(const std::string& path) override;
    bool createFolder(const std::string& parent, const std::string& name) override;
    std::string pathSeparator() override;
    std::string assetCacheFolder() override;
    std::string cacheFolder() override;
    std::string playerDataFolder() override;
    std::string privateDataFolder() override;
    std::unique_ptr<StringVector> listFolder(const std::string& path) override;

    // The order of listFolder: names of digits only (numbers) after all
    // others and by value; others byte by byte.
    static bool listsBefore(const std::string& a, const std::string& b);
    // Forgets the per-user folders learnt so far.
    static void clearFolderCaches();

  private:
    const korin::Platform& platform_;
    bool useLocalAppData_ = false;
};

}  // namespace VOZA

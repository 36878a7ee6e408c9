#pragma once

// The class library's file manager interface.

#include "settings/string_vector.h"

#include <cstdint>
#include <memory>
#include <string>

namespace VOZA {

// The class library's file-system service. Paths and names are UTF-8.
class FileManager {
  public:
    virtual ~FileManager() = default;
    // Removes a file or a folder with its content; a path already gone
    // counts as removed.
    virtual bool deletePath(const std::string& path) = 0;
    // Removes the files below folder whose age in seconds lies strictly
    // between minimumAge and maximumAge, and every folder that ends up empty.
    virtual bool deleteFilesByAge(const std::string& folder, std::uint64_t minimumAge,
                                  std::uint64_t maximumAge) = 0;
    // The bytes of a file, or of everything below a folder; 0 when unknown.
    virtual std::uint64_t pathSize(const std::string& path) = 0;
    // Creates parent (with every missing folder on it) and parent\name.
    virtual bool createFolder(const std::string& parent, const std::string& name) = 0;
    virtual std::string pathSeparator() = 0;
    // The player's per-user folders; empty when they cannot be learnt.
    virtual std::string assetCacheFolder() = 0;
    virtual std::string cacheFolder() = 0;
    virtual std::string playerDataFolder() = 0;
    virtual std::string privateDataFolder() = 0;
    // The names in a folder, sorted; null on failure.
    virtual std::unique_ptr<StringVector> listFolder(const std::string& path) = 0;
};

}  // namespace VOZA

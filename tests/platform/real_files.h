#pragma once

#include "platform/files.h"

#include <filesystem>
#include <memory>
#include <string>

namespace korin::testing {

// The build's real Files adapter, for tests that must show the same bytes on
// disk on both builds. Paths relative to the working folder.
std::unique_ptr<Files> makeRealFiles();

// The bytes of a file; empty when it cannot be read.
std::string readFileBytes(const std::filesystem::path& path);

// A fresh temporary folder that is the working folder while it lives.
class TemporaryWorkingFolder {
  public:
    TemporaryWorkingFolder();
    ~TemporaryWorkingFolder();
    TemporaryWorkingFolder(const TemporaryWorkingFolder&) = delete;
    TemporaryWorkingFolder& operator=(const TemporaryWorkingFolder&) = delete;
    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path saved_;
    std::filesystem::path path_;
};

}  // namespace korin::testing

#include "platform/real_files.h"

#include <chrono>
#include <fstream>
#include <iterator>
#include <random>

namespace korin::testing {

std::string readFileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TemporaryWorkingFolder::TemporaryWorkingFolder() : saved_(std::filesystem::current_path()) {
    std::mt19937_64 random(
        static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
    path_ = std::filesystem::temp_directory_path() / ("korin-test-" + std::to_string(random()));
    std::filesystem::create_directories(path_);
    std::filesystem::current_path(path_);
}

TemporaryWorkingFolder::~TemporaryWorkingFolder() {
    std::filesystem::current_path(saved_);
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

}  // namespace korin::testing

#pragma once

// What the manifest fuzz targets run the readers over: a machine without any
// player (every registry key is missing) and the log off.

#include "platform/platform.h"
#include "platform/registry.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace korin::fuzzing {

class NoPlayersRegistry final : public Registry {
  public:
    long openKey(RegistryRoot, const std::wstring&, std::uint32_t,
                 std::unique_ptr<RegistryKey>&) override {
        return 2;  // ERROR_FILE_NOT_FOUND
    }
    long createKey(RegistryRoot, const std::wstring&, std::uint32_t,
                   std::unique_ptr<RegistryKey>&) override {
        return 5;  // ERROR_ACCESS_DENIED
    }
};

inline const Platform& manifestPlatform() {
    static NoPlayersRegistry registry;
    static const Platform platform{.registry = &registry};
    return platform;
}

// The input as the zero-terminated text the downloader hands over.
inline std::string inputText(const std::uint8_t* data, std::size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    return text.substr(0, text.find('\0'));
}

}  // namespace korin::fuzzing

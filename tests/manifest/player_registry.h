#pragma once

// Arranging installed players in the fake registry.

#include "fakes/fake_platform.h"
#include "manifest/player_inventory.h"
#include "ground/text.h"

#include <string>

namespace korin::testing {

// REG_SZ bytes: UTF-16LE with the terminator.
inline std::string regSzBytes(const std::wstring& text) {
    std::string bytes;
    for (char16_t unit : utf16FromWide(text) + u'\0') {
        bytes.push_back(static_cast<char>(unit & 0xFF));
        bytes.push_back(static_cast<char>(unit >> 8));
    }
    return bytes;
}

inline std::wstring playerKeyPath(PlayerType type) {
    switch (type) {
        case PlayerType::ActiveX:
            return L"HKLM\\Software\\Tervalonix\\KorinPlayerActiveX";
        case PlayerType::Plugin:
            return L"HKLM\\Software\\Tervalonix\\KorinPlayerPlugin";
        default:
            return L"HKLM\\Software\\Tervalonix\\KorinPlayerPepper";
    }
}

inline void putString(FakeRegistry& registry, const std::wstring& key, const std::wstring& name,
                      const std::wstring& text) {
    registry.putValue(key, name, kRegSz, regSzBytes(text));
}

// A player of the given version; with a player file path when one is given.
inline void installPlayer(FakeRegistry& registry, PlayerType type, const std::wstring& version,
                          const std::wstring& playerPath = L"") {
    putString(registry, playerKeyPath(type), L"Version", version);
    if (!playerPath.empty()) {
        putString(registry, playerKeyPath(type), L"PlayerPath", playerPath);
    }
}

inline void setRelease(FakeRegistry& registry, PlayerType type, std::uint32_t release) {
    registry.putDword(playerKeyPath(type) + L"ReleaseType", L"Release", release);
}

}  // namespace korin::testing

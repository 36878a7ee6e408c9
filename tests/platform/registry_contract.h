#pragma once

// What every adapter of the registry port answers, the fake's, the
// stand-in's and the Win32 one's alike: one table of calls below a fresh key
// of HKLM\SOFTWARE, each with the Reg functions' status.

#include "platform/error_codes.h"
#include "platform/registry.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace korin::testing {

enum class RegStep {
    Open,         // the key at path with access
    Create,       // the key at path with access (parents made)
    Set,          // value name := type, data
    Query,        // value name gives type and data
    QuerySize,    // value name without a buffer: type and the size of data
    QuerySmall,   // value name into a buffer one byte short: 234 and data's size
    DeleteValue,  // value name
    DeleteKey,    // subkey path of the open key
};

struct RegCase {
    RegStep step;
    const wchar_t* path;  // key below the test key (Open, Create) or the value's name
    std::uint32_t access;
    std::uint32_t type;
    std::string data;
    long status;
};

inline std::string wideBytes(const std::wstring& text, bool terminated) {
    std::string bytes;
    for (wchar_t unit : text) {
        bytes.push_back(static_cast<char>(unit & 0xFF));
        bytes.push_back(static_cast<char>((unit >> 8) & 0xFF));
    }
    if (terminated) {
        bytes.append(2, '\0');
    }
    return bytes;
}

inline std::string littleEndian(std::uint64_t value, std::size_t bytes) {
    std::string data;
    for (std::size_t i = 0; i < bytes; ++i) {
        data.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
    }
    return data;
}

inline const RegCase kRegCases[] = {
    {RegStep::Open, L"Key", kKeyRead, 0, "", 2},
    {RegStep::Create, L"Key\\Sub", kKeyAllAccess, 0, "", 0},
    {RegStep::Create, L"Key", kKeyAllAccess, 0, "", 0},
    {RegStep::Query, L"Missing", 0, 0, "", 2},
    {RegStep::Set, L"Dword", 0, kRegDword, littleEndian(3, 4), 0},
    {RegStep::Query, L"DWORD", 0, kRegDword, littleEndian(3, 4), 0},
    {RegStep::QuerySize, L"Dword", 0, kRegDword, littleEndian(3, 4), 0},
    {RegStep::QuerySmall, L"Dword", 0, kRegDword, littleEndian(3, 4), kErrorMoreData},
    {RegStep::Set, L"Qword", 0, kRegQword, littleEndian(0x1122334455667788ull, 8), 0},
    {RegStep::Query, L"Qword", 0, kRegQword, littleEndian(0x1122334455667788ull, 8), 0},
    {RegStep::Set, L"Ended", 0, kRegSz, wideBytes(L"32.0.0.465", true), 0},
    {RegStep::QuerySize, L"Ended", 0, kRegSz, wideBytes(L"32.0.0.465", true), 0},
    {RegStep::Query, L"Ended", 0, kRegSz, wideBytes(L"32.0.0.465", true), 0},
    // Stored without its terminator, read back as stored.
    {RegStep::Set, L"Bare", 0, kRegSz, wideBytes(L"abc", false), 0},
    {RegStep::QuerySize, L"Bare", 0, kRegSz, wideBytes(L"abc", false), 0},
    {RegStep::Query, L"Bare", 0, kRegSz, wideBytes(L"abc", false), 0},
    {RegStep::QuerySmall, L"Bare", 0, kRegSz, wideBytes(L"abc", false), kErrorMoreData},
    {RegStep::Set, L"Empty", 0, kRegBinary, "", 0},
    {RegStep::QuerySize, L"Empty", 0, kRegBinary, "", 0},
    {RegStep::Set, L"Dword", 0, kRegBinary, "xy", 0},
    {RegStep::Query, L"Dword", 0, kRegBinary, "xy", 0},
    {RegStep::DeleteValue, L"dword", 0, 0, "", 0},
    {RegStep::DeleteValue, L"Dword", 0, 0, "", 2},
    {RegStep::Query, L"Dword", 0, 0, "", 2},
    {RegStep::Open, L"key", kKeyRead, 0, "", 0},
    {RegStep::Set, L"X", 0, kRegDword, littleEndian(1, 4), kErrorAccessDenied},
    {RegStep::DeleteValue, L"Ended", 0, 0, "", kErrorAccessDenied},
    {RegStep::Query, L"Ended", 0, kRegSz, wideBytes(L"32.0.0.465", true), 0},
    {RegStep::Open, L"Key", kKeySetValue, 0, "", 0},
    {RegStep::Query, L"Ended", 0, 0, "", kErrorAccessDenied},
    {RegStep::DeleteKey, L"Missing", 0, 0, "", 2},
    {RegStep::Open, L"", kKeyAllAccess, 0, "", 0},
    {RegStep::DeleteKey, L"Key", 0, 0, "", kErrorAccessDenied},  // it has a subkey
    {RegStep::DeleteKey, L"Key\\Sub", 0, 0, "", 0},
    {RegStep::DeleteKey, L"Key", 0, 0, "", 0},
    {RegStep::Open, L"Key", kKeyRead, 0, "", 2},
};

// Runs the table below HKLM\SOFTWARE\<name>, which must not exist, and
// removes what it made.
inline void holdsTheRegistryContract(Registry& registry, const std::wstring& name) {
    const std::wstring base = L"SOFTWARE\\" + name;
    std::unique_ptr<RegistryKey> key;
    int row = 0;
    for (const RegCase& c : kRegCases) {
        SCOPED_TRACE(::testing::Message() << "registry contract row " << ++row);
        const std::string what(c.path, c.path + std::wcslen(c.path));
        const std::wstring path = *c.path ? base + L"\\" + c.path : base;
        std::uint32_t type = 0;
        std::uint32_t size = 0;
        std::string buffer(c.data.size() + 8, '\x5a');
        long status = -1;
        switch (c.step) {
            case RegStep::Open:
            case RegStep::Create: {
                std::unique_ptr<RegistryKey> opened;
                status =
                    c.step == RegStep::Open
                        ? registry.openKey(RegistryRoot::LocalMachine, path, c.access, opened)
                        : registry.createKey(RegistryRoot::LocalMachine, path, c.access, opened);
                EXPECT_EQ(opened != nullptr, status == 0) << what;
                if (opened) {
                    key = std::move(opened);
                }
                break;
            }
            case RegStep::Set: {
                // A unit that is not zero follows the data: the platform
                // stores a string with the terminator it finds right after it.
                const std::string followed = c.data + "x!";
                status = key->setValue(c.path, c.type, followed.data(),
                                       static_cast<std::uint32_t>(c.data.size()));
                break;
            }
            case RegStep::Query:
                size = static_cast<std::uint32_t>(buffer.size());
                status = key->queryValue(c.path, &type, buffer.data(), &size);
                if (status == 0) {
                    EXPECT_EQ(type, c.type) << what;
                    EXPECT_EQ(buffer.substr(0, size), c.data) << what;
                }
                break;
            case RegStep::QuerySize:
                status = key->queryValue(c.path, &type, nullptr, &size);
                EXPECT_EQ(type, c.type) << what;
                EXPECT_EQ(size, c.data.size()) << what;
                break;
            case RegStep::QuerySmall:
                size = static_cast<std::uint32_t>(c.data.size() - 1);
                status = key->queryValue(c.path, &type, buffer.data(), &size);
                EXPECT_EQ(size, c.data.size()) << what << ": the size needed";
                break;
            case RegStep::DeleteValue:
                status = key->deleteValue(c.path);
                break;
            case RegStep::DeleteKey:
                status = key->deleteSubKey(c.path);
                break;
        }
        EXPECT_EQ(status, c.status) << what;
    }
    key.reset();
    std::unique_ptr<RegistryKey> software;
    ASSERT_EQ(registry.openKey(RegistryRoot::LocalMachine, L"SOFTWARE", kKeyAllAccess, software),
              0);
    EXPECT_EQ(software->deleteSubKey(name), 0);
}

// A 32-bit program's HKLM\SOFTWARE is the 64-bit view's Wow6432Node: a key
// made in the 32-bit view is seen there and nowhere else.
inline void keepsTheThirtyTwoBitView(Registry& registry, const std::wstring& name) {
    const std::wstring path = L"SOFTWARE\\" + name;
    std::unique_ptr<RegistryKey> key;
    ASSERT_EQ(
        registry.createKey(RegistryRoot::LocalMachine, path, kKeyAllAccess | kKeyWow64_32Key, key),
        0);
    const std::uint32_t one = 1;
    EXPECT_EQ(key->setValue(L"Seen", kRegDword, &one, 4), 0);
    key.reset();
    struct Case {
        const wchar_t* path;
        std::uint32_t view;
        long status;
    };
    const std::wstring redirected = L"SOFTWARE\\Wow6432Node\\" + name;
    const Case cases[] = {
        {path.c_str(), kKeyWow64_32Key, 0},
        {path.c_str(), kKeyWow64_64Key, 2},
        {redirected.c_str(), kKeyWow64_64Key, 0},
    };
    for (const Case& c : cases) {
        std::unique_ptr<RegistryKey> opened;
        EXPECT_EQ(registry.openKey(RegistryRoot::LocalMachine, c.path, kKeyRead | c.view, opened),
                  c.status)
            << std::string(c.path, c.path + std::wcslen(c.path)) << " view " << c.view;
        std::uint32_t value = 0;
        std::uint32_t size = 4;
        if (opened) {
            EXPECT_EQ(opened->queryValue(L"Seen", nullptr, &value, &size), 0);
            EXPECT_EQ(value, 1u);
        }
    }
    std::unique_ptr<RegistryKey> software;
    ASSERT_EQ(registry.openKey(RegistryRoot::LocalMachine, L"SOFTWARE",
                               kKeyAllAccess | kKeyWow64_32Key, software),
              0);
    EXPECT_EQ(software->deleteSubKey(name), 0);
}

}  // namespace korin::testing

#pragma once

// Setting up a stand-in machine and reading its facts.

#include "platform/standin/machine.h"
#include "platform/standin/registry_db.h"

#include <string>

namespace korin::standin {

// Where the facts stand in the registry, as on Windows.
inline constexpr wchar_t kVersionKey[] = L"HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
inline constexpr wchar_t kEnvironmentKey[] =
    L"HKLM\\SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";
inline constexpr wchar_t kLanguageKey[] =
    L"HKLM\\SYSTEM\\CurrentControlSet\\Control\\Nls\\Language";
// Where Explorer records the user's folders.
inline constexpr wchar_t kShellFoldersKey[] =
    L"HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

// The facts the registry holds; a missing one keeps its default.
MachineFacts readMachineFacts(RegistryDb& registry);
bool writeMachineFacts(RegistryDb& registry, const MachineFacts& facts);

// Makes root a stand-in machine: its folders, its registry with the given
// facts, an empty trust store. A machine that exists keeps what it holds,
// apart from the facts.
bool initMachine(const std::string& root, const MachineFacts& facts, std::string& error);

// Registry data helpers: REG_SZ bytes (UTF-16LE with the terminator) and back.
std::string regSzData(const std::wstring& text);
std::wstring regSzText(const std::string& data);
// REG_DWORD bytes (little-endian) and back; false for data shorter than four.
std::string regDwordData(std::uint32_t value);
bool regDwordValue(const std::string& data, std::uint32_t& value);

}  // namespace korin::standin

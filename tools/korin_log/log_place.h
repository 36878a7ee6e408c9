#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

// The platform's half of korin-log.

namespace korin {

// Where the service writes its log on this machine: its working folder is
// System32, which a 32-bit program on 64-bit Windows sees as SysWOW64.
// Stand-in: inside the machine KORIN_MACHINE_ROOT names. nullopt with the
// reason when there is no such place.
std::optional<std::filesystem::path> defaultLogPath(std::string& error);

// The machine's WinHTTP proxy setting as the service, a 32-bit program,
// reads it, in one line; empty when it cannot be told.
std::string machineProxySetting();

// The portable program, given its arguments in UTF-8 (after the program name).
int korinLogMain(const std::vector<std::string>& args);

}  // namespace korin

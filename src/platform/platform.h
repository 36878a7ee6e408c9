#pragma once

namespace korin {

class Clock;
class Files;
class Guids;
class Http;
class Registry;
class Processes;
class Shell;
class SystemInfo;
class StringTable;
class CryptoLibraries;

// The ports through which the core reaches the operating system. The
// composition root (main) fills it with the real adapters of its build; unit
// tests fill it with fakes. A port that a build does not need yet stays null.
struct Platform {
    Clock* clock = nullptr;
    Files* files = nullptr;
    Registry* registry = nullptr;
    SystemInfo* system = nullptr;
    StringTable* strings = nullptr;
    Shell* shell = nullptr;
    Http* http = nullptr;
    CryptoLibraries* cryptoLibraries = nullptr;
    Guids* guids = nullptr;
    Processes* processes = nullptr;
};

}  // namespace korin

#pragma once

// The bundle of every port the core reaches the system through.

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
class ServiceControl;
class ServiceDispatcher;
class ComRuntime;
class TaskScheduling;
class SecureRandom;
class ConsoleOutput;

// The ports through which the core reaches the operating system. Three
// bundles fill it, every port of it: WinPlatform (service/win_platform_win.h)
// with the Win32 adapters, StandInPlatform (service/standin_platform_posix.h)
// with the stand-in machine's, and the tests' FakePlatform with fakes.
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
    ServiceControl* serviceControl = nullptr;
    ServiceDispatcher* serviceDispatcher = nullptr;
    ComRuntime* com = nullptr;
    TaskScheduling* taskScheduling = nullptr;
    SecureRandom* random = nullptr;
    ConsoleOutput* console = nullptr;
};

// The name of the first null port ("clock", "files", ...), or null when every
// port is filled: each bundle's checkComplete asks it once.
const char* missingPort(const Platform& platform);

}  // namespace korin

#include "platform/platform.h"

namespace korin {

const char* missingPort(const Platform& platform) {
    const struct {
        const void* port;
        const char* name;
    } ports[] = {
        {platform.clock, "clock"},
        {platform.files, "files"},
        {platform.registry, "registry"},
        {platform.system, "system"},
        {platform.strings, "strings"},
        {platform.shell, "shell"},
        {platform.http, "http"},
        {platform.cryptoLibraries, "cryptoLibraries"},
        {platform.guids, "guids"},
        {platform.processes, "processes"},
        {platform.serviceControl, "serviceControl"},
        {platform.serviceDispatcher, "serviceDispatcher"},
        {platform.com, "com"},
        {platform.taskScheduling, "taskScheduling"},
        {platform.random, "random"},
        {platform.console, "console"},
    };
    static_assert(sizeof(Platform) == sizeof(ports) / sizeof(ports[0]) * sizeof(void*),
                  "a port added to Platform is missing here");
    for (const auto& entry : ports) {
        if (entry.port == nullptr) {
            return entry.name;
        }
    }
    return nullptr;
}

}  // namespace korin

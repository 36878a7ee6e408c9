#include "service/entry.h"

#include "platform/files.h"
#include "platform/last_error.h"
#include "platform/platform.h"
#include "platform/error_codes.h"
#include "service/service_registration.h"
#include "service/service_runtime.h"
#include "settings/auto_update_mode.h"
#include "settings/runtime_config.h"
#include "support/log.h"
#include "task/update_task.h"
#include "update/update_state.h"

#include <memory>
#include <new>

namespace korin {

namespace {

ServiceContext* currentServiceContext = nullptr;

// The registration actions' results never reach the exit code.
int install(const Platform& platform, const ServiceInfo& info) {
    installService(platform, info);
    return 0;
}

int uninstall(const Platform& platform, const ServiceInfo& info) {
    uninstallService(platform, info);
    return 0;
}

int createTask(const Platform& platform, const ServiceInfo& info) {
    createDefaultTask(platform, info);
    return 0;
}

int deleteTask(const Platform& platform, const ServiceInfo&) {
    // Both results are ignored.
    resetUpdateState(platform);
    deleteUpdateTask(platform);
    return 0;
}

int setSilentAutoUpdate(const Platform& platform, const ServiceInfo&) {
    setAutoUpdateMode(platform, SilentMode);
    return 0;
}

int setNotifyAutoUpdate(const Platform& platform, const ServiceInfo&) {
    setAutoUpdateMode(platform, NotifyMode);
    return 0;
}

int setDisableAutoUpdate(const Platform& platform, const ServiceInfo&) {
    setAutoUpdateMode(platform, DisabledMode);
    return 0;
}

int isSAUEnabled(const Platform& platform, const ServiceInfo&) {
    return isSilentAutoUpdateEnabled(platform) ? kExitSilentAutoUpdateEnabled : 0;
}

constexpr CommandSwitch kSwitches[] = {
    {L"-install", &install},
    {L"-uninstall", &uninstall},
    {L"-deleteTask", &deleteTask},
    {L"-createDefaultTask", &createTask},
    {L"-setSilentAutoUpdate", &setSilentAutoUpdate},
    {L"-setNotifyAutoUpdate", &setNotifyAutoUpdate},
    {L"-setDisableAutoUpdate", &setDisableAutoUpdate},
    {L"-isSAUEnabled", &isSAUEnabled},
};

int runServiceMode(const Platform& platform, const ServiceInfo& info) {
    std::unique_ptr<ServiceContext> context;
    try {
        context = std::make_unique<ServiceContext>(platform, info.modulePath);
    } catch (const std::bad_alloc&) {
        return kExitNoMemory;
    }
    currentServiceContext = context.get();
    const bool ranAsService = runServiceDispatcher(platform);
    currentServiceContext = nullptr;
    context.reset();
    if (!ranAsService) {
        // Started by the task or by hand: the SCM starts a second instance,
        // which reaches the dispatcher. Failures are logged there.
        scmStartService(platform, info);
    }
    return 0;
}

}  // namespace

ServiceContext::ServiceContext(const Platform& platform, std::wstring modulePath)
    : modulePath_(std::move(modulePath)) {
    initRuntimeConfig(platform);
}

ServiceContext* serviceContext() {
    return currentServiceContext;
}

const CommandSwitch* commandSwitches(std::size_t& count) {
    count = sizeof(kSwitches) / sizeof(kSwitches[0]);
    return kSwitches;
}

const CommandSwitch* findSwitch(const std::wstring& argument) {
    for (const CommandSwitch& command : kSwitches) {
        if (argument == command.name) {
            return &command;
        }
    }
    return nullptr;
}

int runProgram(const Platform& platform, int argc, const wchar_t* const* argv) {
    // The module's own path, not argv[0]: started through PATH from another
    // folder, argv[0] joined to the current folder names a file that is not
    // there.
    std::wstring fullPath;
    try {
        if (!platform.files->getModuleFileName(fullPath)) {
            fullPath.clear();  // an unknown path leaves the module path empty
        }
    } catch (const std::bad_alloc&) {
        fullPath.clear();
    }
    writeLog(platform, Info, fullPath);
    writeLog(platform, Info, logCodeMessage(kLogStartup));
    if (argc >= 2) {
        writeLog(platform, Info, argv[1]);
    }

    std::unique_ptr<ServiceInfo> info;
    try {
        info =
            std::make_unique<ServiceInfo>(ServiceInfo{fullPath, kServiceName, kServiceDisplayName});
    } catch (const std::bad_alloc&) {
        setLastError(kErrorNotEnoughMemory);
        writeLog(platform, Error, logCodeLastError(kLogNoMemoryForServiceInfo));
        return kExitNoMemory;
    }

    int exitCode = 0;
    if (argc < 2) {
        exitCode = runServiceMode(platform, *info);
    } else {
        // An argument that names no switch does nothing: it already stands
        // in the log.
        if (const CommandSwitch* command = findSwitch(argv[1])) {
            exitCode = command->action(platform, *info);
        }
    }
    return exitCode;
}

}  // namespace korin

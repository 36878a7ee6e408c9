#include "service/service_registration.h"

#include "platform/last_error.h"
#include "platform/platform.h"
#include "platform/service_control.h"
#include "platform/error_codes.h"
#include "support/log.h"
#include "support/log_codes.h"
#include "support/string_table.h"
#include "task/update_task.h"
#include "update/update_state.h"

#include <memory>
#include <new>

namespace korin {

namespace {

constexpr std::int32_t kLogCreateNoManager = logCode(1219);
constexpr std::int32_t kLogCreateFailed = logCode(1220);
constexpr std::int32_t kLogCreated = logCode(1603);
constexpr std::int32_t kLogReconfigureNoManager = logCode(1303);
constexpr std::int32_t kLogReconfigureNoService = logCode(1304);
constexpr std::int32_t kLogReconfigureFailed = logCode(1427);
constexpr std::int32_t kLogDescribeNoManager = logCode(1230);
constexpr std::int32_t kLogDescribeNoService = logCode(1231);
constexpr std::int32_t kLogDescribeFailed = logCode(1232);
constexpr std::int32_t kLogExistsNoManager = logCode(1302);

// The codes of a request to an existing service: the manager or the service
// cannot be opened, the request failed, the request went out.
struct RequestCodes {
    std::int32_t noManager;
    std::int32_t noService;
    std::int32_t failed;
    std::int32_t done;
};
constexpr RequestCodes kStartCodes{logCode(1221), logCode(1222), logCode(1223), logCode(1604)};
constexpr RequestCodes kStopCodes{logCode(1224), logCode(1225), logCode(1226), logCode(1605)};
constexpr RequestCodes kDeleteCodes{logCode(1227), logCode(1228), logCode(1229), logCode(1606)};

// A path with a space is quoted, so that the manager cannot take its first
// word for the program ("C:\Program.exe" run as LocalSystem).
std::wstring executablePath(const std::wstring& modulePath) {
    if (modulePath.find(L' ') == std::wstring::npos) {
        return modulePath;
    }
    return L"\"" + modulePath + L"\"";
}

// The manager, opened with every right, and one service in it; the service
// closes first.
struct OpenedService {
    std::unique_ptr<ServiceManager> manager;
    std::unique_ptr<ServiceHandle> service;
};

// Logs the code of the step that failed; the service is null then.
OpenedService openService(const Platform& platform, const ServiceInfo& info,
                          std::uint32_t serviceAccess, std::int32_t noManager,
                          std::int32_t noService) {
    OpenedService opened;
    opened.manager = platform.serviceControl->openManager(kScManagerAllAccess);
    if (!opened.manager) {
        logLastError(platform, Error, noManager);
        return opened;
    }
    opened.service = opened.manager->openService(info.serviceName, serviceAccess);
    if (!opened.service) {
        logLastError(platform, Error, noService);
    }
    return opened;
}

// One request to the service opened with every right, and how it went.
template <typename Request>
bool requestService(const Platform& platform, const ServiceInfo& info, const RequestCodes& codes,
                    Request request) {
    const OpenedService opened =
        openService(platform, info, kServiceAllAccess, codes.noManager, codes.noService);
    if (!opened.service) {
        return false;
    }
    if (!request(*opened.service)) {
        logLastError(platform, Error, codes.failed);
        return false;
    }
    writeLog(platform, Info, logCodeMessage(codes.done));
    return true;
}

}  // namespace

bool installService(const Platform& platform, const ServiceInfo& info) {
    bool ok = false;
    if (scmServiceExists(platform, info)) {
        // A stopped service refuses the stop; its configuration stays.
        ok = scmStopService(platform, info) && scmUpdateServiceConfig(platform, info);
    } else {
        ok = scmCreateService(platform, info);
    }
    const bool task = createDefaultTask(platform, info);
    return ok && task;
}

bool uninstallService(const Platform& platform, const ServiceInfo& info) {
    resetUpdateState(platform);
    const bool task = deleteUpdateTask(platform);
    if (!scmServiceExists(platform, info)) {
        return task;
    }
    scmStopService(platform, info);
    const bool deleted = scmDeleteService(platform, info);
    return deleted && task;
}

bool createDefaultTask(const Platform& platform, const ServiceInfo& info) {
    // The first service run checks at once: no attempts, no last check, one
    // day between checks. A failure ends the chain without a word.
    if (writeUpdateAttempts(platform, 0) && writeLastUpdateCheck(platform, true)) {
        writeCheckFrequency(platform, nullptr);
    }
    return createUpdateTask(platform, info.modulePath);
}

bool scmServiceExists(const Platform& platform, const ServiceInfo& info) {
    std::unique_ptr<ServiceManager> manager =
        platform.serviceControl->openManager(kScManagerAllAccess);
    if (!manager) {
        logLastError(platform, Error, kLogExistsNoManager);
        return false;
    }
    return manager->openService(info.serviceName, kServiceAllAccess) != nullptr;
}

bool scmCreateService(const Platform& platform, const ServiceInfo& info) {
    {
        std::unique_ptr<ServiceManager> manager =
            platform.serviceControl->openManager(kScManagerCreateService);
        if (!manager) {
            logLastError(platform, Error, kLogCreateNoManager);
            return false;
        }
        try {
            ServiceDefinition definition;
            definition.serviceName = info.serviceName;
            definition.displayName = info.displayName;
            definition.desiredAccess = kServiceStart | kServiceStop;
            definition.binaryPathName = executablePath(info.modulePath);
            if (!manager->createService(definition)) {
                logLastError(platform, Error, kLogCreateFailed);
                return false;
            }
        } catch (const std::bad_alloc&) {
            logOutOfMemory(platform, kLogCreateFailed);
            return false;
        }
    }
    writeLog(platform, Info, logCodeMessage(kLogCreated));
    return scmSetServiceDescription(platform, info);
}

bool scmUpdateServiceConfig(const Platform& platform, const ServiceInfo& info) {
    {
        const OpenedService opened =
            openService(platform, info, kServiceChangeConfig, kLogReconfigureNoManager,
                        kLogReconfigureNoService);
        if (!opened.service) {
            return false;
        }
        bool changed = false;
        try {
            changed =
                opened.service->changeConfig(kServiceNoChange, kServiceNoChange, kServiceNoChange,
                                             executablePath(info.modulePath), info.displayName);
        } catch (const std::bad_alloc&) {
            setLastError(kErrorNotEnoughMemory);
        }
        if (!changed) {
            logLastError(platform, Warning, kLogReconfigureFailed);
            return false;
        }
    }
    return scmSetServiceDescription(platform, info);
}

bool scmSetServiceDescription(const Platform& platform, const ServiceInfo& info) {
    std::wstring description;
    try {
        description = loadLocalizedText(*platform.strings, kServiceDescriptionText);
    } catch (const std::bad_alloc&) {
        logOutOfMemory(platform, kLogDescribeFailed);
        return false;
    }
    const OpenedService opened = openService(platform, info, kServiceChangeConfig,
                                             kLogDescribeNoManager, kLogDescribeNoService);
    if (!opened.service) {
        return false;
    }
    if (!opened.service->changeDescription(description)) {
        logLastError(platform, Error, kLogDescribeFailed);
        return false;
    }
    return true;
}

bool scmStartService(const Platform& platform, const ServiceInfo& info) {
    return requestService(platform, info, kStartCodes,
                          [](ServiceHandle& service) { return service.start(); });
}

bool scmStopService(const Platform& platform, const ServiceInfo& info) {
    // No wait for the stopped state and no second try.
    return requestService(platform, info, kStopCodes, [](ServiceHandle& service) {
        ServiceStatus status;
        return service.control(kServiceControlStop, status);
    });
}

bool scmDeleteService(const Platform& platform, const ServiceInfo& info) {
    return requestService(platform, info, kDeleteCodes,
                          [](ServiceHandle& service) { return service.deleteService(); });
}

}  // namespace korin

#include "service/service_dispatcher_win.h"

#include "platform/unique_handle_win.h"

#include <windows.h>

#include <atomic>
#include <new>
#include <string>
#include <type_traits>

namespace korin {

namespace {

// Written before the platform can call the trampolines: the service main
// before the dispatcher starts, the handler before its registration.
std::atomic<ServiceMainFunction> storedServiceMain{nullptr};
std::atomic<ServiceControlHandler> storedHandler{nullptr};

// The platform's arguments are not passed on: the service ignores them.
void WINAPI serviceMainTrampoline(DWORD, LPWSTR*) {
    if (ServiceMainFunction serviceMain = storedServiceMain.load()) {
        serviceMain();
    }
}

void WINAPI handlerTrampoline(DWORD control) {
    if (ServiceControlHandler handler = storedHandler.load()) {
        handler(control);
    }
}

// Exactly the callback types the dispatcher calls.
static_assert(std::is_same_v<decltype(&serviceMainTrampoline), LPSERVICE_MAIN_FUNCTIONW>);
static_assert(std::is_same_v<decltype(&handlerTrampoline), LPHANDLER_FUNCTION>);

class WinStopEvent final : public ServiceStopEvent {
  public:
    explicit WinStopEvent(UniqueEvent event) : event_(std::move(event)) {}
    bool set() override { return SetEvent(event_.get()) != FALSE; }

  private:
    UniqueEvent event_;
};

}  // namespace

bool WinServiceDispatcher::startDispatcher(const std::wstring& serviceName,
                                           ServiceMainFunction serviceMain) {
    // The table wants a writable name.
    std::wstring name;
    try {
        name = serviceName;
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    storedServiceMain.store(serviceMain);
    const SERVICE_TABLE_ENTRYW table[] = {
        {name.data(), &serviceMainTrampoline},
        {nullptr, nullptr},
    };
    return StartServiceCtrlDispatcherW(table) != FALSE;
}

ServiceStatusHandle WinServiceDispatcher::registerHandler(const std::wstring& serviceName,
                                                          ServiceControlHandler handler) {
    storedHandler.store(handler);
    const SERVICE_STATUS_HANDLE handle =
        RegisterServiceCtrlHandlerW(serviceName.c_str(), &handlerTrampoline);
    return reinterpret_cast<ServiceStatusHandle>(handle);
}

bool WinServiceDispatcher::setStatus(ServiceStatusHandle handle, const ServiceStatus& status) {
    SERVICE_STATUS record{};
    record.dwServiceType = status.serviceType;
    record.dwCurrentState = status.currentState;
    record.dwControlsAccepted = status.controlsAccepted;
    record.dwWin32ExitCode = status.win32ExitCode;
    record.dwServiceSpecificExitCode = status.serviceSpecificExitCode;
    record.dwCheckPoint = status.checkPoint;
    record.dwWaitHint = status.waitHint;
    return SetServiceStatus(reinterpret_cast<SERVICE_STATUS_HANDLE>(handle), &record) != FALSE;
}

std::unique_ptr<ServiceStopEvent> WinServiceDispatcher::createStopEvent() {
    UniqueEvent event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!event) {
        return nullptr;
    }
    try {
        return std::make_unique<WinStopEvent>(std::move(event));
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
}

}  // namespace korin

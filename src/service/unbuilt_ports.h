#pragma once

// Adapters for the ports whose real adapters are still being written: every
// call fails as the platform fails for a function it does not have
// (ERROR_CALL_NOT_IMPLEMENTED, E_NOTIMPL), so a bundle stays complete and a
// run that reaches one logs a clear code instead of crashing. Each class
// leaves a bundle when its adapter arrives.

#include "platform/com_runtime.h"
#include "platform/last_error.h"
#include "platform/runtime_library.h"
#include "platform/service_control.h"
#include "platform/error_codes.h"
#include "service/service_dispatcher.h"
#include "task/task_scheduler.h"

namespace korin {

class UnbuiltServiceControl final : public ServiceControl {
  public:
    std::unique_ptr<ServiceManager> openManager(std::uint32_t) override {
        setLastError(kErrorCallNotImplemented);
        return nullptr;
    }
};

class UnbuiltServiceDispatcher final : public ServiceDispatcher {
  public:
    bool startDispatcher(const std::wstring&, ServiceMainFunction) override {
        setLastError(kErrorCallNotImplemented);
        return false;
    }
    ServiceStatusHandle registerHandler(const std::wstring&, ServiceControlHandler) override {
        setLastError(kErrorCallNotImplemented);
        return 0;
    }
    bool setStatus(ServiceStatusHandle, const ServiceStatus&) override {
        setLastError(kErrorCallNotImplemented);
        return false;
    }
    std::unique_ptr<ServiceStopEvent> createStopEvent() override {
        setLastError(kErrorCallNotImplemented);
        return nullptr;
    }
};

class UnbuiltComRuntime final : public ComRuntime {
  public:
    HResult initializeEx(std::uint32_t) override { return kENotImpl; }
    HResult initialize() override { return kENotImpl; }
    HResult initializeSecurity(std::uint32_t, std::uint32_t) override { return kENotImpl; }
    void uninitialize() override {}
};

class UnbuiltTaskScheduling final : public TaskScheduling {
  public:
    HResult createTaskService(std::unique_ptr<TaskService>&) override { return kENotImpl; }
    HResult createWorkItemScheduler(std::unique_ptr<WorkItemScheduler>&) override {
        return kENotImpl;
    }
};

class UnbuiltSecureRandom final : public SecureRandom {
  public:
    bool draw(std::uint32_t&) override { return false; }
};

class UnbuiltConsoleOutput final : public ConsoleOutput {
  public:
    bool write(const std::wstring&) override { return false; }
};

// One of each, for a bundle to point its unfilled ports at.
struct UnbuiltPorts {
    UnbuiltServiceControl serviceControl;
    UnbuiltServiceDispatcher serviceDispatcher;
    UnbuiltComRuntime com;
    UnbuiltTaskScheduling taskScheduling;
    UnbuiltSecureRandom random;
    UnbuiltConsoleOutput console;
};

}  // namespace korin

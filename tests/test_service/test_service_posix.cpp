// korin-test-service: a service program for the stand-in manager's tests,
// on the dispatcher port alone. It reports start-pending, then running,
// runs until stopped or for a set time, and reports stopped. It records its
// working folder and each control it gets in "test-service-record.txt" in
// its working folder.
//   korin-test-service [--name NAME] [--start-ms N] [--run-ms N] [--stop-ms N]
//                      [--accept CONTROLS]
// Without a manager behind it, it says why on stderr and exits 1.

#include "platform/service_control.h"
#include "platform/last_error.h"
#include "service/service_dispatcher_posix.h"
#include "service/standin_platform_posix.h"
#include "ground/text.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>

namespace {

struct Settings {
    std::wstring name = L"KorinTestSvc";
    std::uint32_t startMs = 0;                           // start-pending for this long
    std::uint32_t runMs = 60000;                         // then running for at most this long
    std::uint32_t stopMs = 0;                            // stop-pending for this long after a stop
    std::uint32_t accepted = korin::kServiceAcceptStop;  // while running
};

Settings settings;
korin::ServiceDispatcher* dispatcher = nullptr;
korin::ServiceStatusHandle statusHandle = 0;
std::unique_ptr<korin::ServiceStopEvent> stopEvent;
std::mutex recordMutex;

void record(const std::string& line) {
    std::lock_guard lock(recordMutex);
    std::ofstream("test-service-record.txt", std::ios::app) << line << "\n";
}

void report(std::uint32_t state, std::uint32_t accepted, std::uint32_t checkPoint) {
    korin::ServiceStatus status;
    status.serviceType = korin::kServiceWin32OwnProcess;
    status.currentState = state;
    status.controlsAccepted = accepted;
    status.checkPoint = checkPoint;
    status.waitHint = checkPoint == 0 ? 0 : 3000;
    if (!dispatcher->setStatus(statusHandle, status)) {
        record("setStatus failed " + std::to_string(korin::lastError()));
    }
}

void handler(std::uint32_t control) {
    record("control " + std::to_string(control));
    if (control == korin::kServiceControlStop) {
        report(korin::kServiceStopPending, korin::kServiceAcceptStop, 2);
        stopEvent->set();
    }
}

void serviceMain() {
    statusHandle = dispatcher->registerHandler(settings.name, handler);
    if (statusHandle == 0) {
        record("registerHandler failed " + std::to_string(korin::lastError()));
        return;
    }
    report(korin::kServiceStartPending, 0, 1);
    stopEvent = dispatcher->createStopEvent();
    std::this_thread::sleep_for(std::chrono::milliseconds(settings.startMs));
    report(korin::kServiceRunning, settings.accepted, 0);
    auto* event = static_cast<korin::StandInServiceStopEvent*>(stopEvent.get());
    if (event->waitFor(settings.runMs)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(settings.stopMs));
    }
    report(korin::kServiceStopped, 0, 0);
}

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        const auto number = static_cast<std::uint32_t>(std::strtoul(argv[i + 1], nullptr, 10));
        if (option == "--name") {
            settings.name = korin::wideFromUtf8(argv[i + 1]);
        } else if (option == "--start-ms") {
            settings.startMs = number;
        } else if (option == "--run-ms") {
            settings.runMs = number;
        } else if (option == "--stop-ms") {
            settings.stopMs = number;
        } else if (option == "--accept") {
            settings.accepted = number;
        }
    }
    std::string error;
    auto standIn = korin::StandInPlatform::open(error);
    if (!standIn) {
        std::fprintf(stderr, "korin-test-service: %s\n", error.c_str());
        return 2;
    }
    char folder[4096] = {};
    record("folder " + korin::utf8FromWide(standIn->machine().windowsPath(
                           getcwd(folder, sizeof folder) ? folder : "")));
    dispatcher = standIn->platform().serviceDispatcher;
    if (!dispatcher->startDispatcher(settings.name, serviceMain)) {
        const std::uint32_t code = korin::lastError();
        record("startDispatcher failed " + std::to_string(code));
        std::fprintf(stderr, "korin-test-service: startDispatcher failed %u\n", code);
        return 1;
    }
    record("dispatcher returned");
    return 0;
}

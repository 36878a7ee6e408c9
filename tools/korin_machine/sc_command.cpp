#include "sc_command.h"

#include "platform/standin/process_launcher.h"
#include "platform/standin/service_manager.h"
#include "platform/standin/control_channel.h"
#include "platform/standin/service_db.h"
#include "platform/error_codes.h"
#include "ground/text.h"

#include <cstdio>
#include <map>
#include <new>
#include <optional>

namespace korin::standin {

namespace {

constexpr char kScUsage[] =
    "usage: korin-machine sc create NAME binPath= PATH [DisplayName= TEXT] [start= demand|auto|"
    "disabled|boot|system]\n"
    "                               [type= own] [error= normal|severe|critical|ignore]"
    " [obj= LocalSystem]\n"
    "       korin-machine sc config NAME [binPath= PATH] [DisplayName= TEXT] [start= ...]"
    " [type= own] [error= ...]\n"
    "       korin-machine sc description NAME TEXT\n"
    "       korin-machine sc query|qc|start|stop|delete NAME\n"
    "Options are written as sc.exe takes them: the name with its '=', then the value.\n";

// The system's text of the codes this tool can meet.
const char* messageOf(std::uint32_t code) {
    static const std::map<std::uint32_t, const char*> kMessages = {
        {kErrorFileNotFound, "The system cannot find the file specified."},
        {kErrorPathNotFound, "The system cannot find the path specified."},
        {kErrorAccessDenied, "Access is denied."},
        {kErrorInvalidParameter, "The parameter is incorrect."},
        {kErrorInvalidName, "The filename, directory name, or volume label syntax is incorrect."},
        {kErrorBadExeFormat, "%1 is not a valid Win32 application."},
        {kErrorInvalidServiceControl, "The requested control is not valid for this service."},
        {kErrorServiceRequestTimeout,
         "The service did not respond to the start or control request in a timely fashion."},
        {kErrorServiceAlreadyRunning, "An instance of the service is already running."},
        {kErrorServiceDisabled,
         "The service cannot be started, either because it is disabled or because it has no "
         "enabled devices associated with it."},
        {kErrorServiceDoesNotExist,
         "The specified service does not exist as an installed service."},
        {kErrorServiceCannotAcceptCtrl, "The service cannot accept control messages at this time."},
        {kErrorServiceNotActive, "The service has not been started."},
        {kErrorFailedServiceControllerConnect,
         "The service process could not connect to the service controller."},
        {kErrorServiceMarkedForDelete, "The specified service has been marked for deletion."},
        {kErrorServiceExists, "The specified service already exists."},
        {kErrorServiceNotInExe,
         "The executable program that this service is configured to run in does not implement "
         "the service."},
    };
    const auto found = kMessages.find(code);
    return found == kMessages.end() ? "" : found->second;
}

const char* stateName(std::uint32_t state) {
    static const char* const kNames[] = {
        "",        "STOPPED",          "START_PENDING", "STOP_PENDING",
        "RUNNING", "CONTINUE_PENDING", "PAUSE_PENDING", "PAUSED"};
    return state < 8 ? kNames[state] : "";
}

const char* startName(std::uint32_t start) {
    static const char* const kNames[] = {"BOOT_START", "SYSTEM_START", "AUTO_START", "DEMAND_START",
                                         "DISABLED"};
    return start < 5 ? kNames[start] : "";
}

const char* errorControlName(std::uint32_t errorControl) {
    static const char* const kNames[] = {"IGNORE", "NORMAL", "SEVERE", "CRITICAL"};
    return errorControl < 4 ? kNames[errorControl] : "";
}

std::string typeText(std::uint32_t type) {
    const char* name = type == 0x10   ? "WIN32_OWN_PROCESS"
                       : type == 0x20 ? "WIN32_SHARE_PROCESS"
                                      : "";
    char text[64];
    std::snprintf(text, sizeof text, "%x  %s", type, name);
    return text;
}

std::string hex(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%x", value);
    return text;
}

int failed(std::ostream& out, const char* call, std::uint32_t code) {
    out << "[SC] " << call << " FAILED " << code << ":\n\n" << messageOf(code) << "\n\n";
    return static_cast<int>(code);
}

int usage(std::ostream& err, const std::string& why) {
    err << "korin-machine sc: " << why << "\n" << kScUsage;
    return static_cast<int>(kErrorInvalidCommandLine);
}

void printStatus(std::ostream& out, const std::string& name, const ServiceStatus& status,
                 std::optional<std::uint32_t> processId) {
    const std::uint32_t accepted = status.controlsAccepted;
    out << "\nSERVICE_NAME: " << name << "\n"
        << "        TYPE               : " << typeText(status.serviceType) << "\n"
        << "        STATE              : " << status.currentState << "  "
        << stateName(status.currentState) << "\n"
        << "                                (" << ((accepted & 1) ? "STOPPABLE" : "NOT_STOPPABLE")
        << ", " << ((accepted & 2) ? "PAUSABLE" : "NOT_PAUSABLE") << ", "
        << ((accepted & 4) ? "ACCEPTS_SHUTDOWN" : "IGNORES_SHUTDOWN") << ")\n"
        << "        WIN32_EXIT_CODE    : " << status.win32ExitCode << "  ("
        << hex(status.win32ExitCode) << ")\n"
        << "        SERVICE_EXIT_CODE  : " << status.serviceSpecificExitCode << "  ("
        << hex(status.serviceSpecificExitCode) << ")\n"
        << "        CHECKPOINT         : " << hex(status.checkPoint) << "\n"
        << "        WAIT_HINT          : " << hex(status.waitHint) << "\n";
    if (processId) {
        out << "        PID                : " << *processId << "\n"
            << "        FLAGS              :\n";
    }
}

// The options of create and config.
struct ScOptions {
    std::uint32_t type = kServiceNoChange;
    std::uint32_t start = kServiceNoChange;
    std::uint32_t errorControl = kServiceNoChange;
    std::optional<std::wstring> binaryPath;
    std::optional<std::wstring> displayName;
};

std::optional<std::uint32_t> pick(
    const std::string& value, std::initializer_list<std::pair<const char*, std::uint32_t>> names) {
    for (const auto& [name, number] : names) {
        if (equalsIgnoreCase(wideFromUtf8(value), wideFromUtf8(name))) {
            return number;
        }
    }
    return std::nullopt;
}

// False with the reason for anything sc.exe would not take.
bool parseOptions(const std::vector<std::string>& args, std::size_t first, ScOptions& options,
                  std::string& why) {
    for (std::size_t i = first; i < args.size(); i += 2) {
        const std::wstring option = asciiLower(wideFromUtf8(args[i]));
        if (option.empty() || option.back() != L'=' || i + 1 >= args.size()) {
            why = "'" + args[i] + "' is not an option followed by its value";
            return false;
        }
        const std::string& value = args[i + 1];
        std::optional<std::uint32_t> number;
        if (option == L"binpath=") {
            options.binaryPath = wideFromUtf8(value);
            continue;
        }
        if (option == L"displayname=") {
            options.displayName = wideFromUtf8(value);
            continue;
        }
        if (option == L"obj=") {
            if (!equalsIgnoreCase(wideFromUtf8(value), L"LocalSystem")) {
                why = "services run as LocalSystem only";
                return false;
            }
            continue;
        }
        if (option == L"type=") {
            number = pick(value, {{"own", kServiceWin32OwnProcess}});
            options.type = number.value_or(0);
        } else if (option == L"start=") {
            number = pick(
                value, {{"boot", 0}, {"system", 1}, {"auto", 2}, {"demand", 3}, {"disabled", 4}});
            options.start = number.value_or(0);
        } else if (option == L"error=") {
            number = pick(value, {{"ignore", 0}, {"normal", 1}, {"severe", 2}, {"critical", 3}});
            options.errorControl = number.value_or(0);
        } else {
            why = "unknown option '" + args[i] + "'";
            return false;
        }
        if (!number) {
            why = "'" + value + "' is no value of " + args[i];
            return false;
        }
    }
    return true;
}

std::uint32_t orDefault(std::uint32_t value, std::uint32_t fallback) {
    return value == kServiceNoChange ? fallback : value;
}

// A manager call's code; running out of memory is 8, as the platform answers.
template <typename Call>
std::uint32_t answer(Call call) {
    try {
        return call();
    } catch (const std::bad_alloc&) {
        return kErrorNotEnoughMemory;
    }
}

}  // namespace

int runScCommand(const Machine& machine, RegistryDb& registry, const std::vector<std::string>& args,
                 std::ostream& out, std::ostream& err) {
    if (args.size() < 2) {
        return usage(err, "a command and a service name are needed");
    }
    const std::string& verb = args[0];
    const std::string& nameText = args[1];
    const std::wstring name = wideFromUtf8(nameText);
    ScOptions options;
    std::string why;
    const bool takesOptions = verb == "create" || verb == "config";
    if (takesOptions && !parseOptions(args, 2, options, why)) {
        return usage(err, why);
    }
    if (verb == "create" && !options.binaryPath) {
        return usage(err, "create needs binPath=");
    }
    if (verb == "description" ? args.size() != 3 : !takesOptions && args.size() != 2) {
        return usage(err, "unexpected arguments for " + verb);
    }
    const bool known = takesOptions || verb == "description" || verb == "query" || verb == "qc" ||
                       verb == "start" || verb == "stop" || verb == "delete";
    if (!known) {
        return usage(err, "unknown sc command '" + verb + "'");
    }

    // Service programs are started by a 64-bit manager: no redirection.
    const ProcessLauncher launcher(ProgramView(machine, false));
    ServiceControlManager manager(
        machine, registry,
        [&launcher](const std::wstring& imagePath, const std::wstring& folder,
                    const std::vector<std::string>& environment, std::uint32_t& processId) {
            return launcher.start(L"", imagePath, folder, environment, processId);
        });
    if (verb == "create") {
        ServiceConfig config;
        config.type = orDefault(options.type, kServiceWin32OwnProcess);
        config.start = orDefault(options.start, kServiceDemandStart);
        config.errorControl = orDefault(options.errorControl, kServiceErrorNormal);
        config.imagePath = *options.binaryPath;
        config.displayName = options.displayName.value_or(name);
        if (config.displayName.empty()) {
            config.displayName = name;
        }
        if (const std::uint32_t error = answer([&] { return manager.create(name, config); })) {
            return failed(out, "CreateService", error);
        }
        out << "[SC] CreateService SUCCESS\n";
        return 0;
    }
    if (verb == "qc") {
        ServiceDb services(registry);
        ServiceConfig config;
        if (std::uint32_t error = services.read(name, config); error != 0) {
            return failed(out, "OpenService", error);
        }
        out << "[SC] QueryServiceConfig SUCCESS\n\n"
            << "SERVICE_NAME: " << nameText << "\n"
            << "        TYPE               : " << typeText(config.type) << "\n"
            << "        START_TYPE         : " << config.start << "   " << startName(config.start)
            << "\n"
            << "        ERROR_CONTROL      : " << config.errorControl << "   "
            << errorControlName(config.errorControl) << "\n"
            << "        BINARY_PATH_NAME   : " << utf8FromWide(config.imagePath) << "\n"
            << "        LOAD_ORDER_GROUP   :\n"
            << "        TAG                : 0\n"
            << "        DISPLAY_NAME       : " << utf8FromWide(config.displayName) << "\n"
            << "        DEPENDENCIES       :\n"
            << "        SERVICE_START_NAME : " << utf8FromWide(config.objectName) << "\n";
        return 0;
    }
    if (const std::uint32_t error = answer([&] { return manager.exists(name); })) {
        return failed(out, verb == "query" ? "EnumQueryServicesStatus:OpenService" : "OpenService",
                      error);
    }
    ServiceStatus status;
    if (verb == "config") {
        if (const std::uint32_t error = answer([&] {
                return manager.database().changeConfig(
                    name, options.type, options.start, options.errorControl,
                    options.binaryPath.value_or(L""), options.displayName.value_or(L""));
            })) {
            return failed(out, "ChangeServiceConfig", error);
        }
        out << "[SC] ChangeServiceConfig SUCCESS\n";
    } else if (verb == "description") {
        if (const std::uint32_t error = answer(
                [&] { return manager.database().setDescription(name, wideFromUtf8(args[2])); })) {
            return failed(out, "ChangeServiceConfig2", error);
        }
        out << "[SC] ChangeServiceConfig2 SUCCESS\n";
    } else if (verb == "query") {
        if (const std::uint32_t error = answer([&] { return manager.query(name, status); })) {
            return failed(out, "QueryServiceStatus", error);
        }
        printStatus(out, nameText, status, std::nullopt);
    } else if (verb == "start") {
        if (const std::uint32_t error = answer([&] { return manager.start(name); })) {
            return failed(out, "StartService", error);
        }
        const ServiceRuntime runtime = readServiceRuntime(machine, name);
        printStatus(out, nameText, runtime.status, runtime.processId);
    } else if (verb == "stop") {
        if (const std::uint32_t error =
                answer([&] { return manager.control(name, kServiceControlStop, status); })) {
            return failed(out, "ControlService", error);
        }
        printStatus(out, nameText, status, std::nullopt);
    } else if (const std::uint32_t error = answer([&] { return manager.markForDeletion(name); })) {
        return failed(out, "DeleteService", error);
    } else {
        out << "[SC] DeleteService SUCCESS\n";
    }
    return 0;
}

}  // namespace korin::standin

#include "schtasks_command.h"

#include "platform/last_error.h"
#include "platform/standin/task_store.h"
#include "reg_command.h"
#include "ground/text.h"

#include <filesystem>
#include <fstream>
#include <iomanip>
#include <map>
#include <optional>
#include <sstream>
#include <system_error>

namespace korin::standin {

namespace {

constexpr char kSchtasksUsage[] =
    "usage: korin-machine schtasks /query [/tn NAME] [/xml]\n"
    "       korin-machine schtasks /run /tn NAME\n"
    "       korin-machine schtasks /delete /tn NAME /f\n"
    "       korin-machine schtasks /create /tn NAME /xml FILE [/f]\n";

constexpr wchar_t kSystemFolder[] = L"C:\\Windows\\System32";

struct Request {
    std::string verb;
    std::optional<std::wstring> name;
    bool xml = false;
    std::string xmlFile;
    bool force = false;
};

bool is(const std::string& arg, const char* option) {
    return equalsIgnoreCase(wideFromUtf8(arg), wideFromUtf8(option)) ||
           (!arg.empty() && arg[0] == '-' &&
            equalsIgnoreCase(wideFromUtf8("/" + arg.substr(1)), wideFromUtf8(option)));
}

bool parse(const std::vector<std::string>& args, Request& request, std::string& why) {
    if (args.empty()) {
        why = "a verb is needed";
        return false;
    }
    for (const char* verb : {"/query", "/run", "/delete", "/create"}) {
        if (is(args[0], verb)) {
            request.verb = verb;
        }
    }
    if (request.verb.empty()) {
        why = "unknown verb '" + args[0] + "'";
        return false;
    }
    for (std::size_t i = 1; i < args.size(); ++i) {
        if (is(args[i], "/tn") && i + 1 < args.size()) {
            request.name = wideFromUtf8(args[++i]);
        } else if (is(args[i], "/xml")) {
            request.xml = true;
            if (request.verb == "/create") {
                if (i + 1 >= args.size()) {
                    why = "/xml needs a file";
                    return false;
                }
                request.xmlFile = args[++i];
            }
        } else if (is(args[i], "/f")) {
            request.force = true;
        } else {
            why = "unexpected argument '" + args[i] + "'";
            return false;
        }
    }
    const bool needsName = request.verb != "/query";
    if (needsName && !request.name) {
        why = request.verb + " needs /tn NAME";
    } else if (request.verb == "/delete" && !request.force) {
        why = "/delete asks no question here: give /f";
    } else if (request.verb == "/create" && !request.xml) {
        why = "/create takes the task as /xml FILE";
    } else if (request.xml && request.verb != "/query" && request.verb != "/create") {
        why = "/xml goes with /query or /create";
    } else if (request.force && request.verb != "/delete" && request.verb != "/create") {
        why = "/f goes with /delete or /create";
    }
    return why.empty();
}

// schtasks.exe's words for a failure.
std::string errorText(HResult result) {
    switch (static_cast<std::uint32_t>(result)) {
        case 0x80070002u:
            return "The system cannot find the file specified.";
        case 0x80070003u:
            return "The system cannot find the path specified.";
        case 0x80070005u:
            return "Access is denied.";
        case 0x8007007Bu:
            return "The filename, directory name, or volume label syntax is incorrect.";
        case 0x800700B7u:
            return "Cannot create a file when that file already exists.";
        case 0x800700C1u:
            return "%1 is not a valid Win32 application.";
        case static_cast<std::uint32_t>(kSchedEMalformedXml):
            return "The task XML is malformed.";
        case static_cast<std::uint32_t>(kSchedEMissingNode):
            return "The task XML is missing a required element or attribute.";
        case static_cast<std::uint32_t>(kSchedEInvalidTask):
            return "The object is either an invalid task object or is not a task object.";
        default: {
            std::ostringstream text;
            text << "0x" << std::hex << std::uppercase << std::setw(8) << std::setfill('0')
                 << static_cast<std::uint32_t>(result) << ".";
            return text.str();
        }
    }
}

int fail(std::ostream& err, HResult result) {
    err << "ERROR: " << errorText(result) << "\n";
    return kExitFailed;
}

// What the scheduler starts for a task: its program, arguments and folder.
struct Launch {
    std::wstring program;
    std::wstring arguments;
    std::wstring folder;
};

class Schtasks {
  public:
    Schtasks(const Machine& machine, const MachineFacts& facts, const ProcessLauncher& launcher,
             std::ostream& out, std::ostream& err)
        : machine_(machine),
          launcher_(launcher),
          store_(machine),
          out_(out),
          err_(err),
          version2_(facts.majorVersion >= 6) {}

    int run(const Request& request) {
        std::wstring name;
        if (request.name && !nameOf(*request.name, name)) {
            return fail(err_, hresultFromWin32(kErrorInvalidName));
        }
        if (request.verb == "/query") {
            return query(request.name ? std::optional(name) : std::nullopt, request.xml);
        }
        if (request.verb == "/run") {
            return start(name, *request.name);
        }
        if (request.verb == "/delete") {
            const HResult result =
                version2_ ? store_.deleteTask(name) : store_.deleteWorkItem(name);
            if (!succeeded(result)) {
                return fail(err_, result);
            }
            out_ << "SUCCESS: The scheduled task \"" << utf8FromWide(*request.name)
                 << "\" was successfully deleted.\n";
            return kExitDone;
        }
        return create(name, *request.name, request.xmlFile, request.force);
    }

  private:
    // The store's name of a task: its path on 2.0, the work item's name on 1.0.
    bool nameOf(const std::wstring& given, std::wstring& name) const {
        if (version2_) {
            return TaskStore::normalTaskPath(given, name);
        }
        name = !given.empty() && given[0] == L'\\' ? given.substr(1) : given;
        return !name.empty();
    }

    std::string statusOf(const std::wstring& name) const {
        if (!version2_) {
            WorkItemData item;
            return succeeded(store_.readWorkItem(name, item)) ? "Ready" : "Could not start";
        }
        std::unique_ptr<XmlElement> task;
        if (!succeeded(store_.readTask(name, task))) {
            return "Could not start";
        }
        const XmlElement* settings = task->child(L"Settings");
        return settings != nullptr && settings->childText(L"Enabled") == L"false" ? "Disabled"
                                                                                  : "Ready";
    }

    int query(const std::optional<std::wstring>& name, bool xml) {
        std::vector<std::wstring> names;
        if (name) {
            const bool exists = version2_ ? store_.taskExists(*name) : store_.workItemExists(*name);
            if (!exists) {
                return fail(err_, kHResultFileNotFound);
            }
            names.push_back(*name);
        } else {
            names = version2_ ? store_.taskPaths() : store_.workItemNames();
        }
        if (names.empty()) {
            out_ << "INFO: There are no scheduled tasks presently available at your access "
                    "level.\n";
            return kExitDone;
        }
        return xml ? printStored(names, names.size() > 1) : printTable(names);
    }

    int printStored(const std::vector<std::wstring>& names, bool labelled) {
        int exitCode = kExitDone;
        for (const std::wstring& name : names) {
            std::string text;
            HResult result = kSOk;
            if (version2_) {
                std::unique_ptr<XmlElement> task;
                result = store_.readTask(name, task);
                if (succeeded(result)) {
                    text = utf8FromWide(taskXmlText(*task));
                    std::erase(text, '\r');
                }
            } else {
                WorkItemData item;
                result = store_.readWorkItem(name, item);
                text = TaskStore::workItemText(item);
            }
            if (labelled) {
                out_ << "<!-- " << utf8FromWide(name) << " -->\n";
            }
            if (!succeeded(result)) {
                exitCode = fail(err_, result);
                continue;
            }
            out_ << text;
        }
        return exitCode;
    }

    int printTable(const std::vector<std::wstring>& names) {
        // schtasks.exe groups the 2.0 tasks by folder.
        std::map<std::wstring, std::vector<std::wstring>> folders;
        for (const std::wstring& name : names) {
            const auto slash = name.rfind(L'\\');
            const bool nested = version2_ && slash != std::wstring::npos && slash > 0;
            folders[nested ? name.substr(0, slash) : L"\\"].push_back(name);
        }
        for (const auto& [folder, tasks] : folders) {
            out_ << "\n";
            if (version2_) {
                out_ << "Folder: " << utf8FromWide(folder) << "\n";
            }
            out_ << std::left << std::setw(41) << "TaskName" << std::setw(23) << "Next Run Time"
                 << "Status\n"
                 << std::string(40, '=') << " " << std::string(22, '=') << " "
                 << std::string(15, '=') << "\n";
            for (const std::wstring& task : tasks) {
                const std::wstring leaf = task.substr(task.rfind(L'\\') + 1);
                out_ << std::setw(41) << utf8FromWide(version2_ ? leaf : task) << std::setw(23)
                     << "N/A" << statusOf(task) << "\n";
            }
        }
        return kExitDone;
    }

    HResult launchOf(const std::wstring& name, Launch& launch) const {
        if (!version2_) {
            WorkItemData item;
            const HResult result = store_.readWorkItem(name, item);
            launch = {item.applicationName, item.parameters, item.workingDirectory};
            return result;
        }
        std::unique_ptr<XmlElement> task;
        const HResult result = store_.readTask(name, task);
        if (!succeeded(result)) {
            return result;
        }
        const XmlElement* actions = task->child(L"Actions");
        const XmlElement* exec = actions != nullptr ? actions->child(L"Exec") : nullptr;
        if (exec == nullptr) {
            return kSchedEMissingNode;
        }
        launch = {exec->childText(L"Command"), exec->childText(L"Arguments"),
                  exec->childText(L"WorkingDirectory")};
        return kSOk;
    }

    // As the scheduler starts a task: its program by full path, with the
    // task's arguments only, detached, in System32 unless the task names a
    // folder. The scheduler is a native process, so nothing is redirected.
    int start(const std::wstring& name, const std::wstring& given) {
        Launch launch;
        const HResult result = launchOf(name, launch);
        if (!succeeded(result)) {
            return fail(err_, result);
        }
        if (launch.program.empty()) {
            return fail(err_, kSchedEMissingNode);
        }
        std::error_code error;
        const std::filesystem::path saved = std::filesystem::current_path(error);
        const std::wstring folder = launch.folder.empty() ? kSystemFolder : launch.folder;
        std::filesystem::current_path(machine_.hostPath(folder, false), error);
        if (error) {
            return fail(err_, hresultFromWin32(kErrorDirectory));
        }
        // The launcher is a 32-bit program's; the scheduler's thread is native.
        setWow64RedirectionEnabled(false);
        std::wstring commandLine = L"\"" + launch.program + L"\"";
        if (!launch.arguments.empty()) {
            commandLine += L" " + launch.arguments;
        }
        std::uint32_t processId = 0;
        const std::uint32_t code = launcher_.start(launch.program, commandLine, {}, {}, processId);
        setWow64RedirectionEnabled(true);
        std::filesystem::current_path(saved, error);
        if (code != 0) {
            return fail(err_, hresultFromWin32(code));
        }
        out_ << "SUCCESS: Attempted to run the scheduled task \"" << utf8FromWide(given) << "\".\n";
        return kExitDone;
    }

    int create(const std::wstring& name, const std::wstring& given, const std::string& file,
               bool force) {
        if (!version2_) {
            err_ << "ERROR: The Task Scheduler 1.0 of this machine takes no task XML.\n";
            return kExitFailed;
        }
        std::ifstream in(file, std::ios::binary);
        std::string bytes;
        if (in) {
            bytes.resize(kTaskXmlMaxBytes + 1);
            in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
            bytes.resize(static_cast<std::size_t>(in.gcount()));
        }
        if (!in && !in.eof()) {
            return fail(err_, kHResultFileNotFound);
        }
        std::string reason;
        const std::unique_ptr<XmlElement> task = parseTaskXml(bytes, reason);
        if (!task) {
            err_ << "ERROR: The task XML is malformed: " << reason << "\n";
            return kExitFailed;
        }
        if (!hasRequiredNodes(*task)) {
            return fail(err_, kSchedEMissingNode);
        }
        if (store_.taskExists(name) && !force) {
            return fail(err_, hresultFromWin32(kErrorAlreadyExists));
        }
        task->ensureChild(L"RegistrationInfo", kTaskOrder)
            .ensureChild(L"URI", kRegistrationInfoOrder)
            .text = name;
        const HResult result = store_.writeTask(name, *task);
        if (!succeeded(result)) {
            return fail(err_, result);
        }
        out_ << "SUCCESS: The scheduled task \"" << utf8FromWide(given)
             << "\" has successfully been created.\n";
        return kExitDone;
    }

    const Machine& machine_;
    const ProcessLauncher& launcher_;
    TaskStore store_;
    std::ostream& out_;
    std::ostream& err_;
    bool version2_;
};

}  // namespace

int runSchtasksCommand(const Machine& machine, const MachineFacts& facts,
                       const ProcessLauncher& launcher, const std::vector<std::string>& args,
                       std::ostream& out, std::ostream& err) {
    Request request;
    std::string why;
    if (!parse(args, request, why)) {
        err << "korin-machine schtasks: " << why << "\n" << kSchtasksUsage;
        return kExitUsage;
    }
    return Schtasks(machine, facts, launcher, out, err).run(request);
}

}  // namespace korin::standin

#include "platform/standin/task_store.h"

#include "ground/text.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <filesystem>
#include <new>
#include <system_error>

namespace korin::standin {

namespace {

namespace fs = std::filesystem;

// A work item file is a few hundred bytes; this bounds a hostile one.
constexpr std::size_t kWorkItemMaxBytes = 64 * 1024;
constexpr char kWorkItemHeader[] = "[Work Item]";

HResult hresultFromErrno(int error) {
    switch (error) {
        case ENOENT:
            return hresultFromWin32(kErrorFileNotFound);
        case ENOTDIR:
            return hresultFromWin32(kErrorPathNotFound);
        case EACCES:
        case EPERM:
        case EISDIR:
            return hresultFromWin32(kErrorAccessDenied);
        case ENOSPC:
            return hresultFromWin32(kErrorDiskFull);
        case ENAMETOOLONG:
            return hresultFromWin32(kErrorFilenameExcedRange);
        default:
            return kEFail;
    }
}

// A task or work item name as Windows accepts it for one path part.
bool validName(const std::wstring& name) {
    if (name.empty() || name == L"." || name == L"..") {
        return false;
    }
    return std::none_of(name.begin(), name.end(), [](wchar_t c) {
        return c < 0x20 || std::wstring_view(L"/:*?\"<>|\\").find(c) != std::wstring_view::npos;
    });
}

// The whole file, or an errno; false with EFBIG past the bound.
bool readBounded(const std::string& file, std::size_t bound, std::string& bytes, int& error) {
    const int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = errno;
        return false;
    }
    struct stat info;
    error = fstat(fd, &info) != 0               ? errno
            : S_ISDIR(info.st_mode)             ? ENOENT  // a folder is no task
            : std::size_t(info.st_size) > bound ? EFBIG
                                                : 0;
    char chunk[16384];
    while (error == 0) {
        const ssize_t got = read(fd, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            error = got < 0 ? errno : 0;
            break;
        }
        bytes.append(chunk, static_cast<std::size_t>(got));
        if (bytes.size() > bound) {
            error = EFBIG;  // it grew while read
        }
    }
    close(fd);
    return error == 0;
}

std::string encodeValue(const std::wstring& value) {
    std::string out;
    for (const char c : utf8FromWide(value)) {
        if (c == '%' || c == '\r' || c == '\n') {
            static constexpr char kHex[] = "0123456789ABCDEF";
            out += '%';
            out += kHex[static_cast<unsigned char>(c) >> 4];
            out += kHex[c & 0xF];
        } else {
            out += c;
        }
    }
    return out;
}

bool decodeValue(const std::string& text, std::wstring& value) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        unsigned code = 0;
        if (i + 2 >= text.size()) {
            return false;
        }
        const auto [end, failure] =
            std::from_chars(text.data() + i + 1, text.data() + i + 3, code, 16);
        if (failure != std::errc() || end != text.data() + i + 3) {
            return false;
        }
        out += static_cast<char>(code);
        i += 2;
    }
    value = wideFromUtf8(out);
    return true;
}

// A trigger's twenty fields, in TASK_TRIGGER's order.
template <typename Visit>
void visitFields(WorkItemTriggerRecord& t, Visit&& visit) {
    visit(t.triggerSize), visit(t.reserved1), visit(t.beginYear), visit(t.beginMonth),
        visit(t.beginDay), visit(t.endYear), visit(t.endMonth), visit(t.endDay), visit(t.startHour),
        visit(t.startMinute), visit(t.minutesDuration), visit(t.minutesInterval), visit(t.flags),
        visit(t.triggerType), visit(t.typeWords[0]), visit(t.typeWords[1]), visit(t.typeWords[2]),
        visit(t.typeWords[3]), visit(t.reserved2), visit(t.randomMinutesInterval);
}

bool parseTrigger(const std::string& text, WorkItemTriggerRecord& trigger) {
    const char* at = text.data();
    const char* const end = text.data() + text.size();
    bool good = true;
    visitFields(trigger, [&](auto& field) {
        while (at < end && *at == ' ') {
            ++at;
        }
        const auto [next, failure] = std::from_chars(at, end, field);
        good = good && failure == std::errc() && next != at;
        at = next;
    });
    return good && at == end;
}

bool parseWorkItem(const std::string& bytes, WorkItemData& item) {
    std::size_t start = 0;
    bool first = true;
    while (start < bytes.size()) {
        std::size_t stop = bytes.find('\n', start);
        if (stop == std::string::npos) {
            stop = bytes.size();
        }
        std::string line = bytes.substr(start, stop - start);
        start = stop + 1;
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (std::exchange(first, false)) {
            if (line != kWorkItemHeader) {
                return false;
            }
            continue;
        }
        if (line.empty()) {
            continue;
        }
        const auto equals = line.find('=');
        if (equals == std::string::npos) {
            return false;
        }
        const std::string key = line.substr(0, equals);
        const std::string value = line.substr(equals + 1);
        std::wstring* text = key == "ApplicationName"    ? &item.applicationName
                             : key == "Parameters"       ? &item.parameters
                             : key == "WorkingDirectory" ? &item.workingDirectory
                             : key == "Comment"          ? &item.comment
                             : key == "Creator"          ? &item.creator
                             : key == "AccountName"      ? &item.accountName
                                                         : nullptr;
        if (text != nullptr) {
            if (!decodeValue(value, *text)) {
                return false;
            }
        } else if (key == "Flags") {
            const auto [end, failure] =
                std::from_chars(value.data(), value.data() + value.size(), item.flags);
            if (failure != std::errc() || end != value.data() + value.size() || value.empty()) {
                return false;
            }
        } else if (key == "Trigger") {
            WorkItemTriggerRecord trigger;
            if (!parseTrigger(value, trigger) || item.triggers.size() >= 0xFFFF) {
                return false;
            }
            item.triggers.push_back(trigger);
        }
    }
    return !first;
}

}  // namespace

std::unique_ptr<XmlElement> newTaskDefinition() {
    auto task = std::make_unique<XmlElement>(L"Task");
    task->setAttribute(L"version", L"1.2");
    task->setAttribute(L"xmlns", kTaskNamespace);
    XmlElement& principal = task->ensureChild(L"Principals", kTaskOrder).appendChild(L"Principal");
    principal.setAttribute(L"id", L"Author");
    principal.ensureChild(L"RunLevel", kPrincipalOrder).text = L"LeastPrivilege";
    XmlElement& settings = task->ensureChild(L"Settings", kTaskOrder);
    static constexpr const wchar_t* kDefaults[][2] = {{L"MultipleInstancesPolicy", L"IgnoreNew"},
                                                      {L"DisallowStartIfOnBatteries", L"true"},
                                                      {L"StopIfGoingOnBatteries", L"true"},
                                                      {L"AllowHardTerminate", L"true"},
                                                      {L"StartWhenAvailable", L"false"},
                                                      {L"RunOnlyIfNetworkAvailable", L"false"},
                                                      {L"IdleSettings", nullptr},
                                                      {L"AllowStartOnDemand", L"true"},
                                                      {L"Enabled", L"true"},
                                                      {L"Hidden", L"false"},
                                                      {L"RunOnlyIfIdle", L"false"},
                                                      {L"WakeToRun", L"false"},
                                                      {L"ExecutionTimeLimit", L"PT72H"},
                                                      {L"Priority", L"7"}};
    for (const auto& [name, value] : kDefaults) {
        XmlElement& setting = settings.appendChild(name);
        if (value != nullptr) {
            setting.text = value;
        } else {
            setting.appendChild(L"StopOnIdleEnd").text = L"true";
            setting.appendChild(L"RestartOnIdle").text = L"false";
        }
    }
    task->ensureChild(L"Actions", kTaskOrder).setAttribute(L"Context", L"Author");
    return task;
}

bool hasRequiredNodes(const XmlElement& task) {
    const XmlElement* actions = task.child(L"Actions");
    if (actions == nullptr || actions->children.empty()) {
        return false;
    }
    return std::none_of(actions->children.begin(), actions->children.end(), [](const auto& action) {
        return action->name == L"Exec" && action->childText(L"Command").empty();
    });
}

bool TaskStore::normalTaskPath(const std::wstring& path, std::wstring& normal) {
    normal.clear();
    std::size_t start = !path.empty() && path[0] == L'\\' ? 1 : 0;
    while (true) {
        const std::size_t stop = std::min(path.find(L'\\', start), path.size());
        const std::wstring part = path.substr(start, stop - start);
        if (!validName(part)) {
            return false;
        }
        normal += L'\\';
        normal += part;
        if (stop == path.size()) {
            return true;
        }
        start = stop + 1;
    }
}

std::string TaskStore::taskFile(const std::wstring& normalPath) const {
    // The Task Scheduler is a native process: no Wow64 redirection.
    return machine_.hostPath(kTasksFolder + normalPath, false);
}

std::string TaskStore::workItemFile(const std::wstring& name) const {
    return machine_.hostPath(std::wstring(kWorkItemsFolder) + L"\\" + name + L".job", false);
}

HResult TaskStore::readTask(const std::wstring& path, std::unique_ptr<XmlElement>& task) const {
    std::wstring normal;
    if (!normalTaskPath(path, normal)) {
        return hresultFromWin32(kErrorInvalidName);
    }
    std::string bytes;
    int error = 0;
    if (!readBounded(taskFile(normal), kTaskXmlMaxBytes, bytes, error)) {
        return error == EFBIG ? kSchedEMalformedXml : hresultFromErrno(error);
    }
    std::string reason;
    task = parseTaskXml(bytes, reason);
    return task ? kSOk : kSchedEMalformedXml;
}

HResult TaskStore::writeWhole(const std::string& file, const std::string& bytes) const {
    std::error_code ignored;
    fs::create_directories(fs::path(file).parent_path(), ignored);
    // Written beside the machine's drives, then moved into place whole.
    std::string temporary = machine_.root() + "/.task-store-XXXXXX";
    const int fd = mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) {
        return hresultFromErrno(errno);
    }
    fchmod(fd, 0644);  // readable like the rest of the machine
    std::size_t done = 0;
    int error = 0;
    while (done < bytes.size() && error == 0) {
        const ssize_t put = write(fd, bytes.data() + done, bytes.size() - done);
        if (put < 0 && errno != EINTR) {
            error = errno;
        } else if (put > 0) {
            done += static_cast<std::size_t>(put);
        }
    }
    if (error == 0 && fsync(fd) != 0) {
        error = errno;
    }
    close(fd);
    if (error == 0 && rename(temporary.c_str(), file.c_str()) != 0) {
        error = errno;
    }
    if (error != 0) {
        unlink(temporary.c_str());
        return hresultFromErrno(error);
    }
    return kSOk;
}

HResult TaskStore::writeTask(const std::wstring& path, const XmlElement& task) const {
    std::wstring normal;
    if (!normalTaskPath(path, normal)) {
        return hresultFromWin32(kErrorInvalidName);
    }
    try {
        return writeWhole(taskFile(normal), taskFileBytes(task));
    } catch (const std::bad_alloc&) {
        return kEOutOfMemory;
    }
}

HResult TaskStore::deleteTask(const std::wstring& path) const {
    std::wstring normal;
    if (!normalTaskPath(path, normal)) {
        return hresultFromWin32(kErrorInvalidName);
    }
    return unlink(taskFile(normal).c_str()) == 0 ? kSOk : hresultFromErrno(errno);
}

bool TaskStore::taskExists(const std::wstring& path) const {
    std::wstring normal;
    struct stat info;
    return normalTaskPath(path, normal) && stat(taskFile(normal).c_str(), &info) == 0 &&
           S_ISREG(info.st_mode);
}

bool TaskStore::folderExists(const std::wstring& path) const {
    std::wstring normal;
    if (path.empty() || path == L"\\") {
        normal.clear();
    } else if (!normalTaskPath(path, normal)) {
        return false;
    }
    struct stat info;
    return stat(taskFile(normal).c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::vector<std::wstring> TaskStore::taskPaths() const {
    std::vector<std::wstring> paths;
    const std::string root = taskFile(L"");
    std::error_code error;
    for (fs::recursive_directory_iterator it(root, error), end; !error && it != end;
         it.increment(error)) {
        if (it->is_regular_file(error)) {
            std::wstring path = wideFromUtf8(it->path().string().substr(root.size()));
            std::replace(path.begin(), path.end(), L'/', L'\\');
            paths.push_back(path);
        }
    }
    std::sort(paths.begin(), paths.end());
    return paths;
}

std::string TaskStore::workItemText(const WorkItemData& item) {
    std::string text = std::string(kWorkItemHeader) + "\n";
    const std::pair<const char*, const std::wstring*> fields[] = {
        {"ApplicationName", &item.applicationName},
        {"Parameters", &item.parameters},
        {"WorkingDirectory", &item.workingDirectory},
        {"Comment", &item.comment},
        {"Creator", &item.creator},
        {"AccountName", &item.accountName}};
    for (const auto& [key, value] : fields) {
        text += std::string(key) + "=" + encodeValue(*value) + "\n";
    }
    text += "Flags=" + std::to_string(item.flags) + "\n";
    for (WorkItemTriggerRecord trigger : item.triggers) {
        std::string line = "Trigger=";
        visitFields(trigger, [&line](auto field) {
            line += std::to_string(field);
            line += ' ';
        });
        line.back() = '\n';
        text += line;
    }
    return text;
}

HResult TaskStore::readWorkItem(const std::wstring& name, WorkItemData& item) const {
    if (!validName(name)) {
        return hresultFromWin32(kErrorInvalidName);
    }
    std::string bytes;
    int error = 0;
    if (!readBounded(workItemFile(name), kWorkItemMaxBytes, bytes, error)) {
        return error == EFBIG ? kSchedEInvalidTask : hresultFromErrno(error);
    }
    try {
        WorkItemData read;
        if (!parseWorkItem(bytes, read)) {
            return kSchedEInvalidTask;
        }
        item = std::move(read);
        return kSOk;
    } catch (const std::bad_alloc&) {
        return kEOutOfMemory;
    }
}

HResult TaskStore::writeWorkItem(const std::wstring& name, const WorkItemData& item) const {
    if (!validName(name)) {
        return hresultFromWin32(kErrorInvalidName);
    }
    try {
        return writeWhole(workItemFile(name), workItemText(item));
    } catch (const std::bad_alloc&) {
        return kEOutOfMemory;
    }
}

HResult TaskStore::deleteWorkItem(const std::wstring& name) const {
    if (!validName(name)) {
        return hresultFromWin32(kErrorInvalidName);
    }
    return unlink(workItemFile(name).c_str()) == 0 ? kSOk : hresultFromErrno(errno);
}

bool TaskStore::workItemExists(const std::wstring& name) const {
    struct stat info;
    return validName(name) && stat(workItemFile(name).c_str(), &info) == 0;
}

std::vector<std::wstring> TaskStore::workItemNames() const {
    std::vector<std::wstring> names;
    std::error_code error;
    for (fs::directory_iterator it(machine_.hostPath(kWorkItemsFolder, false), error), end;
         !error && it != end; it.increment(error)) {
        const std::string file = it->path().filename().string();
        if (file.size() > 4 && file.compare(file.size() - 4, 4, ".job") == 0) {
            names.push_back(wideFromUtf8(file.substr(0, file.size() - 4)));
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace korin::standin

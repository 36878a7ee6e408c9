#include "platform/standin/machine.h"

#include "ground/text.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <vector>

namespace korin::standin {

namespace {

std::vector<std::wstring> splitComponents(const std::wstring& path) {
    std::vector<std::wstring> parts;
    std::wstring current;
    for (wchar_t c : path) {
        if (c == L'\\' || c == L'/') {
            if (!current.empty()) {
                parts.push_back(current);
            }
            current.clear();
        } else {
            current.push_back(c);
        }
    }
    if (!current.empty()) {
        parts.push_back(current);
    }
    return parts;
}

bool isDriveLetter(wchar_t c) {
    return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z');
}

wchar_t upperDrive(wchar_t c) {
    return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - 32) : c;
}

bool exists(const std::string& path) {
    struct stat info;
    return lstat(path.c_str(), &info) == 0;
}

// The entry of folder whose name equals name without regard to ASCII case.
std::string matchName(const std::string& folder, const std::string& name) {
    if (exists(folder + "/" + name)) {
        return name;
    }
    DIR* dir = opendir(folder.empty() ? "/" : folder.c_str());
    if (dir == nullptr) {
        return name;
    }
    std::string found = name;
    const std::wstring wanted = wideFromUtf8(name);
    while (dirent* entry = readdir(dir)) {
        if (equalsIgnoreCase(wideFromUtf8(entry->d_name), wanted)) {
            found = entry->d_name;
            break;
        }
    }
    closedir(dir);
    return found;
}

}  // namespace

Machine::Machine(std::string root) : root_(std::move(root)) {
    while (root_.size() > 1 && root_.back() == '/') {
        root_.pop_back();
    }
}

std::optional<Machine> Machine::fromEnvironment(std::string& error) {
    const char* root = std::getenv(kMachineRootVariable);
    if (root == nullptr || *root == '\0') {
        error = std::string(kMachineRootVariable) +
                " is not set: name a stand-in machine made by 'korin-machine init'";
        return std::nullopt;
    }
    char resolved[PATH_MAX];
    if (realpath(root, resolved) == nullptr ||
        !exists(std::string(resolved) + "/" + kMachineMarker)) {
        error = std::string(kMachineRootVariable) + "=" + root +
                " is not a stand-in machine: make one with 'korin-machine init'";
        return std::nullopt;
    }
    return Machine(resolved);
}

std::wstring Machine::currentDirectory() const {
    char buffer[PATH_MAX];
    if (getcwd(buffer, sizeof buffer) == nullptr) {
        return L"C:\\";
    }
    return windowsPath(buffer);
}

std::wstring Machine::windowsPath(const std::string& host) const {
    const std::string drivePrefix = root_ + "/drive_";
    if (host.compare(0, drivePrefix.size(), drivePrefix) == 0 && host.size() > drivePrefix.size() &&
        (host.size() == drivePrefix.size() + 1 || host[drivePrefix.size() + 1] == '/')) {
        std::wstring path(1, upperDrive(static_cast<wchar_t>(host[drivePrefix.size()])));
        path += L":";
        std::wstring rest = wideFromUtf8(host.substr(drivePrefix.size() + 1));
        for (wchar_t& c : rest) {
            if (c == L'/') {
                c = L'\\';
            }
        }
        return path + (rest.empty() ? L"\\" : rest);
    }
    std::wstring rest = wideFromUtf8(host);
    for (wchar_t& c : rest) {
        if (c == L'/') {
            c = L'\\';
        }
    }
    return L"Z:" + rest;
}

std::wstring Machine::fullPath(const std::wstring& path) const {
    std::wstring drive;
    std::wstring rest;
    if (path.size() >= 2 && isDriveLetter(path[0]) && path[1] == L':') {
        drive = std::wstring(1, upperDrive(path[0])) + L":";
        rest = path.substr(2);
        if (rest.empty() || (rest[0] != L'\\' && rest[0] != L'/')) {
            // "C:name" is relative to that drive's folder; the machine keeps
            // one working folder, so it is taken from the drive's root.
            rest = L"\\" + rest;
        }
    } else if (!path.empty() && (path[0] == L'\\' || path[0] == L'/')) {
        drive = currentDirectory().substr(0, 2);
        rest = path;
    } else {
        const std::wstring cwd = currentDirectory();
        drive = cwd.substr(0, 2);
        rest = cwd.substr(2) + L"\\" + path;
    }
    std::vector<std::wstring> resolved;
    for (const std::wstring& part : splitComponents(rest)) {
        if (part == L".") {
            continue;
        }
        if (part == L"..") {
            if (!resolved.empty()) {
                resolved.pop_back();
            }
            continue;
        }
        resolved.push_back(part);
    }
    std::wstring full = drive;
    for (const std::wstring& part : resolved) {
        full += L"\\" + part;
    }
    if (resolved.empty() || (!path.empty() && (path.back() == L'\\' || path.back() == L'/'))) {
        full += L"\\";
    }
    return full;
}

std::wstring redirectSystem32(const std::wstring& fullPath) {
    const std::wstring lower = asciiLower(fullPath);
    const std::wstring system32 = L"c:\\windows\\system32";
    if (lower.compare(0, system32.size(), system32) != 0 ||
        (lower.size() > system32.size() && lower[system32.size()] != L'\\')) {
        return fullPath;
    }
    // The folders Windows leaves in place for 32-bit programs.
    for (const wchar_t* exempt : {L"\\catroot", L"\\catroot2", L"\\driverstore", L"\\drivers\\etc",
                                  L"\\logfiles", L"\\spool"}) {
        const std::wstring prefix = system32 + exempt;
        if (lower.compare(0, prefix.size(), prefix) == 0 &&
            (lower.size() == prefix.size() || lower[prefix.size()] == L'\\')) {
            return fullPath;
        }
    }
    return fullPath.substr(0, 11) + L"SysWOW64" + fullPath.substr(system32.size());
}

namespace {
thread_local bool threadRedirectionEnabled = true;
}

bool wow64RedirectionEnabled() {
    return threadRedirectionEnabled;
}

void setWow64RedirectionEnabled(bool enabled) {
    threadRedirectionEnabled = enabled;
}

std::string Machine::hostPath(const std::wstring& path, bool wow64Redirection) const {
    std::wstring full = fullPath(path);
    if (wow64Redirection) {
        full = redirectSystem32(full);
    }
    const wchar_t letter = upperDrive(full[0]);
    std::string host =
        letter == L'Z' ? std::string() : root_ + "/drive_" + static_cast<char>(letter - L'A' + 'a');
    for (const std::wstring& part : splitComponents(full.substr(2))) {
        host += "/" + matchName(host, utf8FromWide(part));
    }
    return host.empty() ? "/" : host;
}

bool replaceMachineFile(const std::string& hostPath, const std::string& content) {
    static std::atomic<unsigned> counter{0};
    const std::string temporary = hostPath + "." + std::to_string(getpid()) + "." +
                                  std::to_string(counter.fetch_add(1)) + ".tmp";
    {
        std::ofstream out(temporary, std::ios::trunc);
        out << content;
        out.flush();
        if (!out) {
            unlink(temporary.c_str());
            return false;
        }
    }
    if (rename(temporary.c_str(), hostPath.c_str()) != 0) {
        unlink(temporary.c_str());
        return false;
    }
    return true;
}

}  // namespace korin::standin

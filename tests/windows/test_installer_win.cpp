// A stand-in installer for the Windows tests: records its command line, its
// working folder and its own path, one a line (UTF-8), to
// "installer-record.txt" in its working folder, then exits.

#include <windows.h>

#include <string>

namespace {

std::string utf8(const wchar_t* text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string result(size > 0 ? static_cast<std::size_t>(size) : 1, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, result.data(), size, nullptr, nullptr);
    result.resize(result.size() - 1);
    return result;
}

}  // namespace

int wmain() {
    wchar_t folder[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, folder);
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    const std::string record =
        utf8(GetCommandLineW()) + "\n" + utf8(folder) + "\n" + utf8(self) + "\n";
    // Written under another name and moved, so a reader sees it whole.
    HANDLE file = CreateFileW(L"installer-record.tmp", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return 1;
    }
    DWORD written = 0;
    WriteFile(file, record.data(), static_cast<DWORD>(record.size()), &written, nullptr);
    CloseHandle(file);
    return MoveFileExW(L"installer-record.tmp", L"installer-record.txt", MOVEFILE_REPLACE_EXISTING)
               ? 0
               : 1;
}

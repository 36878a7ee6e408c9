#include "platform/shell_win.h"

#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <vector>

namespace korin {

int WinShell::deletePath(const std::wstring& path) {
    // The source list ends in two terminators.
    std::vector<wchar_t> from(path.begin(), path.end());
    from.push_back(L'\0');
    from.push_back(L'\0');
    SHFILEOPSTRUCTW operation{};
    operation.hwnd = nullptr;
    operation.wFunc = FO_DELETE;
    operation.pFrom = from.data();
    operation.pTo = nullptr;
    operation.fFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOERRORUI;
    return SHFileOperationW(&operation);
}

std::int32_t WinShell::getFolderPath(int csidl, std::wstring& path) {
    wchar_t buffer[MAX_PATH] = {};
    const HRESULT result = SHGetFolderPathW(nullptr, csidl, nullptr, 0, buffer);
    if (SUCCEEDED(result)) {
        path = buffer;
    }
    return result;
}

}  // namespace korin

#include "log_place.h"

#include "platform/winhttp_proxy_setting.h"
#include "platform/registry_win.h"
#include "ground/text.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>

namespace korin {

namespace {

std::string utf8Of(const wchar_t* text) {
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (bytes <= 1) {
        return {};
    }
    std::string result(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, result.data(), bytes, nullptr, nullptr);
    result.resize(static_cast<std::size_t>(bytes - 1));
    return result;
}

// The registry as a 32-bit program sees it, whatever this build is: that is
// the view the service's WinHTTP takes its proxy setting from.
class ServiceViewRegistry final : public Registry {
  public:
    long openKey(RegistryRoot root, const std::wstring& subKey, std::uint32_t access,
                 std::unique_ptr<RegistryKey>& key) override {
        return registry_.openKey(root, subKey, access | kKeyWow64_32Key, key);
    }
    long createKey(RegistryRoot root, const std::wstring& subKey, std::uint32_t access,
                   std::unique_ptr<RegistryKey>& key) override {
        return registry_.createKey(root, subKey, access | kKeyWow64_32Key, key);
    }

  private:
    WinRegistry registry_;
};

}  // namespace

std::string machineProxySetting() {
    ServiceViewRegistry registry;
    return utf8FromWide(describeWinHttpProxySetting(registry));
}

std::optional<std::filesystem::path> defaultLogPath(std::string& error) {
    wchar_t folder[MAX_PATH] = {};
    // GetSystemWow64DirectoryW fails on 32-bit Windows, where System32 is the place.
    UINT length = GetSystemWow64DirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        length = GetSystemDirectoryW(folder, MAX_PATH);
    }
    if (length == 0 || length >= MAX_PATH) {
        error = "the system folder is unknown (error " + std::to_string(GetLastError()) + ")";
        return std::nullopt;
    }
    return std::filesystem::path(std::wstring(folder, length) +
                                 L"\\Tervalon\\Korin\\KorinInstall32.log");
}

}  // namespace korin

int wmain(int argc, wchar_t** argv) {
    // The lines are UTF-8 bytes, LF-ended, the same on both builds.
    _setmode(_fileno(stdout), _O_BINARY);
    SetConsoleOutputCP(CP_UTF8);
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        args.push_back(korin::utf8Of(argv[i]));
    }
    return korin::korinLogMain(args);
}

#include "platform/registry_win.h"

#include "platform/unique_handle_win.h"

#include <windows.h>

namespace korin {

namespace {

HKEY rootKey(RegistryRoot root) {
    return root == RegistryRoot::LocalMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
}

class WinRegistryKey final : public RegistryKey {
  public:
    explicit WinRegistryKey(UniqueHKey key) : key_(std::move(key)) {}

    long queryValue(const std::wstring& name, std::uint32_t* type, void* data,
                    std::uint32_t* size) override {
        DWORD valueType = 0;
        DWORD valueSize = size ? *size : 0;
        const LSTATUS status =
            RegQueryValueExW(key_.get(), name.c_str(), nullptr, type ? &valueType : nullptr,
                             static_cast<BYTE*>(data), size ? &valueSize : nullptr);
        if (type != nullptr) {
            *type = valueType;
        }
        if (size != nullptr) {
            *size = valueSize;
        }
        return status;
    }

    long setValue(const std::wstring& name, std::uint32_t type, const void* data,
                  std::uint32_t size) override {
        return RegSetValueExW(key_.get(), name.c_str(), 0, type, static_cast<const BYTE*>(data),
                              size);
    }

    long deleteValue(const std::wstring& name) override {
        return RegDeleteValueW(key_.get(), name.c_str());
    }

    long deleteSubKey(const std::wstring& subKey) override {
        return RegDeleteKeyW(key_.get(), subKey.c_str());
    }

  private:
    UniqueHKey key_;
};

}  // namespace

long WinRegistry::openKey(RegistryRoot root, const std::wstring& subKey, std::uint32_t access,
                          std::unique_ptr<RegistryKey>& key) {
    UniqueHKey handle;
    const LSTATUS status = RegOpenKeyExW(rootKey(root), subKey.c_str(), 0, access, handle.put());
    if (status == ERROR_SUCCESS) {
        key = std::make_unique<WinRegistryKey>(std::move(handle));
    }
    return status;
}

long WinRegistry::createKey(RegistryRoot root, const std::wstring& subKey, std::uint32_t access,
                            std::unique_ptr<RegistryKey>& key) {
    UniqueHKey handle;
    const LSTATUS status =
        RegCreateKeyExW(rootKey(root), subKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access,
                        nullptr, handle.put(), nullptr);
    if (status == ERROR_SUCCESS) {
        key = std::make_unique<WinRegistryKey>(std::move(handle));
    }
    return status;
}

}  // namespace korin

#include "platform/registry_posix.h"

#include "platform/error_codes.h"

#include <cstring>

namespace korin {

namespace {

class StandInRegistryKey final : public RegistryKey {
  public:
    StandInRegistryKey(standin::RegistryDb& db, std::wstring path, std::uint32_t access)
        : db_(db), path_(std::move(path)), access_(access) {}

    long queryValue(const std::wstring& name, std::uint32_t* type, void* data,
                    std::uint32_t* size) override {
        if ((access_ & kKeyQueryValue) == 0) {
            return static_cast<long>(kErrorAccessDenied);
        }
        if (data != nullptr && size == nullptr) {
            return static_cast<long>(kErrorInvalidParameter);
        }
        standin::RegistryValue value;
        if (long status = db_.queryValue(path_, name, value); status != 0) {
            return status;
        }
        if (type != nullptr) {
            *type = value.type;
        }
        const auto needed = static_cast<std::uint32_t>(value.data.size());
        if (data != nullptr && *size < needed) {
            *size = needed;
            return static_cast<long>(kErrorMoreData);
        }
        if (data != nullptr) {
            std::memcpy(data, value.data.data(), needed);
        }
        if (size != nullptr) {
            *size = needed;
        }
        return 0;
    }

    long setValue(const std::wstring& name, std::uint32_t type, const void* data,
                  std::uint32_t size) override {
        if ((access_ & kKeySetValue) == 0) {
            return static_cast<long>(kErrorAccessDenied);
        }
        const std::string bytes =
            data ? std::string(static_cast<const char*>(data), size) : std::string();
        return db_.setValue(path_, name, type, bytes);
    }

    long deleteValue(const std::wstring& name) override {
        if ((access_ & kKeySetValue) == 0) {
            return static_cast<long>(kErrorAccessDenied);
        }
        return db_.deleteValue(path_, name);
    }

    long deleteSubKey(const std::wstring& subKey) override {
        if (subKey.empty()) {
            return static_cast<long>(kErrorInvalidParameter);
        }
        return db_.deleteKey(path_ + L"\\" + subKey);
    }

  private:
    standin::RegistryDb& db_;
    std::wstring path_;
    std::uint32_t access_;
};

}  // namespace

std::wstring StandInRegistry::keyPath(RegistryRoot root, const std::wstring& subKey,
                                    std::uint32_t access) const {
    return view_.keyPath(root == RegistryRoot::LocalMachine, subKey, access);
}

long StandInRegistry::openKey(RegistryRoot root, const std::wstring& subKey, std::uint32_t access,
                            std::unique_ptr<RegistryKey>& key) {
    const std::wstring path = keyPath(root, subKey, access);
    if (!db_.keyExists(path)) {
        return static_cast<long>(kErrorFileNotFound);
    }
    key = std::make_unique<StandInRegistryKey>(db_, path, access);
    return 0;
}

long StandInRegistry::createKey(RegistryRoot root, const std::wstring& subKey, std::uint32_t access,
                              std::unique_ptr<RegistryKey>& key) {
    const std::wstring path = keyPath(root, subKey, access);
    if (long status = db_.createKey(path); status != 0) {
        return status;
    }
    key = std::make_unique<StandInRegistryKey>(db_, path, access);
    return 0;
}

}  // namespace korin

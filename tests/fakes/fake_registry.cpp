#include "fakes/fake_registry.h"

#include "fakes/fake_files.h"
#include "ground/text.h"
#include "platform/error_codes.h"

#include <cstring>

namespace korin::testing {

class FakeRegistryKey final : public RegistryKey {
  public:
    FakeRegistryKey(FakeRegistry& registry, std::wstring path, std::uint32_t access)
        : registry_(registry), path_(std::move(path)), access_(access) {}

    long queryValue(const std::wstring& name, std::uint32_t* type, void* data,
                    std::uint32_t* size) override {
        if (auto error = registry_.faults.check("queryValue")) {
            return static_cast<long>(*error);
        }
        if ((access_ & kKeyQueryValue) == 0) {
            return static_cast<long>(kErrorAccessDenied);
        }
        auto key = registry_.values_.find(path_);
        if (key == registry_.values_.end() ||
            key->second.find(asciiLower(name)) == key->second.end()) {
            return static_cast<long>(kErrorFileNotFound);
        }
        const FakeRegistry::Value& value = key->second.at(asciiLower(name));
        if (type != nullptr) {
            *type = value.type;
        }
        const auto needed = static_cast<std::uint32_t>(value.data.size());
        if (data != nullptr) {
            if (size == nullptr) {
                return static_cast<long>(kErrorInvalidParameter);
            }
            if (*size < needed) {
                *size = needed;
                return static_cast<long>(kErrorMoreData);
            }
            std::memcpy(data, value.data.data(), needed);
        }
        if (size != nullptr) {
            *size = needed;
        }
        return 0;
    }

    long setValue(const std::wstring& name, std::uint32_t type, const void* data,
                  std::uint32_t size) override {
        if (auto error = registry_.faults.check("setValue")) {
            return static_cast<long>(*error);
        }
        if ((access_ & kKeySetValue) == 0) {
            return static_cast<long>(kErrorAccessDenied);
        }
        if (registry_.keys_.count(path_) == 0) {
            return static_cast<long>(kErrorKeyDeleted);
        }
        registry_.values_[path_][asciiLower(name)] = {
            type, std::string(static_cast<const char*>(data), size)};
        return 0;
    }

    long deleteValue(const std::wstring& name) override {
        if (auto error = registry_.faults.check("deleteValue")) {
            return static_cast<long>(*error);
        }
        if ((access_ & kKeySetValue) == 0) {
            return static_cast<long>(kErrorAccessDenied);
        }
        auto key = registry_.values_.find(path_);
        if (key == registry_.values_.end() || key->second.erase(asciiLower(name)) == 0) {
            return static_cast<long>(kErrorFileNotFound);
        }
        return 0;
    }

    long deleteSubKey(const std::wstring& subKey) override {
        if (auto error = registry_.faults.check("deleteSubKey")) {
            return static_cast<long>(*error);
        }
        const std::wstring child = FakeRegistry::fold(path_ + L"\\" + subKey);
        if (registry_.keys_.count(child) == 0) {
            return static_cast<long>(kErrorFileNotFound);
        }
        const std::wstring prefix = child + L"\\";
        for (const auto& key : registry_.keys_) {
            if (key.compare(0, prefix.size(), prefix) == 0) {
                return static_cast<long>(kErrorAccessDenied);
            }
        }
        registry_.keys_.erase(child);
        registry_.values_.erase(child);
        return 0;
    }

  private:
    FakeRegistry& registry_;
    std::wstring path_;
    std::uint32_t access_;
};

std::wstring FakeRegistry::fold(const std::wstring& path) {
    return asciiLower(path);
}

namespace {

std::wstring rootPath(RegistryRoot root, const std::wstring& subKey) {
    std::wstring path = root == RegistryRoot::LocalMachine ? L"HKLM" : L"HKCU";
    if (!subKey.empty()) {
        path += L"\\" + subKey;
    }
    return path;
}

}  // namespace

long FakeRegistry::openKey(RegistryRoot root, const std::wstring& subKey, std::uint32_t access,
                           std::unique_ptr<RegistryKey>& key) {
    accesses.push_back(access);
    if (auto error = faults.check("openKey")) {
        return static_cast<long>(*error);
    }
    const std::wstring path = fold(rootPath(root, subKey));
    if (keys_.count(path) == 0 && path != L"hklm" && path != L"hkcu") {
        return static_cast<long>(kErrorFileNotFound);
    }
    key = std::make_unique<FakeRegistryKey>(*this, path, access);
    return 0;
}

long FakeRegistry::createKey(RegistryRoot root, const std::wstring& subKey, std::uint32_t access,
                             std::unique_ptr<RegistryKey>& key) {
    accesses.push_back(access);
    if (auto error = faults.check("createKey")) {
        return static_cast<long>(*error);
    }
    const std::wstring path = fold(rootPath(root, subKey));
    for (std::wstring k = path; k.find(L'\\') != std::wstring::npos; k = parentOf(k)) {
        keys_.insert(k);
    }
    key = std::make_unique<FakeRegistryKey>(*this, path, access);
    return 0;
}

void FakeRegistry::putValue(const std::wstring& key, const std::wstring& name, std::uint32_t type,
                            const std::string& data) {
    for (std::wstring k = fold(key); k.find(L'\\') != std::wstring::npos; k = parentOf(k)) {
        keys_.insert(k);
    }
    values_[fold(key)][fold(name)] = {type, data};
}

void FakeRegistry::putDword(const std::wstring& key, const std::wstring& name,
                            std::uint32_t value) {
    putValue(key, name, kRegDword, std::string(reinterpret_cast<const char*>(&value), 4));
}

void FakeRegistry::putQword(const std::wstring& key, const std::wstring& name,
                            std::uint64_t value) {
    putValue(key, name, kRegQword, std::string(reinterpret_cast<const char*>(&value), 8));
}

bool FakeRegistry::hasKey(const std::wstring& key) const {
    return keys_.count(fold(key)) != 0;
}

bool FakeRegistry::hasValue(const std::wstring& key, const std::wstring& name) const {
    return value(key, name).has_value();
}

std::optional<FakeRegistry::Value> FakeRegistry::value(const std::wstring& key,
                                                       const std::wstring& name) const {
    auto found = values_.find(fold(key));
    if (found == values_.end()) {
        return std::nullopt;
    }
    auto entry = found->second.find(fold(name));
    if (entry == found->second.end()) {
        return std::nullopt;
    }
    return entry->second;
}

std::optional<std::uint32_t> FakeRegistry::dword(const std::wstring& key,
                                                 const std::wstring& name) const {
    auto found = value(key, name);
    if (!found || found->data.size() != 4) {
        return std::nullopt;
    }
    std::uint32_t number = 0;
    std::memcpy(&number, found->data.data(), 4);
    return number;
}

std::optional<std::uint64_t> FakeRegistry::qword(const std::wstring& key,
                                                 const std::wstring& name) const {
    auto found = value(key, name);
    if (!found || found->data.size() != 8) {
        return std::nullopt;
    }
    std::uint64_t number = 0;
    std::memcpy(&number, found->data.data(), 8);
    return number;
}

}  // namespace korin::testing

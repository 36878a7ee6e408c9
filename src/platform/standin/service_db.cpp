#include "platform/standin/service_db.h"

#include "platform/registry.h"
#include "platform/standin/machine_setup.h"
#include "platform/error_codes.h"
#include "ground/text.h"

namespace korin::standin {

namespace {

constexpr std::size_t kMaxServiceName = 256;

std::wstring keyOf(const std::wstring& name) {
    return std::wstring(kServicesKey) + L"\\" + name;
}

std::uint32_t storeError(long status) {
    return status == 0 ? 0 : static_cast<std::uint32_t>(status);
}

}  // namespace

bool validServiceName(const std::wstring& name) {
    return !name.empty() && name.size() <= kMaxServiceName &&
           name.find_first_of(L"/\\") == std::wstring::npos;
}

std::uint32_t ServiceDb::setNumber(const std::wstring& key, const wchar_t* name,
                                   std::uint32_t value) {
    return storeError(registry_.setValue(key, name, kRegDword, regDwordData(value)));
}

std::uint32_t ServiceDb::setText(const std::wstring& key, const wchar_t* name,
                                 const std::wstring& text) {
    // ImagePath is REG_EXPAND_SZ on Windows, the other texts REG_SZ.
    const std::uint32_t type = std::wstring(name) == L"ImagePath" ? kRegExpandSz : kRegSz;
    return storeError(registry_.setValue(key, name, type, regSzData(text)));
}

std::uint32_t ServiceDb::create(const std::wstring& name, const ServiceConfig& config) {
    if (!validServiceName(name)) {
        return kErrorInvalidName;
    }
    if (config.imagePath.empty()) {
        return kErrorInvalidParameter;
    }
    ServiceConfig existing;
    if (read(name, existing) == 0) {
        return existing.markedForDeletion ? kErrorServiceMarkedForDelete : kErrorServiceExists;
    }
    const std::wstring key = keyOf(name);
    std::uint32_t error = storeError(registry_.createKey(key));
    for (const auto& [value, number] :
         {std::pair{L"Type", config.type}, std::pair{L"Start", config.start},
          std::pair{L"ErrorControl", config.errorControl}}) {
        error = error != 0 ? error : setNumber(key, value, number);
    }
    for (const auto& [value, text] : {std::pair{L"ImagePath", &config.imagePath},
                                      std::pair{L"DisplayName", &config.displayName},
                                      std::pair{L"ObjectName", &config.objectName}}) {
        error = error != 0 ? error : setText(key, value, *text);
    }
    if (error == 0 && !config.description.empty()) {
        error = setText(key, L"Description", config.description);
    }
    if (error != 0) {
        registry_.deleteTree(key);  // never half a service
    }
    return error;
}

std::uint32_t ServiceDb::read(const std::wstring& name, ServiceConfig& config) {
    const std::wstring key = keyOf(name);
    if (!validServiceName(name) || !registry_.keyExists(key)) {
        return kErrorServiceDoesNotExist;
    }
    config = ServiceConfig{};
    config.objectName.clear();
    for (const RegistryValue& value : registry_.values(key)) {
        std::uint32_t number = 0;
        const bool isNumber = value.type == kRegDword && regDwordValue(value.data, number);
        if (equalsIgnoreCase(value.name, L"Type") && isNumber) {
            config.type = number;
        } else if (equalsIgnoreCase(value.name, L"Start") && isNumber) {
            config.start = number;
        } else if (equalsIgnoreCase(value.name, L"ErrorControl") && isNumber) {
            config.errorControl = number;
        } else if (equalsIgnoreCase(value.name, L"DeleteFlag") && isNumber) {
            config.markedForDeletion = number != 0;
        } else if (equalsIgnoreCase(value.name, L"ImagePath")) {
            config.imagePath = regSzText(value.data);
        } else if (equalsIgnoreCase(value.name, L"DisplayName")) {
            config.displayName = regSzText(value.data);
        } else if (equalsIgnoreCase(value.name, L"ObjectName")) {
            config.objectName = regSzText(value.data);
        } else if (equalsIgnoreCase(value.name, L"Description")) {
            config.description = regSzText(value.data);
        }
    }
    return 0;
}

std::uint32_t ServiceDb::changeConfig(const std::wstring& name, std::uint32_t type,
                                      std::uint32_t start, std::uint32_t errorControl,
                                      const std::wstring& imagePath,
                                      const std::wstring& displayName) {
    ServiceConfig config;
    if (std::uint32_t error = read(name, config); error != 0) {
        return error;
    }
    if (config.markedForDeletion) {
        return kErrorServiceMarkedForDelete;
    }
    const std::wstring key = keyOf(name);
    std::uint32_t error = 0;
    for (const auto& [value, number] : {std::pair{L"Type", type}, std::pair{L"Start", start},
                                        std::pair{L"ErrorControl", errorControl}}) {
        if (error == 0 && number != kNoChange) {
            error = setNumber(key, value, number);
        }
    }
    for (const auto& [value, text] :
         {std::pair{L"ImagePath", &imagePath}, std::pair{L"DisplayName", &displayName}}) {
        if (error == 0 && !text->empty()) {
            error = setText(key, value, *text);
        }
    }
    return error;
}

std::uint32_t ServiceDb::setDescription(const std::wstring& name, const std::wstring& description) {
    ServiceConfig config;
    if (std::uint32_t error = read(name, config); error != 0) {
        return error;
    }
    if (config.markedForDeletion) {
        return kErrorServiceMarkedForDelete;
    }
    return setText(keyOf(name), L"Description", description);
}

std::uint32_t ServiceDb::markForDeletion(const std::wstring& name) {
    ServiceConfig config;
    if (std::uint32_t error = read(name, config); error != 0) {
        return error;
    }
    if (config.markedForDeletion) {
        return kErrorServiceMarkedForDelete;
    }
    return setNumber(keyOf(name), L"DeleteFlag", 1);
}

std::uint32_t ServiceDb::remove(const std::wstring& name) {
    if (!validServiceName(name)) {
        return kErrorServiceDoesNotExist;
    }
    const long status = registry_.deleteTree(keyOf(name));
    return status == static_cast<long>(kErrorFileNotFound) ? kErrorServiceDoesNotExist
                                                           : storeError(status);
}

std::uint32_t ServiceDb::servicesPipeTimeoutMs() {
    RegistryValue value;
    std::uint32_t timeout = 0;
    if (registry_.queryValue(kServiceControlKey, L"ServicesPipeTimeout", value) == 0 &&
        value.type == kRegDword && regDwordValue(value.data, timeout) && timeout > 0) {
        return timeout;
    }
    return kDefaultServicesPipeTimeoutMs;
}

}  // namespace korin::standin

#pragma once

// Owners of Win32 handles, in the spirit of WIL: each closes its handle on
// every path out of the scope that holds it. Closing never changes the
// thread's last error: an owner closed on the way out of a failed call must
// not replace the code the caller is about to log (WinHTTP, for one, sets
// ERROR_SUCCESS when a close succeeds; an interface's Release may call
// anything).

#include "platform/unique_resource.h"

#include <windows.h>

#include <oleauto.h>
#include <unknwn.h>

#include <utility>

namespace korin {

struct FileHandleTraits {
    static HANDLE invalid() { return INVALID_HANDLE_VALUE; }
    static void close(HANDLE handle) { CloseHandle(handle); }
};
struct KernelHandleTraits {
    static HANDLE invalid() { return nullptr; }
    static void close(HANDLE handle) { CloseHandle(handle); }
};
struct FindHandleTraits {
    static HANDLE invalid() { return INVALID_HANDLE_VALUE; }
    static void close(HANDLE handle) { FindClose(handle); }
};
struct HKeyTraits {
    static HKEY invalid() { return nullptr; }
    static void close(HKEY key) { RegCloseKey(key); }
};
struct HModuleTraits {
    static HMODULE invalid() { return nullptr; }
    static void close(HMODULE module) { FreeLibrary(module); }
};

struct ScHandleTraits {
    static SC_HANDLE invalid() { return nullptr; }
    static void close(SC_HANDLE handle) { CloseServiceHandle(handle); }
};
struct BstrTraits {
    static BSTR invalid() { return nullptr; }
    static void close(BSTR text) { SysFreeString(text); }
};

using UniqueFileHandle = UniqueResource<HANDLE, FileHandleTraits>;
using UniqueHandle = UniqueResource<HANDLE, KernelHandleTraits>;
using UniqueFindHandle = UniqueResource<HANDLE, FindHandleTraits>;
using UniqueHKey = UniqueResource<HKEY, HKeyTraits>;
using UniqueHModule = UniqueResource<HMODULE, HModuleTraits>;
using UniqueScHandle = UniqueResource<SC_HANDLE, ScHandleTraits>;
using UniqueEvent = UniqueHandle;
using UniqueBstr = UniqueResource<BSTR, BstrTraits>;

template <typename Interface>
struct ComReleaseTraits {
    static Interface* invalid() { return nullptr; }
    static void close(Interface* com) { com->Release(); }
};

// An interface pointer, released like every other handle.
template <typename Interface>
class ComPtr : public UniqueResource<Interface*, ComReleaseTraits<Interface>> {
  public:
    using UniqueResource<Interface*, ComReleaseTraits<Interface>>::UniqueResource;
    Interface* operator->() const { return this->get(); }
};

// The process and thread handles CreateProcessW hands out, closed together.
class UniqueProcessInformation {
  public:
    UniqueProcessInformation() = default;
    ~UniqueProcessInformation() { reset(); }
    UniqueProcessInformation(UniqueProcessInformation&& other) noexcept
        : info_(std::exchange(other.info_, PROCESS_INFORMATION{})) {}
    UniqueProcessInformation& operator=(UniqueProcessInformation&&) = delete;
    UniqueProcessInformation(const UniqueProcessInformation&) = delete;
    UniqueProcessInformation& operator=(const UniqueProcessInformation&) = delete;

    const PROCESS_INFORMATION& get() const { return info_; }
    PROCESS_INFORMATION* put() {
        reset();
        return &info_;
    }
    void reset() {
        const DWORD error = GetLastError();
        for (HANDLE handle : {info_.hThread, info_.hProcess}) {
            if (handle != nullptr) {
                CloseHandle(handle);
            }
        }
        SetLastError(error);
        info_ = PROCESS_INFORMATION{};
    }

  private:
    PROCESS_INFORMATION info_{};
};

// A VARIANT cleared on every path out, keeping the last error like the rest.
class UniqueVariant {
  public:
    UniqueVariant() { VariantInit(&value_); }
    ~UniqueVariant() { reset(); }
    UniqueVariant(const UniqueVariant&) = delete;
    UniqueVariant& operator=(const UniqueVariant&) = delete;

    VARIANT* get() { return &value_; }
    void reset() {
        const DWORD error = GetLastError();
        VariantClear(&value_);
        SetLastError(error);
    }

  private:
    VARIANT value_;
};

// Pairs a successful CoInitializeEx with its CoUninitialize.
class ComInitScope {
  public:
    explicit ComInitScope(DWORD model) : result_(CoInitializeEx(nullptr, model)) {}
    ~ComInitScope() {
        if (SUCCEEDED(result_)) {
            const DWORD error = GetLastError();
            CoUninitialize();
            SetLastError(error);
        }
    }
    ComInitScope(const ComInitScope&) = delete;
    ComInitScope& operator=(const ComInitScope&) = delete;

    HRESULT result() const { return result_; }

  private:
    HRESULT result_;
};

}  // namespace korin

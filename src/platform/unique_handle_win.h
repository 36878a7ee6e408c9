#pragma once

// Owners of Win32 handles, in the spirit of WIL: each closes its handle on
// every path out of the scope that holds it. Closing never changes the
// thread's last error: an owner closed on the way out of a failed call must
// not replace the code the caller is about to log (WinHTTP, for one, sets
// ERROR_SUCCESS when a close succeeds).

#include <windows.h>

#include <oleauto.h>
#include <wrl/client.h>

#include <utility>

namespace korin {

template <typename Handle, typename Traits>
class UniqueResource {
  public:
    UniqueResource() = default;
    explicit UniqueResource(Handle handle) : handle_(handle) {}
    ~UniqueResource() { reset(); }
    UniqueResource(UniqueResource&& other) noexcept : handle_(other.release()) {}
    UniqueResource& operator=(UniqueResource&& other) noexcept {
        if (this != &other) {
            reset(other.release());
        }
        return *this;
    }
    UniqueResource(const UniqueResource&) = delete;
    UniqueResource& operator=(const UniqueResource&) = delete;

    Handle get() const { return handle_; }
    Handle* put() {
        reset();
        return &handle_;
    }
    Handle release() { return std::exchange(handle_, Traits::invalid()); }
    void reset(Handle handle = Traits::invalid()) {
        if (handle_ != Traits::invalid()) {
            const DWORD error = GetLastError();
            Traits::close(handle_);
            SetLastError(error);
        }
        handle_ = handle;
    }
    explicit operator bool() const { return handle_ != Traits::invalid(); }

  private:
    Handle handle_ = Traits::invalid();
};

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
template <typename T>
using ComPtr = Microsoft::WRL::ComPtr<T>;

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

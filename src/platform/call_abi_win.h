#pragma once

// Compile-time comparison of a function pointer type declared by hand with
// the SDK's own declaration of the function (`decltype(&::Function)`). The
// hand-written types are portable (char16_t for wchar_t, opaque structs,
// std::uint32_t for DWORD), so they are compared by what the call puts on
// the stack: the convention, the number of arguments, and for each argument
// and the result its size and kind (integer, pointer, floating point, void);
// through pointers, the size and kind of what they point at wherever both
// sides are complete. Only __stdcall types match: on i386 a cdecl caller of
// a stdcall export pops the arguments a second time. On x64 the attribute
// is ignored and the other checks remain.

#include <type_traits>

namespace korin::abi {

enum class Kind { Void, Integer, Pointer, Floating, Other };

template <typename T>
constexpr Kind kindOf() {
    if constexpr (std::is_void_v<T>) {
        return Kind::Void;
    } else if constexpr (std::is_integral_v<T> || std::is_enum_v<T>) {
        return Kind::Integer;
    } else if constexpr (std::is_pointer_v<T>) {
        return Kind::Pointer;
    } else if constexpr (std::is_floating_point_v<T>) {
        return Kind::Floating;
    } else {
        return Kind::Other;
    }
}

// void, an opaque struct (CertInfo) or a function has no size to compare.
template <typename T, typename = void>
struct Sized : std::false_type {};

template <typename T>
struct Sized<T, std::void_t<decltype(sizeof(T))>>
    : std::bool_constant<!std::is_void_v<T> && !std::is_function_v<T>> {};

template <typename Declared, typename Sdk>
constexpr bool sameSlot() {
    if constexpr (!Sized<Declared>::value || !Sized<Sdk>::value) {
        return true;
    } else if constexpr (kindOf<Declared>() != kindOf<Sdk>() || sizeof(Declared) != sizeof(Sdk)) {
        return false;
    } else if constexpr (std::is_pointer_v<Declared>) {
        return sameSlot<std::remove_pointer_t<Declared>, std::remove_pointer_t<Sdk>>();
    } else {
        return true;
    }
}

// void is not Sized: the result's kind is compared on its own.
template <typename Declared, typename Sdk>
constexpr bool sameResult() {
    return kindOf<Declared>() == kindOf<Sdk>() && sameSlot<Declared, Sdk>();
}

template <typename Declared, typename Sdk>
struct SameCall : std::false_type {};

template <typename R1, typename... A1, typename R2, typename... A2>
struct SameCall<R1(__stdcall*)(A1...), R2(__stdcall*)(A2...)> {
    static constexpr bool value = [] {
        if constexpr (sizeof...(A1) != sizeof...(A2)) {
            return false;
        } else {
            return sameResult<R1, R2>() && (sameSlot<A1, A2>() && ...);
        }
    }();
};

// True when Declared calls the function Sdk points at as the SDK does.
template <typename Declared, typename Sdk>
inline constexpr bool sameCall = SameCall<Declared, Sdk>::value;

}  // namespace korin::abi

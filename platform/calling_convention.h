// What a function's declared calling convention means for the name a library exports it under:
// on 32-bit Windows a __stdcall function is exported as "name@<argument bytes>" (or with a
// leading underscore, or plain when a .def file says so); everywhere else names stay plain.
#pragma once

#include <cstddef>

namespace platform {

// True on the one platform where __stdcall differs from the C convention.
#if defined(_WIN32) && (defined(__i386__) || defined(_M_IX86))
constexpr bool kStdcallExists = true;
#else
constexpr bool kStdcallExists = false;
#endif

// Bytes of stack an argument of `size` bytes takes on 32-bit x86: whole 4-byte slots.
constexpr std::size_t stackSlotBytes(std::size_t size) { return (size + 3) / 4 * 4; }

template <typename Function>
struct CallingConvention {
  static_assert(sizeof(Function) == 0,
                "the controller operations are declared with a calling convention other than "
                "the C one or __stdcall");
};

template <typename Result, typename... Arguments>
struct CallingConvention<Result (*)(Arguments...)> {
  static constexpr bool kStdcall = false;
  static constexpr std::size_t kArgumentBytes = (std::size_t{0} + ... + stackSlotBytes(sizeof(Arguments)));
};

#if defined(_WIN32) && (defined(__i386__) || defined(_M_IX86))
template <typename Result, typename... Arguments>
struct CallingConvention<Result(__stdcall*)(Arguments...)> {
  static constexpr bool kStdcall = true;
  static constexpr std::size_t kArgumentBytes = (std::size_t{0} + ... + stackSlotBytes(sizeof(Arguments)));
};
#endif

}  // namespace platform

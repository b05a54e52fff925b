// The calling conventions a loaded library's functions may have, and what they mean for the names
// it exports them under: on 32-bit Windows a __stdcall function is exported as
// "name@<argument bytes>" (or with a leading underscore, or plain when a .def file says so), a
// C-convention one plainly; everywhere else there is one convention and names stay plain.
#pragma once

#include <cstddef>

// 1 on the one platform where __stdcall differs from the C convention: 32-bit x86 Windows.
#if defined(_WIN32) && (defined(__i386__) || defined(_M_IX86))
#define BRENIK_CONVENTIONS_DIFFER 1
#define BRENIK_STDCALL __stdcall
#define BRENIK_CDECL __cdecl
#else
#define BRENIK_CONVENTIONS_DIFFER 0
#define BRENIK_STDCALL
#define BRENIK_CDECL
#endif

namespace platform {

constexpr bool kConventionsDiffer = BRENIK_CONVENTIONS_DIFFER != 0;
// True where a library may export a function under a name decorated with its argument bytes.
constexpr bool kDecoratedExportNames = kConventionsDiffer;

// Bytes of stack an argument of `size` bytes takes on 32-bit x86: whole 4-byte slots.
constexpr std::size_t stackSlotBytes(std::size_t size) { return (size + 3) / 4 * 4; }

template <typename T>
struct TypeTag {
  using type = T;
};

// A function pointer's result and parameter types, whichever convention it is declared in.
template <typename Function>
struct FunctionType {
  static_assert(sizeof(Function) == 0,
                "the controller operations are declared with a calling convention other than "
                "the C one or __stdcall");
};

template <typename Result, typename... Parameters>
struct FunctionType<Result (*)(Parameters...)> {
  static constexpr std::size_t kArgumentBytes =
      (std::size_t{0} + ... + stackSlotBytes(sizeof(Parameters)));
  // Calls `visit` with a TypeTag of the result, then one of each parameter.
  template <typename Visit>
  static decltype(auto) apply(Visit&& visit) {
    return visit(TypeTag<Result>{}, TypeTag<Parameters>{}...);
  }
};

#if BRENIK_CONVENTIONS_DIFFER
template <typename Result, typename... Parameters>
struct FunctionType<Result(__stdcall*)(Parameters...)> : FunctionType<Result (*)(Parameters...)> {};
#endif

}  // namespace platform

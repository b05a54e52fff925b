// Calls into a function of a loaded library whose calling convention this program cannot know.
// On 32-bit Windows a closed library may use the C convention (the caller pops the arguments)
// or __stdcall (the function pops them), and its plain export names do not say which. Both pass
// the arguments right to left and return in EAX, so a call that keeps the caller's stack pointer
// in a register the callee must keep (EBX) and puts it back afterwards returns to a balanced
// stack either way; the stack pointer after the call then tells which convention it was. The
// 64-bit and POSIX builds have one convention and call directly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "platform/calling_convention.h"

namespace platform {

// The convention a call showed by the bytes of arguments the called function took off the stack.
enum class ForeignConvention {
  Single,   // the platform has one convention, or the call had no arguments to tell by
  C,        // the caller pops the arguments
  Stdcall,  // the called function pops them
};

#if BRENIK_CONVENTIONS_DIFFER
// Calls `function` with `count` 4-byte stack words (words[0] pushed last, as both conventions
// want) on a stack whose pointer is put back afterwards; `poppedBytes` gets what the function
// took off it. The one piece of assembly of the program, in foreign_call_win32.cpp.
std::uint32_t callWithBalancedStack(const void* function, const std::uint32_t* words,
                                    std::size_t count, std::size_t& poppedBytes);

namespace foreign {

template <typename Argument>
std::uint32_t stackWord(Argument argument) {
  static_assert(sizeof(Argument) <= sizeof(std::uint32_t) &&
                    (std::is_integral_v<Argument> || std::is_pointer_v<Argument>),
                "the controller's operations take ints and pointers, one stack word each");
  if constexpr (std::is_pointer_v<Argument>) {
    return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(argument));
  } else {
    return static_cast<std::uint32_t>(argument);
  }
}

template <typename Result, typename Function, typename... Parameters, typename... Arguments>
Result call(Function function, ForeignConvention* seen, Arguments... arguments) {
  static_assert(sizeof...(Parameters) == sizeof...(Arguments), "one argument per parameter");
  // One extra word so that a call with no arguments still has an array.
  const std::uint32_t words[sizeof...(Arguments) + 1] = {
      stackWord(static_cast<Parameters>(arguments))..., 0};
  std::size_t popped = 0;
  const std::uint32_t value = callWithBalancedStack(reinterpret_cast<const void*>(function), words,
                                                    sizeof...(Arguments), popped);
  if (seen != nullptr) {
    *seen = sizeof...(Arguments) == 0 ? ForeignConvention::Single
            : popped == 0             ? ForeignConvention::C
                                      : ForeignConvention::Stdcall;
  }
  if constexpr (!std::is_void_v<Result>) {
    static_assert(std::is_integral_v<Result> && sizeof(Result) <= sizeof(std::uint32_t),
                  "the controller's operations return an int or nothing, in EAX");
    return static_cast<Result>(value);
  }
}

template <typename Function, typename... Arguments>
auto dispatch(Function function, ForeignConvention* seen, Arguments... arguments) {
  return FunctionType<Function>::apply([&](auto result, auto... parameters) {
    return call<typename decltype(result)::type, Function, typename decltype(parameters)::type...>(
        function, seen, arguments...);
  });
}

}  // namespace foreign

// Calls `function` with `arguments`, whichever convention it really has, and gives its result.
template <typename Function, typename... Arguments>
auto callForeign(Function function, Arguments... arguments) {
  return foreign::dispatch(function, nullptr, arguments...);
}

// The same call, saying which convention the function showed.
template <typename Function, typename... Arguments>
ForeignConvention conventionOfCall(Function function, Arguments... arguments) {
  ForeignConvention seen = ForeignConvention::Single;
  foreign::dispatch(function, &seen, arguments...);
  return seen;
}
#else
template <typename Function, typename... Arguments>
auto callForeign(Function function, Arguments... arguments) {
  return function(arguments...);
}

template <typename Function, typename... Arguments>
ForeignConvention conventionOfCall(Function function, Arguments... arguments) {
  function(arguments...);
  return ForeignConvention::Single;
}
#endif

}  // namespace platform

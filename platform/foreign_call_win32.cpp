// The one piece of assembly of the program, built for 32-bit Windows only: the call that leaves
// the stack balanced whichever convention the called function has (foreign_call.h).
#include <cstddef>
#include <cstdint>

#include "platform/foreign_call.h"

namespace platform {

// The arguments are copied below the caller's stack pointer, 16-byte aligned as compiled code
// assumes, and the function is called; EBX keeps the stack pointer from before and ESI the one
// at the call (both are kept by either convention), so the stack is put back whoever popped the
// arguments, and ESP after the call minus ESI is what the function popped.
std::uint32_t callWithBalancedStack(const void* function, const std::uint32_t* words,
                                    std::size_t count, std::size_t& poppedBytes) {
  std::uint32_t result = 0;
  std::uint32_t popped = 0;
#if defined(__GNUC__)
  std::uint32_t counter = static_cast<std::uint32_t>(count);
  const void* target = function;
  const std::uint32_t* source = words;
  __asm__ volatile(
      "movl %%esp, %%ebx\n\t"
      "leal (,%%ecx,4), %%eax\n\t"
      "subl %%eax, %%esp\n\t"
      "andl $-16, %%esp\n\t"
      "movl %%esp, %%edi\n\t"
      "cld\n\t"
      "rep movsl\n\t"
      "movl %%esp, %%esi\n\t"
      "call *%%edx\n\t"
      "movl %%esp, %%ecx\n\t"
      "subl %%esi, %%ecx\n\t"
      "movl %%ebx, %%esp\n\t"
      : "=a"(result), "+c"(counter), "+d"(target), "+S"(source)
      :
      : "ebx", "edi", "memory", "cc");
  popped = counter;
#elif defined(_MSC_VER)
  __asm {
    mov ebx, esp
    mov ecx, count
    lea eax, [ecx * 4]
    sub esp, eax
    and esp, -16
    mov edi, esp
    mov esi, words
    cld
    rep movsd
    mov esi, esp
    call [function]
    mov ecx, esp
    sub ecx, esi
    mov esp, ebx
    mov result, eax
    mov popped, ecx
  }
#else
#error "no inline assembly for the balanced-stack call with this compiler"
#endif
  poppedBytes = popped;
  return result;
}

}  // namespace platform

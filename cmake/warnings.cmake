# Warnings and floating-point rules shared by every target through one INTERFACE library.
add_library(brenik_options INTERFACE)

if(MSVC)
  target_compile_options(brenik_options INTERFACE
    /W4        # all the useful warnings
    /fp:precise # no contraction or reordering: the same bits as the other compilers
  )
else()
  target_compile_options(brenik_options INTERFACE
    -Wall -Wextra -Wpedantic  # the usual set, kept clean
    -Wshadow                  # a shadowed angle or target is a silent wrong number
    -ffp-contract=off         # no fused multiply-add: strokes must be the same bits everywhere
    -fno-fast-math            # keep IEEE semantics even if a toolchain default says otherwise
  )
endif()

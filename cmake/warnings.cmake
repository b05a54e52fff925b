# Warnings and floating-point rules, each in an INTERFACE target of its own; every target links
# brenik_options, which brings both.
option(BRENIK_WARNINGS_AS_ERRORS "Fail the build on any warning (the test command's builds)" OFF)

add_library(brenik_warnings INTERFACE)
if(MSVC)
  target_compile_options(brenik_warnings INTERFACE
    /W4  # all the useful warnings
  )
  if(BRENIK_WARNINGS_AS_ERRORS)
    target_compile_options(brenik_warnings INTERFACE /WX)
  endif()
else()
  target_compile_options(brenik_warnings INTERFACE
    -Wall -Wextra -Wpedantic  # the usual set, kept clean
    -Wshadow                  # a shadowed angle or target is a silent wrong number
    -Wconversion              # a narrowing between int, float and double changes a command
    -Wdouble-promotion        # a float widened by accident hides where precision is decided
    -Wold-style-cast          # every cast is named, so a reader sees what it converts
    -Wsuggest-override        # an overridden command seam says so, or it silently stops being one
  )
  if(BRENIK_WARNINGS_AS_ERRORS)
    target_compile_options(brenik_warnings INTERFACE -Werror)
  endif()
endif()

add_library(brenik_floating_point INTERFACE)
if(MSVC)
  target_compile_options(brenik_floating_point INTERFACE
    /fp:precise  # no contraction or reordering: the same bits as the other compilers
  )
else()
  target_compile_options(brenik_floating_point INTERFACE
    -ffp-contract=off  # no fused multiply-add: strokes must be the same bits everywhere
    -fno-fast-math     # keep IEEE semantics even if a toolchain default says otherwise
  )
endif()

add_library(brenik_options INTERFACE)
target_link_libraries(brenik_options INTERFACE brenik_warnings brenik_floating_point)

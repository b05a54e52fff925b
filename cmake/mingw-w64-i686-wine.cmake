# Cross build for 32-bit Windows with MinGW-w64 i686, tested under 32-bit Wine.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(BRENIK_MINGW_PREFIX i686-w64-mingw32)
# Arithmetic in SSE2 registers, not in the x87 unit's 80 bits: the strokes come out the same bits
# as on 64-bit builds. Every processor Windows 8 or later runs on has SSE2.
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)

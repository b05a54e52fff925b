# Cross build for Windows with MinGW-w64 (BRENIK_MINGW_PREFIX names the toolchain), running the
# built .exe files under Wine so that ctest treats them like native programs.
set(CMAKE_SYSTEM_NAME Windows)

# The posix flavour: its C++ runtime has std::thread, which the unit tests' framework uses.
find_program(CMAKE_C_COMPILER ${BRENIK_MINGW_PREFIX}-gcc-posix REQUIRED)
find_program(CMAKE_CXX_COMPILER ${BRENIK_MINGW_PREFIX}-g++-posix REQUIRED)
find_program(CMAKE_RC_COMPILER ${BRENIK_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${BRENIK_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Wine, through a wrapper that keeps a prefix of its own inside the build folder, picks the
# loader for the program's bitness and keeps a persistent wine server, so each program start
# takes a fraction of a second.
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/wine-run.sh")

# Fails when a program or library in BIN_DIR imports a DLL that a bare Windows does not have:
# the compiler's runtimes must be linked in, and only the controller library ships beside them.
#   cmake -DOBJDUMP=<objdump> -DBIN_DIR=<folder> -P check_imports.cmake
cmake_minimum_required(VERSION 3.25)
set(allowed kernel32.dll msvcrt.dll ws2_32.dll user32.dll advapi32.dll shell32.dll winmm.dll
            axclcom.dll)

file(GLOB binaries "${BIN_DIR}/*.exe" "${BIN_DIR}/*.dll")
if(NOT binaries)
  message(FATAL_ERROR "no .exe or .dll in ${BIN_DIR}")
endif()

set(failures "")
foreach(binary IN LISTS binaries)
  execute_process(COMMAND ${OBJDUMP} -p ${binary} OUTPUT_VARIABLE dump RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${OBJDUMP} could not read ${binary}")
  endif()
  string(REGEX MATCHALL "DLL Name: [^\r\n]+" imports "${dump}")
  if(NOT imports)
    string(APPEND failures "\n  ${binary}: imports nothing, which no Windows program does")
  endif()
  foreach(import IN LISTS imports)
    string(REPLACE "DLL Name: " "" dll "${import}")
    string(TOLOWER "${dll}" dll)
    if(NOT dll IN_LIST allowed)
      get_filename_component(name ${binary} NAME)
      string(APPEND failures "\n  ${name} imports ${dll}")
    endif()
  endforeach()
  list(LENGTH imports count)
  message(STATUS "${binary}: imports ${count} DLLs")
endforeach()

if(failures)
  message(FATAL_ERROR "DLLs a bare Windows lacks:${failures}")
endif()

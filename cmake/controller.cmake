# Which actuator controller library the programs load, and how its operations are declared.
if(BRENIK_CONTROLLER_LIBRARY)
  message(WARNING "BRENIK_CONTROLLER_LIBRARY is no longer used: the programs load AXCLCOM at run "
                  "time and need no import library; give the vendor's DLL as BRENIK_CONTROLLER_DLL")
endif()
set(BRENIK_CONTROLLER_INCLUDE_DIR "" CACHE PATH
  "Folder with the vendor's AXCLCOM header; empty uses controller/axclcom.h")
# 32-bit controller libraries for Windows mostly export __stdcall functions, as Windows' own do.
if(WIN32 AND CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(brenik_default_call __stdcall)
else()
  set(brenik_default_call "")
endif()
set(BRENIK_CONTROLLER_CALL "${brenik_default_call}" CACHE STRING
  "Calling convention of the controller library's functions (__stdcall or __cdecl); empty is the C default")
set(BRENIK_CONTROLLER_HEADER "" CACHE STRING
  "File name of the vendor's header in BRENIK_CONTROLLER_INCLUDE_DIR (e.g. AXCLCOM.h), included in place of our declarations")
set(BRENIK_CONTROLLER_DLL "" CACHE FILEPATH
  "The vendor's AXCLCOM.dll, copied beside the programs and packaged with them")

# The operations' calling convention, wired once for the programs' loader and the stand-in alike.
add_library(brenik_controller_call INTERFACE)
if(BRENIK_CONTROLLER_CALL)
  target_compile_definitions(brenik_controller_call INTERFACE
                             "AXCLCOM_CALL=${BRENIK_CONTROLLER_CALL}")
endif()

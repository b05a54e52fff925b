# Which actuator controller library the programs load, and how its operations are declared.
if(BRENIK_CONTROLLER_LIBRARY)
  message(WARNING "BRENIK_CONTROLLER_LIBRARY is no longer used: the programs load AXCLCOM at run "
                  "time and need no import library; give the vendor's DLL as BRENIK_CONTROLLER_DLL")
endif()
set(BRENIK_CONTROLLER_INCLUDE_DIR "" CACHE PATH
  "Folder with the vendor's AXCLCOM header; empty uses controller/axclcom.h")
if(BRENIK_CONTROLLER_CALL)
  message(WARNING "BRENIK_CONTROLLER_CALL is no longer used: the 32-bit programs call the "
                  "controller library's operations correctly in either convention")
  unset(BRENIK_CONTROLLER_CALL CACHE)
endif()
set(BRENIK_CONTROLLER_HEADER "" CACHE STRING
  "File name of the vendor's header in BRENIK_CONTROLLER_INCLUDE_DIR (e.g. AXCLCOM.h), included in place of our declarations")
set(BRENIK_CONTROLLER_DLL "" CACHE FILEPATH
  "The vendor's AXCLCOM.dll, copied beside the programs and packaged with them")


# Which actuator controller library the programs link: the bundled stand-in, or the vendor's.
set(BRENIK_CONTROLLER_LIBRARY "" CACHE FILEPATH
  "Import library of the real AXCLCOM controller library; empty links the bundled stand-in")
set(BRENIK_CONTROLLER_INCLUDE_DIR "" CACHE PATH
  "Folder with the vendor's AXCLCOM header; empty uses controller/axclcom.h")
set(BRENIK_CONTROLLER_CALL "" CACHE STRING
  "Calling convention of the controller library's functions (e.g. __stdcall); empty is the C default")
set(BRENIK_CONTROLLER_HEADER "" CACHE STRING
  "File name of the vendor's header in BRENIK_CONTROLLER_INCLUDE_DIR (e.g. AXCLCOM.h), included in place of our declarations")
set(BRENIK_CONTROLLER_DLL "" CACHE FILEPATH
  "The vendor's AXCLCOM.dll, copied beside the programs and packaged with them")

# The Windows ZIP: both programs, an example settings file and the README at the top; the
# stand-in controller library only in simulator/, so it is never loaded in the real one's place.
if(NOT WIN32)
  return()
endif()

install(TARGETS L_BrenikReceiver R_BrenikReceiver RUNTIME DESTINATION .)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/brenik.ini ${PROJECT_SOURCE_DIR}/README.md
        DESTINATION .)
install(FILES $<TARGET_FILE:AXCLCOM> DESTINATION simulator)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/simulator-README.txt DESTINATION simulator
        RENAME README.txt)
if(BRENIK_CONTROLLER_DLL)
  install(FILES ${BRENIK_CONTROLLER_DLL} DESTINATION .)
endif()

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME brenik-receivers)
set(CPACK_PACKAGE_VENDOR "Brenik")
set(CPACK_PACKAGE_FILE_NAME "brenik-receivers-${PROJECT_VERSION}-win64")
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
include(CPack)

# The Windows ZIP, named for its bitness: both programs, the bench tools, an example settings
# file and the Windows guide at the top; the stand-in controller library only in simulator/, so
# it is never loaded in the real one's place. Text files get Windows' line ends.
if(NOT WIN32)
  return()
endif()

math(EXPR brenik_bits "${CMAKE_SIZEOF_VOID_P} * 8")
if(brenik_bits EQUAL 64)
  set(brenik_other_bits 32)  # the guide names the other ZIP
else()
  set(brenik_other_bits 64)
endif()
set(brenik_text_dir ${CMAKE_BINARY_DIR}/packaging)
foreach(text IN ITEMS brenik.ini:brenik.ini README.txt:README.txt
                      simulator-README.txt:simulator/README.txt)
  string(REPLACE ":" ";" text "${text}")
  list(GET text 0 source)
  list(GET text 1 packaged)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/${source} ${brenik_text_dir}/${packaged}
                 @ONLY NEWLINE_STYLE CRLF)
endforeach()

install(TARGETS L_BrenikReceiver R_BrenikReceiver brenik-send brenik-strokes RUNTIME DESTINATION .)
install(FILES ${brenik_text_dir}/brenik.ini ${brenik_text_dir}/README.txt DESTINATION .)
install(FILES $<TARGET_FILE:AXCLCOM> ${brenik_text_dir}/simulator/README.txt DESTINATION simulator)
if(BRENIK_CONTROLLER_DLL)
  install(FILES ${BRENIK_CONTROLLER_DLL} DESTINATION .)
endif()

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME brenik-receivers)
set(CPACK_PACKAGE_VENDOR "Brenik")
set(CPACK_PACKAGE_FILE_NAME "brenik-receivers-${PROJECT_VERSION}-windows-${brenik_bits}bit")
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
include(CPack)

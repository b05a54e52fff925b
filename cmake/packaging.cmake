# The Windows ZIP, named for its bitness: both programs, the bench tools, the script that starts
# both, an example settings file, the Windows guide, the licence and the runtimes' notices at the
# top; the stand-in controller library only in simulator/, so it is never loaded in the real
# one's place. Text files get Windows' line ends.
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
foreach(text IN ITEMS packaging/brenik.ini:brenik.ini packaging/README.txt:README.txt
                      packaging/start-receivers.cmd:start-receivers.cmd LICENSE.txt:LICENSE.txt
                      packaging/THIRD-PARTY-NOTICES.txt:THIRD-PARTY-NOTICES.txt
                      packaging/simulator-README.txt:simulator/README.txt)
  string(REPLACE ":" ";" text "${text}")
  list(GET text 0 source)
  list(GET text 1 packaged)
  configure_file(${PROJECT_SOURCE_DIR}/${source} ${brenik_text_dir}/${packaged}
                 @ONLY NEWLINE_STYLE CRLF)
endforeach()

# One folder, Brenik, whatever the version or bitness: unzipped to C:\ it is the guide's
# C:\Brenik, and a shortcut's "Start in" stays right across versions.
set(brenik_folder Brenik)
install(TARGETS L_BrenikReceiver R_BrenikReceiver brenik-send brenik-strokes brenik-relay
        RUNTIME DESTINATION ${brenik_folder})
install(FILES ${brenik_text_dir}/brenik.ini ${brenik_text_dir}/README.txt
              ${brenik_text_dir}/start-receivers.cmd ${brenik_text_dir}/LICENSE.txt
              ${brenik_text_dir}/THIRD-PARTY-NOTICES.txt
        DESTINATION ${brenik_folder})
install(FILES $<TARGET_FILE:AXCLCOM> ${brenik_text_dir}/simulator/README.txt
        DESTINATION ${brenik_folder}/simulator)
if(BRENIK_CONTROLLER_DLL)
  install(FILES ${BRENIK_CONTROLLER_DLL} DESTINATION ${brenik_folder})
endif()

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME brenik-receivers)
set(CPACK_PACKAGE_VENDOR "Brenik")
set(CPACK_PACKAGE_FILE_NAME "brenik-receivers-${PROJECT_VERSION}-windows-${brenik_bits}bit")
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)  # the install's own Brenik folder is the top
include(CPack)

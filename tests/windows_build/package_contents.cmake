# Makes the ZIP and checks that its name tells its bitness, that it holds exactly the programs,
# the bench tools, the example settings, the guide and the stand-in in simulator/, all of that
# bitness, that its text files end lines in CRLF and that the example settings read as the
# defaults through Windows' own reader.
#   cmake -DCPACK= -DBUILD_DIR= -DWORK_DIR= -DRUN= -DPROBE= -DOBJDUMP= -DBITS=32|64
#         -P package_contents.cmake
cmake_minimum_required(VERSION 3.25)

file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")
execute_process(COMMAND ${CPACK} -G ZIP --config ${BUILD_DIR}/CPackConfig.cmake -B ${WORK_DIR}
                RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cpack failed:\n${output}")
endif()
file(GLOB zips "${WORK_DIR}/*.zip")
list(LENGTH zips count)
if(NOT count EQUAL 1)
  message(FATAL_ERROR "expected one ZIP in ${WORK_DIR}, found: ${zips}")
endif()
get_filename_component(zip_name ${zips} NAME)
if(NOT zip_name MATCHES "^brenik-receivers-[0-9.]+-windows-${BITS}bit\\.zip$")
  message(FATAL_ERROR "${zip_name} does not say it is the ${BITS}-bit Windows ZIP")
endif()

execute_process(COMMAND ${CMAKE_COMMAND} -E tar tf ${zips} OUTPUT_VARIABLE listing
                RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cannot list ${zips}")
endif()
string(REGEX REPLACE "\n$" "" listing "${listing}")
string(REPLACE "\n" ";" entries "${listing}")
set(files "")
foreach(entry IN LISTS entries)
  if(NOT entry MATCHES "/$")  # folders
    string(REGEX MATCH "^[^/]+/(.*)" entry "${entry}")  # below the package's own top folder
    list(APPEND files "${CMAKE_MATCH_1}")
  endif()
endforeach()
list(SORT files)
set(expected L_BrenikReceiver.exe R_BrenikReceiver.exe brenik-send.exe brenik-strokes.exe
             README.txt brenik.ini simulator/AXCLCOM.dll simulator/README.txt)
list(SORT expected)
if(NOT files STREQUAL expected)
  message(FATAL_ERROR "the ZIP holds\n  ${files}\nbut should hold\n  ${expected}")
endif()
message(STATUS "${zips}: ${files}")

file(ARCHIVE_EXTRACT INPUT ${zips} DESTINATION ${WORK_DIR}/unpacked)
file(GLOB top LIST_DIRECTORIES true "${WORK_DIR}/unpacked/*")

# Every program and library is of the ZIP's bitness.
if(BITS EQUAL 64)
  set(format pei-x86-64)
else()
  set(format pei-i386)
endif()
foreach(binary IN LISTS files)
  if(binary MATCHES "\\.(exe|dll)$")
    execute_process(COMMAND ${OBJDUMP} -f ${top}/${binary} OUTPUT_VARIABLE header)
    if(NOT header MATCHES "file format ${format}")
      message(FATAL_ERROR "${binary} in the ${BITS}-bit ZIP is not ${format}:\n${header}")
    endif()
  endif()
endforeach()

# Text files end every line in CRLF, as Notepad and every Windows reader expect.
# (Read as bytes: a text read drops the CRs.)
foreach(text IN ITEMS README.txt brenik.ini simulator/README.txt)
  file(READ ${top}/${text} hex HEX)
  string(REGEX REPLACE "(..)" "\\1 " bytes "${hex}")
  string(REPLACE "0d 0a " "" bare "${bytes}")
  if(bare MATCHES "(^| )0[ad] " OR bare STREQUAL bytes)
    message(FATAL_ERROR "${text} in the ZIP does not end its lines in CRLF")
  endif()
endforeach()

# The example file states the defaults: read through Windows' own reader it must give them.
foreach(side_port IN ITEMS L:COM8 R:COM9)
  string(REPLACE ":" ";" side_port "${side_port}")
  list(GET side_port 0 side)
  list(GET side_port 1 port)
  execute_process(COMMAND ${RUN} ${PROBE} ${side} ./brenik.ini WORKING_DIRECTORY ${top}
                  OUTPUT_VARIABLE reading RESULT_VARIABLE result)
  string(STRIP "${reading}" reading)
  if(NOT result EQUAL 0 OR NOT reading STREQUAL "port=${port} speed=20000 accel=33 reversal=1")
    message(FATAL_ERROR "the example brenik.ini reads, for ${side}, as: ${reading}")
  endif()
endforeach()
file(REMOVE_RECURSE "${WORK_DIR}")

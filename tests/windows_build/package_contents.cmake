# Makes the ZIP and checks that its name tells its bitness, that it holds exactly the programs,
# the bench tools, the start script, the example settings, the guide, the licence and notices and
# the stand-in in simulator/, all of that bitness and all in one Brenik folder as the guide says,
# that the guide has the sections a rig owner needs first, that its text files end lines in
# CRLF, that each program carries the project's version in its
# properties and the stand-in says there that it is one, that the notices cover the runtimes
# linked in, that the start script starts both receivers with their status line, and that the
# example settings read as the defaults through Windows' own reader.
#   cmake -DCPACK= -DBUILD_DIR= -DWORK_DIR= -DRUN= -DPROBE= -DOBJDUMP= -DWINDRES= -DVERSION=
#         -DBITS=32|64 -P package_contents.cmake
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
set(top_folder Brenik)  # the guide's C:\Brenik
foreach(entry IN LISTS entries)
  if(NOT entry MATCHES "^${top_folder}/")
    message(FATAL_ERROR "${entry} in the ZIP is not in its ${top_folder} folder")
  endif()
  if(NOT entry MATCHES "/$")  # folders
    string(REGEX MATCH "^[^/]+/(.*)" entry "${entry}")
    list(APPEND files "${CMAKE_MATCH_1}")
  endif()
endforeach()
list(SORT files)
set(texts README.txt brenik.ini start-receivers.cmd LICENSE.txt THIRD-PARTY-NOTICES.txt
          simulator/README.txt)
set(expected L_BrenikReceiver.exe R_BrenikReceiver.exe brenik-send.exe brenik-strokes.exe
             brenik-relay.exe simulator/AXCLCOM.dll ${texts})
list(SORT expected)
if(NOT files STREQUAL expected)
  message(FATAL_ERROR "the ZIP holds\n  ${files}\nbut should hold\n  ${expected}")
endif()
message(STATUS "${zips}: ${files}")

file(ARCHIVE_EXTRACT INPUT ${zips} DESTINATION ${WORK_DIR}/unpacked)
set(top ${WORK_DIR}/unpacked/${top_folder})
file(READ ${top}/README.txt guide)
if(NOT guide MATCHES "C:\\\\${top_folder}[^-_A-Za-z0-9]")
  message(FATAL_ERROR "README.txt does not name the folder the ZIP unpacks to, C:\\${top_folder}")
endif()
# The sections a rig owner needs before the seat moves, each a heading underlined to its length.
foreach(heading IN ITEMS "The seat and its three actuators" "Before the first ride"
                         "A motion program that sends text"
                         "A sender of your own: ten lines of Python" "brenik-relay")
  string(LENGTH "${heading}" length)
  string(REPEAT "-" ${length} underline)
  string(FIND "${guide}" "\n${heading}\n${underline}\n" at)  # the CRs are dropped on reading
  if(at EQUAL -1)
    message(FATAL_ERROR "README.txt has no section \"${heading}\" underlined with ${length} dashes")
  endif()
endforeach()

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
foreach(text IN LISTS texts)
  file(READ ${top}/${text} hex HEX)
  string(REGEX REPLACE "(..)" "\\1 " bytes "${hex}")
  string(REPLACE "0d 0a " "" bare "${bytes}")
  if(bare MATCHES "(^| )0[ad] " OR bare STREQUAL bytes)
    message(FATAL_ERROR "${text} in the ZIP does not end its lines in CRLF")
  endif()
endforeach()

# Each program's properties give the project's version, the one --version answers; the
# stand-in's, named like the real library, say that it is a stand-in that moves nothing.
foreach(binary IN ITEMS L_BrenikReceiver.exe R_BrenikReceiver.exe brenik-send.exe
                        brenik-strokes.exe brenik-relay.exe simulator/AXCLCOM.dll)
  execute_process(COMMAND ${WINDRES} -i ${top}/${binary} -O rc OUTPUT_VARIABLE resources
                  ERROR_VARIABLE resources)
  string(REPLACE "." ", " numbers "${VERSION}")
  get_filename_component(file ${binary} NAME)
  set(fields "FILEVERSION ${numbers}, 0" "PRODUCTVERSION ${numbers}, 0"
             "\"FileVersion\", \"${VERSION}\"" "\"ProductVersion\", \"${VERSION}\""
             "\"OriginalFilename\", \"${file}\"")
  if(file STREQUAL "AXCLCOM.dll")
    set(description "Stand-in for the AXCLCOM controller library: drives no hardware, nothing moves")
    list(APPEND fields "FILETYPE 0x2" "\"FileDescription\", \"${description}\"")  # 2: VFT_DLL
  else()
    list(APPEND fields "FILETYPE 0x1")  # VFT_APP
  endif()
  foreach(field IN LISTS fields)
    string(FIND "${resources}" "${field}" at)
    if(at EQUAL -1)
      message(FATAL_ERROR "${binary}'s version resource lacks ${field}:\n${resources}")
    endif()
  endforeach()
endforeach()

# Every runtime linked into the programs has its notice: a symbol of each, the notice's words.
execute_process(COMMAND ${OBJDUMP} -t ${top}/L_BrenikReceiver.exe OUTPUT_VARIABLE symbols)
file(READ ${top}/THIRD-PARTY-NOTICES.txt notices)
foreach(runtime IN ITEMS "pthread_mutex_lock:winpthreads" "__gdtoa:gdtoa"
                         "_Unwind_Resume:GCC RUNTIME LIBRARY EXCEPTION"
                         "__mingw_pformat:MinGW-w64 runtime")
  string(REPLACE ":" ";" runtime "${runtime}")
  list(GET runtime 0 symbol)
  list(GET runtime 1 notice)
  string(FIND "${symbols}" "${symbol}\n" linked)  # 32-bit names carry a leading _
  string(FIND "${notices}" "${notice}" noticed)
  if(NOT linked EQUAL -1 AND noticed EQUAL -1)
    message(FATAL_ERROR "the programs link ${symbol} in, but THIRD-PARTY-NOTICES.txt has no ${notice}")
  endif()
endforeach()

# The start script starts both receivers from its own folder, where brenik.ini is, each in a
# window named for its side and with the status line on.
file(READ ${top}/start-receivers.cmd script)
foreach(line IN ITEMS "cd /d \"%~dp0\"" "start \"Left actuator\" L_BrenikReceiver.exe --status"
                      "start \"Right actuator\" R_BrenikReceiver.exe --status")
  string(FIND "${script}" "\n${line}\n" at)  # the CRs are checked above
  if(at EQUAL -1)
    message(FATAL_ERROR "start-receivers.cmd has no line: ${line}\n${script}")
  endif()
endforeach()

# The example file states the defaults, with the recommended levelling and ramp: read through
# Windows' own reader it must give them, for each side (one start of the probe reads for both).
execute_process(COMMAND ${RUN} ${PROBE} L ./brenik.ini R ./brenik.ini WORKING_DIRECTORY ${top}
                OUTPUT_VARIABLE readings RESULT_VARIABLE result)
string(REPLACE "\r" "" readings "${readings}")
string(STRIP "${readings}" readings)
string(REPLACE "\n" ";" readings "${readings}")
set(recommended "speed=20000 accel=33 reversal=1 gentle=10 ramp=2 idle=2 stopLevel=3")
if(NOT result EQUAL 0 OR NOT readings STREQUAL "port=COM8 ${recommended};port=COM9 ${recommended}")
  message(FATAL_ERROR "the example brenik.ini reads, for the left and the right side, as: "
                      "${readings} (status ${result})")
endif()
file(REMOVE_RECURSE "${WORK_DIR}")

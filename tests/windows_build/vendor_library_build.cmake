# Builds the receivers with a "vendor" controller header and DLL (the stand-in posing as the
# vendor's), checks the header, the DLL and the stand-in land where they should, and runs a
# receiver on the DLL up to the controller's "not ready" answer. On 32-bit Windows the receiver
# is then built for the C convention and must refuse the same __stdcall DLL.
#   cmake -DSOURCE_DIR= -DWORK_DIR= -DTOOLCHAIN= -DDLL= -DRUN= -DBITS=32|64
#         -P vendor_library_build.cmake
cmake_minimum_required(VERSION 3.25)

file(REMOVE_RECURSE "${WORK_DIR}")
execute_process(
  COMMAND ${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${WORK_DIR} -G Ninja -DCMAKE_BUILD_TYPE=Release
          -DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN} -DBUILD_TESTING=OFF
          -DBRENIK_CONTROLLER_INCLUDE_DIR=${SOURCE_DIR}/tests/windows_build/vendor
          -DBRENIK_CONTROLLER_HEADER=vendor_axclcom.h
          -DBRENIK_CONTROLLER_DLL=${DLL}
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "configuring with the vendor's header and DLL failed")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --build ${WORK_DIR} -j2
                        --target L_BrenikReceiver AXCLCOM brenik_controller_dll
                RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "building with the vendor's header and DLL failed")
endif()

# The operations were typed from the vendor's header, not from our declarations.
execute_process(COMMAND ninja -C ${WORK_DIR} -t deps
                        controller/CMakeFiles/brenik_controller.dir/controller_library.cpp.obj
                OUTPUT_VARIABLE deps RESULT_VARIABLE result)
if(NOT result EQUAL 0 OR NOT deps MATCHES "vendor/vendor_axclcom\\.h")
  message(FATAL_ERROR "controller_library.cpp did not include the vendor header:\n${deps}")
endif()

# Beside the program: the vendor's DLL, byte for byte; the stand-in only in its own folder.
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${DLL} ${WORK_DIR}/bin/AXCLCOM.dll
                RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "the vendor's AXCLCOM.dll is not beside the programs")
endif()
if(NOT EXISTS ${WORK_DIR}/bin/simulator/AXCLCOM.dll)
  message(FATAL_ERROR "the stand-in was not moved to bin/simulator")
endif()

# The receiver loads the vendor's DLL, opens the controller, hears it is not ready (state 3)
# and, once a key comes, closes it.
set(run_dir ${WORK_DIR}/run)
file(MAKE_DIRECTORY ${run_dir})
file(WRITE ${run_dir}/key.txt "\n")
string(REPEAT "f" 128 block)  # the 64-byte parameter block, every byte 0xFF
function(expect_not_ready_run what)
  file(REMOVE ${run_dir}/trace.txt)
  execute_process(COMMAND ${CMAKE_COMMAND} -E env AXCLCOM_TRACE=${run_dir}/trace.txt AXCLCOM_STATE=3
                          ${RUN} ${WORK_DIR}/bin/L_BrenikReceiver.exe
                  WORKING_DIRECTORY ${run_dir} INPUT_FILE ${run_dir}/key.txt TIMEOUT 60
                  ERROR_VARIABLE said RESULT_VARIABLE result)
  set(trace "")
  if(EXISTS ${run_dir}/trace.txt)
    file(STRINGS ${run_dir}/trace.txt trace)
  endif()
  list(TRANSFORM trace REPLACE "^[0-9.]+ " "")  # the time stamps
  if(NOT trace STREQUAL "init_axcl_config COM8 20 3 0 1 ${block} -> 1;get_axcl_state -> 3;close_axcl")
    message(FATAL_ERROR "the receiver on ${what} (status ${result}, said: ${said}) "
                        "called: ${trace}")
  endif()
endfunction()
expect_not_ready_run("the vendor's DLL")

if(C_CONVENTION_DLL)
  # The header says __stdcall; the DLL pops no arguments. The receiver calls it all the same.
  file(COPY_FILE ${C_CONVENTION_DLL} ${WORK_DIR}/bin/AXCLCOM.dll)
  expect_not_ready_run("a C-convention DLL")
endif()
file(REMOVE_RECURSE "${WORK_DIR}")

# Builds the receivers against a "vendor" controller library (the stand-in's import library and
# DLL, posing as the vendor's) and header, and checks the header, the DLL and the stand-in land
# where they should.
#   cmake -DSOURCE_DIR= -DWORK_DIR= -DTOOLCHAIN= -DIMPORT_LIBRARY= -DDLL= -P vendor_library_build.cmake
cmake_minimum_required(VERSION 3.25)

file(REMOVE_RECURSE "${WORK_DIR}")
execute_process(
  COMMAND ${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${WORK_DIR} -G Ninja -DCMAKE_BUILD_TYPE=Release
          -DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN} -DBUILD_TESTING=OFF
          -DBRENIK_CONTROLLER_LIBRARY=${IMPORT_LIBRARY}
          -DBRENIK_CONTROLLER_INCLUDE_DIR=${SOURCE_DIR}/tests/windows/vendor
          -DBRENIK_CONTROLLER_HEADER=vendor_axclcom.h
          -DBRENIK_CONTROLLER_DLL=${DLL}
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "configuring against the vendor library failed")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --build ${WORK_DIR} -j2 RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "building against the vendor library failed")
endif()

# The control loop was compiled with the vendor's header, not our declarations.
execute_process(COMMAND ninja -C ${WORK_DIR} -t deps
                        app/CMakeFiles/brenik_app.dir/receiver_program.cpp.obj
                OUTPUT_VARIABLE deps RESULT_VARIABLE result)
if(NOT result EQUAL 0 OR NOT deps MATCHES "vendor/vendor_axclcom\\.h")
  message(FATAL_ERROR "receiver_program.cpp did not include the vendor header:\n${deps}")
endif()

foreach(program L_BrenikReceiver.exe R_BrenikReceiver.exe)
  if(NOT EXISTS ${WORK_DIR}/bin/${program})
    message(FATAL_ERROR "${program} was not built")
  endif()
endforeach()
# Beside the programs: the vendor's DLL, byte for byte; the stand-in only in its own folder.
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${DLL} ${WORK_DIR}/bin/AXCLCOM.dll
                RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "the vendor's AXCLCOM.dll is not beside the programs")
endif()
if(NOT EXISTS ${WORK_DIR}/bin/simulator/AXCLCOM.dll)
  message(FATAL_ERROR "the stand-in was not moved to bin/simulator")
endif()
file(REMOVE_RECURSE "${WORK_DIR}")

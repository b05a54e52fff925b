# GoogleTest: the installed package natively; built from Debian's source package (googletest)
# with the cross compiler when the tests are Windows programs.
if(CMAKE_CROSSCOMPILING)
  set(BRENIK_GOOGLETEST_SOURCE_DIR /usr/src/googletest CACHE PATH
    "GoogleTest sources compiled along with the tests in a cross build")
  if(NOT EXISTS "${BRENIK_GOOGLETEST_SOURCE_DIR}/CMakeLists.txt")
    message(FATAL_ERROR "No GoogleTest sources in ${BRENIK_GOOGLETEST_SOURCE_DIR}: "
      "install Debian's googletest package or set BRENIK_GOOGLETEST_SOURCE_DIR")
  endif()
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(${BRENIK_GOOGLETEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  # Listing a test program's cases means running it under the emulator: do it when ctest runs,
  # not while building.
  set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)
else()
  find_package(GTest REQUIRED)
endif()

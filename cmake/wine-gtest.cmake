# A test program under Wine, run once for all its cases: each Wine start is slow and, on a new
# machine, a chance of a start that never reaches the program. The test wine.<target> runs every
# case; each case is still a test of its own, under the name gtest_discover_tests gives it
# natively, that reads its verdict and its lines from that run's output (cmake/wine-gtest.sh).
# Running one case alone (ctest -R or -I) runs the program first: ctest adds the fixture.
set(BRENIK_WINE_GTEST ${CMAKE_CURRENT_LIST_DIR}/wine-gtest.sh)

function(brenik_wine_gtest target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "RUN_TIMEOUT" "PROPERTIES")
  set(run wine.${target})
  add_test(NAME ${run} COMMAND ${BRENIK_WINE_GTEST} --run $<TARGET_FILE:${target}>)
  set_tests_properties(${run} PROPERTIES FIXTURES_SETUP ${run} TIMEOUT ${arg_RUN_TIMEOUT})
  # Listing the cases is a start of the program too: the script passes it to the launcher.
  set_property(TARGET ${target} PROPERTY CROSSCOMPILING_EMULATOR ${BRENIK_WINE_GTEST})
  gtest_discover_tests(${target} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120
                       PROPERTIES FIXTURES_REQUIRED ${run} ${arg_PROPERTIES})
endfunction()

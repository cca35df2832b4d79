# Windows tests run under Wine in a private prefix that the test run creates afresh
# (never the user's ~/.wine), with a persistent wineserver for the length of the run.
set(VORLANE_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
set(VORLANE_WINE_ENV "WINEPREFIX=${VORLANE_WINEPREFIX};WINEDEBUG=-all;LC_ALL=C.UTF-8")

add_test(NAME wine_prefix_setup
  COMMAND ${CMAKE_SOURCE_DIR}/tests/wine/prefix.sh setup ${VORLANE_WINEPREFIX})
set_tests_properties(wine_prefix_setup PROPERTIES FIXTURES_SETUP wine TIMEOUT 180)
add_test(NAME wine_prefix_cleanup
  COMMAND ${CMAKE_SOURCE_DIR}/tests/wine/prefix.sh cleanup ${VORLANE_WINEPREFIX})
set_tests_properties(wine_prefix_cleanup PROPERTIES FIXTURES_CLEANUP wine)

# vorlane_wine_gtest(target SOURCES... [TIMEOUT s] [RUN_SERIAL]): one ctest per TEST() found in
# the sources, run through Wine. Sources are scanned rather than the program listed, so nothing
# runs under Wine at build time.
function(vorlane_wine_gtest target)
  cmake_parse_arguments(ARG "RUN_SERIAL" "TIMEOUT" "SOURCES" ${ARGN})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  gtest_add_tests(TARGET ${target} SOURCES ${ARG_SOURCES} TEST_LIST added)
  set_tests_properties(${added} PROPERTIES
    ENVIRONMENT "${VORLANE_WINE_ENV}"
    FIXTURES_REQUIRED wine
    TIMEOUT ${ARG_TIMEOUT})
  if(ARG_RUN_SERIAL)
    set_tests_properties(${added} PROPERTIES RUN_SERIAL TRUE)
  endif()
endfunction()

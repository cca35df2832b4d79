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

# vorlane_wine_gtest(target SOURCES... [TIMEOUT s] [RUN_SERIAL] [MACHINE_WIDE]): one ctest per
# TEST() found in the sources, run through Wine. Sources are scanned rather than the program
# listed, so nothing runs under Wine at build time. Every such program also goes into the test
# kit for Windows hosts (tests/kit); there a program that runs alone here (it swaps the
# system's tools, moves Program Files or watches and sends desktop input) or that says
# MACHINE_WIDE (it registers tasks, switches desktops, ...) runs only on a machine declared
# disposable.
function(vorlane_wine_gtest target)
  cmake_parse_arguments(ARG "RUN_SERIAL;MACHINE_WIDE" "TIMEOUT" "SOURCES" ${ARGN})
  if(ARG_RUN_SERIAL OR ARG_MACHINE_WIDE)
    set_property(GLOBAL APPEND PROPERTY VORLANE_KIT_PROGRAMS "${target}:throwaway")
  else()
    set_property(GLOBAL APPEND PROPERTY VORLANE_KIT_PROGRAMS "${target}:any")
  endif()
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  gtest_add_tests(TARGET ${target} SOURCES ${ARG_SOURCES} TEST_LIST added)
  set_tests_properties(${added} PROPERTIES
    ENVIRONMENT "${VORLANE_WINE_ENV}"
    FIXTURES_REQUIRED wine
    TIMEOUT ${ARG_TIMEOUT})
  if(ARG_RUN_SERIAL OR ARG_MACHINE_WIDE)
    set_tests_properties(${added} PROPERTIES RUN_SERIAL TRUE)
  endif()
endfunction()

# Small helpers shared by every folder's CMakeLists.txt.

# vorlane_unit_test(name SOURCES... LIBS...): a native GoogleTest program of the portable core.
# In the cross build the same portable tests are not rebuilt; Windows-side tests use vorlane_wine_gtest.
function(vorlane_unit_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  if(WIN32 OR VORLANE_FUZZ)
    return()
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest_main)
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60)
endfunction()

# vorlane_windows_program(target [CONSOLE] SOURCES...): a Windows program with a wide entry point.
function(vorlane_windows_program name)
  cmake_parse_arguments(ARG "CONSOLE" "" "SOURCES" ${ARGN})
  if(ARG_CONSOLE)
    add_executable(${name} ${ARG_SOURCES})
  else()
    add_executable(${name} WIN32 ${ARG_SOURCES})
  endif()
  target_link_options(${name} PRIVATE -municode)
  # Seeds the stack protector without searching DLLs beside the program; nothing refers to it,
  # so it is a source of the program rather than a member of a library the linker may skip.
  target_sources(${name} PRIVATE ${PROJECT_SOURCE_DIR}/src/common/win32/stack_guard_win32.cpp)
endfunction()

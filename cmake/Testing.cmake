# GoogleTest for both builds, and qf_add_test() which registers one test program.
#
# Native: Debian's installed GoogleTest; each test case becomes its own CTest test.
# Windows: GoogleTest built from Debian's sources with the cross compiler; each
# program is one CTest test (starting Wine costs about half a second a process),
# run through Wine in a prefix that lives inside the build folder.

if(CMAKE_CROSSCOMPILING)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
  if(NOT TARGET GTest::gtest_main)
    add_library(GTest::gtest ALIAS gtest)
    add_library(GTest::gtest_main ALIAS gtest_main)
  endif()

  set(QF_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
  # The tests' PowerShell host, published by tools/test (tests/pwsh_host).
  cmake_path(SET QF_PWSH_HOST_DIR NORMALIZE ${CMAKE_BINARY_DIR}/../pwsh_host/publish)
  configure_file(${PROJECT_SOURCE_DIR}/tools/wine-run.in ${CMAKE_BINARY_DIR}/wine-run
                 FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                  WORLD_READ WORLD_EXECUTE @ONLY)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run)

  # Creating a Wine prefix takes a while; do it once, before every Wine test.
  add_test(NAME wine-prefix COMMAND ${CMAKE_BINARY_DIR}/wine-run --prepare)
  set_tests_properties(wine-prefix PROPERTIES FIXTURES_SETUP wine TIMEOUT 300)
else()
  find_package(GTest REQUIRED)
  include(GoogleTest)
endif()

# qf_add_test(<name> SOURCES <files...> [LIBS <targets...>] [LABELS <labels...>])
function(qf_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE qf_options GTest::gtest_main ${ARG_LIBS})
  if(CMAKE_CROSSCOMPILING)
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine LABELS "win32;${ARG_LABELS}" TIMEOUT 600)
  else()
    gtest_discover_tests(${name} PROPERTIES LABELS "unit;${ARG_LABELS}" DISCOVERY_TIMEOUT 60)
  endif()
endfunction()

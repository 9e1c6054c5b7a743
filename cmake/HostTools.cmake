# Build-time generators (catalogue table, embedded page) are C++ programs that
# run on the build machine. In a native build they are ordinary targets of this
# project; in the cross build a native sub-build of tools/generators makes them
# first. qf_generate() hides the difference from the code that uses them.

if(CMAKE_CROSSCOMPILING)
  include(ExternalProject)
  set(QF_HOST_TOOLS_DIR ${CMAKE_BINARY_DIR}/host-tools)
  ExternalProject_Add(qf_host_tools
    SOURCE_DIR ${PROJECT_SOURCE_DIR}/tools/generators
    BINARY_DIR ${QF_HOST_TOOLS_DIR}
    CMAKE_ARGS -DCMAKE_BUILD_TYPE=Release -DQF_WERROR=${QF_WERROR}
    INSTALL_COMMAND ""
    BUILD_ALWAYS ON)
else()
  add_subdirectory(${PROJECT_SOURCE_DIR}/tools/generators ${CMAKE_BINARY_DIR}/host-tools)
endif()

# qf_generate(OUTPUT <file> TOOL <generator> [ARGS <args...>] [DEPENDS <files...>])
# Runs a generator of tools/generators at build time to produce <file>.
function(qf_generate)
  cmake_parse_arguments(ARG "" "OUTPUT;TOOL" "ARGS;DEPENDS" ${ARGN})
  if(CMAKE_CROSSCOMPILING)
    set(tool ${QF_HOST_TOOLS_DIR}/${ARG_TOOL})
    set(tool_dep qf_host_tools)
  else()
    set(tool $<TARGET_FILE:${ARG_TOOL}>)
    set(tool_dep ${ARG_TOOL})
  endif()
  add_custom_command(
    OUTPUT ${ARG_OUTPUT}
    COMMAND ${tool} ${ARG_ARGS}
    DEPENDS ${tool_dep} ${ARG_DEPENDS}
    COMMENT "Generating ${ARG_OUTPUT}"
    VERBATIM)
endfunction()

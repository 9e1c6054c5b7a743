# Compiler options shared by every target of the project (not by third-party code).
add_library(qf_options INTERFACE)
target_compile_options(qf_options INTERFACE -Wall -Wextra -Wpedantic)
if(QF_WERROR)
  target_compile_options(qf_options INTERFACE -Werror)
endif()
target_include_directories(qf_options INTERFACE ${PROJECT_SOURCE_DIR})

if(QF_SANITIZE)
  list(JOIN QF_SANITIZE "," qf_sanitizers)
  add_compile_options(-fsanitize=${qf_sanitizers} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${qf_sanitizers})
endif()

if(WIN32)
  # Unicode Win32 entry points everywhere; no min/max macros.
  target_compile_definitions(qf_options INTERFACE UNICODE _UNICODE NOMINMAX WIN32_LEAN_AND_MEAN _WIN32_WINNT=0x0A00)
endif()

if(WIN32)
  # Reproducible binaries: no link time stamp in the PE header, no build
  # folder in any string, and (in Release) no symbols or debugging sections.
  add_compile_options($<$<COMPILE_LANGUAGE:CXX>:-ffile-prefix-map=${PROJECT_SOURCE_DIR}/=>
                      $<$<COMPILE_LANGUAGE:CXX>:-ffile-prefix-map=${CMAKE_BINARY_DIR}/=>)
  add_link_options(-Wl,--no-insert-timestamp $<$<CONFIG:Release>:-s>)
endif()

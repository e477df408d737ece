# GoogleTest is built from Debian's sources (libgtest-dev ships them), so the same
# library serves the native, the sanitizer and the Windows cross build.
set(REZURUDEV_GTEST_SOURCE "/usr/src/googletest" CACHE PATH "GoogleTest source tree")
if(NOT TARGET gtest)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
  add_subdirectory(${REZURUDEV_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/_googletest EXCLUDE_FROM_ALL SYSTEM)
  if(REZURUDEV_SANITIZE)
    target_compile_options(gtest PRIVATE -fsanitize=address,undefined)
    target_compile_options(gtest_main PRIVATE -fsanitize=address,undefined)
  endif()
endif()
include(GoogleTest)

# rezurudev_add_test(NAME SOURCES... LIBS ...): one GoogleTest program, one CTest entry
# per test case found in the sources (no need to run the program at build time, which
# matters when it only runs under an emulator).
function(rezurudev_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} rezurudev_options gtest gtest_main)
  gtest_add_tests(TARGET ${name} SOURCES ${ARG_SOURCES}
                  WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
endfunction()

# Build settings shared by every target, and the helpers that tests, fuzzers and
# benchmarks are declared with.

# Plain IEEE double arithmetic on every build: no fused multiply-add contraction,
# and SSE2 instead of x87 extended precision on 32-bit x86, so that the
# properties reader's number conversion gives the same bits everywhere.
add_compile_options(-ffp-contract=off)
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(i[3-6]86|x86)$")
  add_compile_options(-msse2 -mfpmath=sse)
endif()
add_compile_options(-Wall -Wextra -Wpedantic -Werror)

# Release builds (the publisher's kit): each function and datum in a section of
# its own so the linker drops whatever nothing uses, and no symbols or debug
# information in the programs.
set(kova_release_config "$<CONFIG:Release,MinSizeRel>")
add_compile_options("$<${kova_release_config}:-ffunction-sections;-fdata-sections>")
add_link_options("$<${kova_release_config}:-Wl,--gc-sections;-s>")

if(WIN32)
  # Link everything statically: the programs import only system DLLs.
  add_link_options(-static -static-libgcc -static-libstdc++)
  add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX)
endif()

if(KOVA_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

if(KOVA_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# GoogleTest: the system's build natively, built from Debian's sources when cross
# compiling (the packaged archives are host objects).
macro(kova_find_gtest)
  if(NOT TARGET GTest::gtest_main)
    if(CMAKE_CROSSCOMPILING OR NOT EXISTS /usr/lib/x86_64-linux-gnu/libgtest.a)
      set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
      set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
      add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
      if(NOT TARGET GTest::gtest_main)
        add_library(GTest::gtest ALIAS gtest)
        add_library(GTest::gtest_main ALIAS gtest_main)
      endif()
    else()
      find_package(GTest REQUIRED)
    endif()
  endif()
endmacro()

set(KOVA_TEST_RESULTS_DIR ${CMAKE_BINARY_DIR}/test-results)
file(MAKE_DIRECTORY ${KOVA_TEST_RESULTS_DIR})

# Settings of every GoogleTest program's own sources (the product's libraries
# keep theirs):
# - one precompiled header per build, GoogleTest and the standard headers the
#   tests use most, parsed once instead of once per source file;
# - line tables only in RelWithDebInfo (-g1): a failure's backtrace still names
#   functions, files and lines, and writing the full debug information of
#   GoogleTest's templates was a tenth of each test source's compile time.
function(kova_test_program_settings target)
  if(NOT TARGET kova_test_pch)
    if(NOT EXISTS ${CMAKE_BINARY_DIR}/kova_test_pch.cpp)
      file(WRITE ${CMAKE_BINARY_DIR}/kova_test_pch.cpp "// The test programs' precompiled header.\n")
    endif()
    add_library(kova_test_pch OBJECT ${CMAKE_BINARY_DIR}/kova_test_pch.cpp)
    target_link_libraries(kova_test_pch PRIVATE GTest::gtest)
    target_compile_options(kova_test_pch PRIVATE $<$<CONFIG:RelWithDebInfo>:-g1>)
    kova_ccache_with_pch(kova_test_pch)
    target_precompile_headers(kova_test_pch PRIVATE
      <gtest/gtest.h> <algorithm> <cstdint> <cstdio> <cstdlib> <cstring> <filesystem>
      <map> <memory> <random> <set> <string> <thread> <utility> <vector>)
  endif()
  target_precompile_headers(${target} REUSE_FROM kova_test_pch)
  target_compile_options(${target} PRIVATE $<$<CONFIG:RelWithDebInfo>:-g1>)
  kova_ccache_with_pch(${target})
endfunction()

# ccache compiles a source that uses a precompiled header only with this
# sloppiness (it then hashes the header's .gch file); without it, every such
# compile bypasses the cache.
function(kova_ccache_with_pch target)
  if(CMAKE_CXX_COMPILER_LAUNCHER MATCHES "ccache")
    set_property(TARGET ${target} PROPERTY CXX_COMPILER_LAUNCHER
                 env CCACHE_SLOPPINESS=pch_defines,time_macros ${CMAKE_CXX_COMPILER_LAUNCHER})
  endif()
endfunction()

# kova_add_gtest_entry(name PROGRAM target [FILTER pattern] [TIMEOUT seconds])
# One ctest entry running a GoogleTest program (only the cases FILTER selects,
# as --gtest_filter); it writes its per-case results to test-results/NAME.xml,
# which the test script sums up.
function(kova_add_gtest_entry name)
  cmake_parse_arguments(ARG "" "PROGRAM;FILTER;TIMEOUT" "" ${ARGN})
  set(arguments --gtest_output=xml:test-results/${name}.xml)
  if(ARG_FILTER)
    list(APPEND arguments "--gtest_filter=${ARG_FILTER}")
  endif()
  add_test(NAME ${name} COMMAND ${ARG_PROGRAM} ${arguments} WORKING_DIRECTORY ${CMAKE_BINARY_DIR})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT ${ARG_TIMEOUT})
endfunction()

# kova_add_gtest(name SOURCES a.cpp ... [LIBS lib ...] [TIMEOUT seconds])
# A GoogleTest program and its one ctest entry of the same name (each Wine
# start costs time).
function(kova_add_gtest name)
  cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest_main)
  kova_test_program_settings(${name})
  kova_add_gtest_entry(${name} PROGRAM ${name} TIMEOUT ${ARG_TIMEOUT})
endfunction()

# kova_add_fuzzer(name SOURCES a.cpp ... LIBS lib ...): a libFuzzer target.
function(kova_add_fuzzer name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
endfunction()

# Windows programs built here run under Wine, in a headless prefix inside the
# build folder (scripts/wine-prefix.sh prepares it before ctest runs).
if(WIN32 AND CMAKE_CROSSCOMPILING)
  set(KOVA_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
  configure_file(${CMAKE_CURRENT_LIST_DIR}/wine-run.sh.in ${CMAKE_BINARY_DIR}/wine-run.sh
                 FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                  WORLD_READ WORLD_EXECUTE @ONLY)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run.sh)
endif()

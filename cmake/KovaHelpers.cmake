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

# kova_add_gtest(name SOURCES a.cpp ... [LIBS lib ...] [TIMEOUT seconds])
# One ctest entry per executable (each Wine start costs time); the executable
# writes its per-case results as XML, which the test script sums up.
function(kova_add_gtest name)
  cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest_main)
  add_test(NAME ${name}
           COMMAND ${name} --gtest_output=xml:test-results/${name}.xml
           WORKING_DIRECTORY ${CMAKE_BINARY_DIR})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT ${ARG_TIMEOUT})
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

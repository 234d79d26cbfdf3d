# cmake -DFILE=<launcher.exe> -P check_search_texts_absent.cmake
# Fails when the file holds either complete search text of the appended data.
cmake_minimum_required(VERSION 3.21)

if(NOT EXISTS "${FILE}")
  message(FATAL_ERROR "no such file: ${FILE}")
endif()

set(marker "!tamberwrapmarker!")
set(build_info "DYN00000BERTAMTAMBERBERTAMTAMBERBUILDINFOMARKERBERTAMTAMBERBERTAMTAMBERXXXXXXXXX")

file(READ "${FILE}" contents HEX)
set(found "")
foreach(text marker build_info)
  string(HEX "${${text}}" needle)
  set(rest "${contents}")
  while(TRUE)
    string(FIND "${rest}" "${needle}" at)
    if(at EQUAL -1)
      break()
    endif()
    math(EXPR odd "${at} % 2")
    if(odd EQUAL 0)
      list(APPEND found "${${text}}")
      break()
    endif()
    # A match that starts in the middle of a byte is none: go on from the
    # next whole byte.
    math(EXPR next "${at} + 1")
    string(SUBSTRING "${rest}" ${next} -1 rest)
  endwhile()
endforeach()

if(found)
  message(FATAL_ERROR "${FILE} contains search text(s): ${found}")
endif()

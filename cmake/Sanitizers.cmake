# Sanitizer and fuzzing builds. Included before the subdirectories, so the
# flags set here reach every target of the project.
#
#   -DLUTING_SANITIZE=address   AddressSanitizer + UndefinedBehaviorSanitizer
#                               (any undefined behaviour ends the process)
#   -DLUTING_SANITIZE=thread    ThreadSanitizer
#   -DLUTING_FUZZ=ON            libFuzzer targets in tests/fuzz (clang only);
#                               everything else is built with coverage
#                               instrumentation, ASan and UBSan

set(LUTING_SANITIZE "" CACHE STRING
    "Sanitizers for the whole build: empty (none), address (ASan+UBSan) or thread (TSan)")
set_property(CACHE LUTING_SANITIZE PROPERTY STRINGS "" address thread)
option(LUTING_FUZZ "Build the libFuzzer targets in tests/fuzz (needs clang)" OFF)

set(_luting_asan_flags
    -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)

if(LUTING_SANITIZE STREQUAL "address")
  set(_luting_san_compile ${_luting_asan_flags})
  set(_luting_san_link -fsanitize=address,undefined)
elseif(LUTING_SANITIZE STREQUAL "thread")
  set(_luting_san_compile -fsanitize=thread -fno-omit-frame-pointer)
  set(_luting_san_link -fsanitize=thread)
elseif(NOT LUTING_SANITIZE STREQUAL "")
  message(FATAL_ERROR "LUTING_SANITIZE must be empty, address or thread, not '${LUTING_SANITIZE}'")
endif()

if(LUTING_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "LUTING_FUZZ needs clang (configure with -DCMAKE_CXX_COMPILER=clang++)")
  endif()
  if(LUTING_SANITIZE STREQUAL "thread")
    message(FATAL_ERROR "LUTING_FUZZ goes with ASan and UBSan, not with LUTING_SANITIZE=thread")
  endif()
  # The libraries get the coverage hooks; only the fuzz targets link libFuzzer
  # (tests/fuzz adds -fsanitize=fuzzer to them).
  set(_luting_san_compile -fsanitize=fuzzer-no-link ${_luting_asan_flags})
  set(_luting_san_link -fsanitize=address,undefined)
endif()

if(_luting_san_compile)
  add_compile_options(${_luting_san_compile})
  add_link_options(${_luting_san_link})
endif()

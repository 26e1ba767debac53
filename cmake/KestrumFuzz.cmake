# SPDX-FileCopyrightText: 2026 The USB Kestrum developers
# SPDX-License-Identifier: GPL-3.0-or-later
# kestrum_fuzz_target(NAME name SOURCES ... [LIBS ...] [RUNS n] [OPTIONS -flag=value ...])
# A libFuzzer target of the fuzz build (-DKESTRUM_FUZZ=ON, clang). Its seed corpus
# is tests/fuzz/seeds/NAME; RUNS is how many inputs the bounded run of
# scripts/test.sh tries; OPTIONS go to libFuzzer on every run.
# scripts/fuzz.sh reads the list this writes into the build folder.
function(kestrum_fuzz_target)
  cmake_parse_arguments(F "" "NAME;RUNS" "SOURCES;LIBS;OPTIONS" ${ARGN})
  if(NOT F_RUNS)
    set(F_RUNS 200000)
  endif()
  add_executable(${F_NAME} ${F_SOURCES})
  target_link_libraries(${F_NAME} PRIVATE kestrum_test_support ${F_LIBS})
  target_link_options(${F_NAME} PRIVATE -fsanitize=fuzzer)
  set(env "-")  # no target needs an environment of its own today
  string(JOIN " " options ${F_OPTIONS})
  if(options STREQUAL "")
    set(options "-")
  endif()
  set_property(GLOBAL APPEND PROPERTY KESTRUM_FUZZ_TARGETS
    "${F_NAME}|${F_RUNS}|${CMAKE_SOURCE_DIR}/tests/fuzz/seeds/${F_NAME}|${env}|${options}")
endfunction()

# One line per target: name|runs|seed folder|environment|libFuzzer options.
function(kestrum_fuzz_write_list)
  get_property(targets GLOBAL PROPERTY KESTRUM_FUZZ_TARGETS)
  string(JOIN "\n" text ${targets})
  file(WRITE ${CMAKE_BINARY_DIR}/fuzz_targets.txt "${text}\n")
endfunction()
cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL kestrum_fuzz_write_list)

# SPDX-FileCopyrightText: 2026 The USB Kestrum developers
# SPDX-License-Identifier: GPL-3.0-or-later
# kestrum_test(NAME name SOURCES ... LIBS ... [TIMEOUT s] [QT])
# Every test gets a time-out so that a stuck modal loop fails instead of hanging, and runs through
# tests/support/offline.sh: where a network namespace can be made, it sees loopback and nothing else.
function(kestrum_test)
  cmake_parse_arguments(T "QT" "NAME;TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 60)
  endif()
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE kestrum_test_support ${T_LIBS})
  add_test(NAME ${T_NAME} COMMAND bash ${PROJECT_SOURCE_DIR}/tests/support/offline.sh $<TARGET_FILE:${T_NAME}>)
  if(T_QT)
    target_link_libraries(${T_NAME} PRIVATE Qt6::Test)
    set_tests_properties(${T_NAME} PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
  else()
    target_link_libraries(${T_NAME} PRIVATE GTest::gtest GTest::gtest_main)
  endif()
  set_tests_properties(${T_NAME} PROPERTIES TIMEOUT ${T_TIMEOUT})
  # Every such test runs once more in the sanitizer build of scripts/test.sh.
  set_tests_properties(${T_NAME} PROPERTIES LABELS "asan;${T_LABELS}")
endfunction()

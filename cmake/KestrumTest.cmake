# SPDX-FileCopyrightText: 2026 The USB Kestrum developers
# SPDX-License-Identifier: GPL-3.0-or-later
# kestrum_test(NAME name SOURCES ... LIBS ... [TIMEOUT s] [QT])
# Every test gets a time-out so that a stuck modal loop fails instead of hanging.
function(kestrum_test)
  cmake_parse_arguments(T "QT" "NAME;TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 60)
  endif()
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE kestrum_test_support ${T_LIBS})
  if(T_QT)
    target_link_libraries(${T_NAME} PRIVATE Qt6::Test)
    add_test(NAME ${T_NAME} COMMAND ${T_NAME})
    set_tests_properties(${T_NAME} PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
  else()
    target_link_libraries(${T_NAME} PRIVATE GTest::gtest GTest::gtest_main)
    add_test(NAME ${T_NAME} COMMAND ${T_NAME})
  endif()
  set_tests_properties(${T_NAME} PROPERTIES TIMEOUT ${T_TIMEOUT})
  # Every such test runs once more in the sanitizer build of scripts/test.sh.
  set_tests_properties(${T_NAME} PROPERTIES LABELS "asan;${T_LABELS}")
endfunction()

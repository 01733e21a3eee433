# corvel_add_test(NAME name SOURCES ... LIBS ... [LABELS ...] [ENVIRONMENT ...] [TIMEOUT s])
# One GoogleTest executable per subsystem folder; every test case becomes a ctest entry.
# Suites labelled "ui" run with Qt's offscreen platform unless ENVIRONMENT says otherwise.
function(corvel_add_test)
  cmake_parse_arguments(T "" "NAME;TIMEOUT" "SOURCES;LIBS;LABELS;ENVIRONMENT" ${ARGN})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  if("ui" IN_LIST T_LABELS AND NOT T_ENVIRONMENT)
    set(T_ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
  endif()
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main corvel_warnings)
  target_include_directories(${T_NAME} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  set(properties LABELS "${T_LABELS}" TIMEOUT ${T_TIMEOUT})
  if(T_ENVIRONMENT)
    list(APPEND properties ENVIRONMENT "${T_ENVIRONMENT}")
  endif()
  gtest_discover_tests(${T_NAME}
    DISCOVERY_MODE PRE_TEST
    NO_PRETTY_VALUES
    PROPERTIES ${properties}
    WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
endfunction()

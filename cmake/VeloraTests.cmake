# Test registration: one GoogleTest executable per area, discovered by CTest
# with a label and a time-out.
find_package(GTest REQUIRED)
include(GoogleTest)

# velora_test(NAME name LABEL label SOURCES ... [LIBS ...] [TIMEOUT s] [ENV ...])
function(velora_test)
  cmake_parse_arguments(T "" "NAME;LABEL;TIMEOUT" "SOURCES;LIBS;ENV" ${ARGN})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 60)
  endif()
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE velora_test_support ${T_LIBS} GTest::gtest GTest::gtest_main GTest::gmock)
  velora_warnings(${T_NAME})
  gtest_discover_tests(${T_NAME}
    PROPERTIES LABELS ${T_LABEL} TIMEOUT ${T_TIMEOUT} ENVIRONMENT "${T_ENV}"
    DISCOVERY_TIMEOUT 60)
endfunction()

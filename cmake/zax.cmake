# zax_add_test(NAME SOURCES... [LIBS ...]): one GoogleTest program per module. Test cases are
# listed when the tests run (not while building), so the win32 build needs no Wine to build.
function(zax_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} zax_test_support zax_test_main GTest::gtest)
  # Test tables name only the fields a case needs.
  target_compile_options(${name} PRIVATE -Wno-missing-field-initializers)
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 120
    WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
    PROPERTIES TIMEOUT 120)
endfunction()

# trovex_add_gtest(name SOURCES ... LIBS ...): one GoogleTest program, each case its own CTest entry.
find_package(GTest REQUIRED)
include(GoogleTest)

add_library(trovex_gtest_main STATIC ${PROJECT_SOURCE_DIR}/tests/main/TestMain.cpp)
target_link_libraries(trovex_gtest_main PUBLIC GTest::gtest)

function(trovex_add_gtest name)
    cmake_parse_arguments(ARG "" "" "LIBS;SOURCES" ${ARGN})
    add_executable(${name} ${ARG_SOURCES} ${ARG_UNPARSED_ARGUMENTS})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} trovex_testsupport trovex_gtest_main GTest::gtest)
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/tests)
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60)
endfunction()

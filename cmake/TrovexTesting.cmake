# trovex_add_gtest(name SOURCES ... LIBS ...): one GoogleTest program, each case its own CTest entry.
if(WIN32 AND CMAKE_CROSSCOMPILING)
    # No GoogleTest for the target system is installed: build it from the sources Debian ships.
    set(TROVEX_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources for a cross-build")
    set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    add_subdirectory(${TROVEX_GTEST_SOURCE} ${PROJECT_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
    target_compile_options(gtest PRIVATE -Wno-error)
    set(TROVEX_DISCOVERY_TIMEOUT 300) # the first run under wine makes its prefix
else()
    find_package(GTest REQUIRED)
    set(TROVEX_DISCOVERY_TIMEOUT 60)
endif()
include(GoogleTest)

add_library(trovex_gtest_main STATIC ${PROJECT_SOURCE_DIR}/tests/main/TestMain.cpp)
target_link_libraries(trovex_gtest_main PUBLIC trovex_testsupport GTest::gtest)

function(trovex_add_gtest name)
    cmake_parse_arguments(ARG "" "" "LIBS;SOURCES" ${ARGN})
    add_executable(${name} ${ARG_SOURCES} ${ARG_UNPARSED_ARGUMENTS})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} trovex_testsupport trovex_gtest_main GTest::gtest)
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/tests)
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT ${TROVEX_DISCOVERY_TIMEOUT})
endfunction()

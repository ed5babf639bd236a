# trovex_add_qtest(name SOURCES ... LIBS ... [XVFB]): one Qt Test program as one CTest entry. It runs
# with the offscreen platform (under xvfb-run with the xcb platform when XVFB is given), LANG=C.UTF-8,
# the test code pages, and XDG folders that are made fresh for every run, so no test sees a real home.
include_guard(GLOBAL)
find_program(TROVEX_XVFB_RUN xvfb-run)

function(trovex_add_qtest name)
    cmake_parse_arguments(ARG "XVFB" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} Qt6::Test)
    set_target_properties(${name} PROPERTIES AUTOMOC ON RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/tests)
    set(xvfb "")
    if(ARG_XVFB)
        if(NOT TROVEX_XVFB_RUN)
            message(STATUS "xvfb-run not found: ${name} is built but not registered with CTest")
            return()
        endif()
        set(xvfb ${TROVEX_XVFB_RUN})
    endif()
    add_test(NAME ${name}
        COMMAND ${CMAKE_COMMAND} -DEXE=$<TARGET_FILE:${name}> -DHOME_DIR=${CMAKE_CURRENT_BINARY_DIR}/${name}-home
                -DXVFB_RUN=${xvfb} -DSCREENSHOT_DIR=${PROJECT_BINARY_DIR}/screenshots -P ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/RunQtTest.cmake)
    set_tests_properties(${name} PROPERTIES TIMEOUT 120)
endfunction()

# korvex_add_test(NAME SOURCES a.cpp b.cpp LIBS lib... LABELS core ...
#                 [UNPRIVILEGED])
# Each test is its own executable run headless; it links the libraries it
# exercises instead of compiling production sources into itself. UNPRIVILEGED
# tests run as an unprivileged user when the tests run as root, so that
# file-permission cases are tested rather than skipped.
function(korvex_add_test name)
    cmake_parse_arguments(T "UNPRIVILEGED" "TIMEOUT" "SOURCES;LIBS;LABELS;ENV" ${ARGN})
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE korvex_options Qt6::Test ${T_LIBS})
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
    if(T_UNPRIVILEGED)
        add_test(NAME ${name}
            COMMAND ${PROJECT_SOURCE_DIR}/scripts/unprivileged.sh $<TARGET_FILE:${name}>)
    else()
        add_test(NAME ${name} COMMAND ${name})
    endif()
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 120)
    endif()
    set_tests_properties(${name} PROPERTIES
        LABELS "${T_LABELS}"
        TIMEOUT ${T_TIMEOUT}
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;KORVEX_SOURCE_DIR=${PROJECT_SOURCE_DIR};KORVEX_RESOURCE_DIR=${PROJECT_SOURCE_DIR}/resources;${T_ENV}")
endfunction()

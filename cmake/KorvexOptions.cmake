# One interface target carries the compile options every Korvex target shares.
add_library(korvex_options INTERFACE)
target_compile_options(korvex_options INTERFACE -Wall -Wextra -Wpedantic)
target_compile_definitions(korvex_options INTERFACE
    QT_NO_FOREACH
    KORVEX_VERSION_MAJOR=${PROJECT_VERSION_MAJOR}
    KORVEX_VERSION_MINOR=${PROJECT_VERSION_MINOR}
    KORVEX_VERSION_REVISION=${PROJECT_VERSION_PATCH})
if(KORVEX_WERROR)
    target_compile_options(korvex_options INTERFACE -Werror)
endif()
if(KORVEX_FUZZ AND NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "KORVEX_FUZZ needs clang (libFuzzer)")
endif()
if((KORVEX_SANITIZE OR KORVEX_TSAN) AND KORVEX_FUZZ)
    message(FATAL_ERROR "KORVEX_FUZZ brings its own sanitizers")
endif()
if(KORVEX_SANITIZE AND KORVEX_TSAN)
    message(FATAL_ERROR "KORVEX_SANITIZE and KORVEX_TSAN exclude each other")
endif()
# Only Korvex's own code is instrumented; LibreOffice runs in its own process
# and the UNO runtime libraries are the office's.
if(KORVEX_SANITIZE)
    target_compile_options(korvex_options INTERFACE
        -fsanitize=address,undefined -fno-omit-frame-pointer
        -fno-sanitize-recover=undefined)
    target_link_options(korvex_options INTERFACE -fsanitize=address,undefined)
endif()
if(KORVEX_TSAN)
    target_compile_options(korvex_options INTERFACE -fsanitize=thread -fno-omit-frame-pointer)
    target_link_options(korvex_options INTERFACE -fsanitize=thread)
endif()
# Fuzzing: every Korvex library is instrumented for coverage and checked by
# AddressSanitizer and UndefinedBehaviorSanitizer; the fuzz targets add the
# libFuzzer driver (tests/fuzz).
if(KORVEX_FUZZ)
    target_compile_options(korvex_options INTERFACE
        -fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
        -fno-sanitize-recover=undefined)
    target_link_options(korvex_options INTERFACE -fsanitize=address,undefined)
endif()

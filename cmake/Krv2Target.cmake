# Settings every target of the project gets: strict warnings, Qt's safer connect
# and foreach switches, and the sanitizers when the sanitizer build is asked for.
option(KRV2_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
# Development and CI builds stop at any warning; a distribution's package build, with a
# compiler newer than ours, turns this off rather than fail on a new warning.
option(KRV2_WERROR "Treat compiler warnings as errors" ON)
# What every test runs with under the sanitizers: a leak fails it, except the ones the
# suppressions file names (Qt's and the platform libraries' own, held until exit).
set(KRV2_SANITIZER_ENVIRONMENT
    "ASAN_OPTIONS=detect_leaks=1:abort_on_error=1"
    "LSAN_OPTIONS=suppressions=${CMAKE_CURRENT_LIST_DIR}/lsan.supp:print_suppressions=0"
    "UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1")

function(krv2_target_defaults target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow)
    if(KRV2_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
    target_compile_definitions(${target} PRIVATE QT_NO_CONTEXTLESS_CONNECT QT_NO_FOREACH
                                                 QT_NO_KEYWORDS)
    if(KRV2_SANITIZE)
        target_compile_options(${target} PRIVATE -fsanitize=address,undefined
                                                 -fno-omit-frame-pointer -fno-sanitize-recover=all)
        target_link_options(${target} PRIVATE -fsanitize=address,undefined)
    endif()
endfunction()

# A QtTest executable registered with CTest, run headless.
function(krv2_add_test name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    krv2_target_defaults(${name})
    target_link_libraries(${name} PRIVATE Qt6::Test ${ARG_LIBS})
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;${KRV2_SANITIZER_ENVIRONMENT}"
        TIMEOUT 300)
endfunction()

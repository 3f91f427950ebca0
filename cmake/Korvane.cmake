# Shared build settings for every Korvane target.

# Warnings fail a development build; a package build on a newer compiler must not.
option(KORVANE_WERROR "Treat compiler warnings as errors" ON)
set(KORVANE_WARNINGS -Wall -Wextra -Wshadow -Wnon-virtual-dtor -Woverloaded-virtual)
if(KORVANE_WERROR)
    list(APPEND KORVANE_WARNINGS -Werror)
endif()
set(KORVANE_DEFINES QT_NO_CAST_TO_ASCII QT_NO_URL_CAST_FROM_STRING QT_DEPRECATED_WARNINGS)

# Headers written at configure time, such as korvane_version.h.
set(KORVANE_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)
configure_file(${CMAKE_CURRENT_LIST_DIR}/korvane_version.h.in
               ${KORVANE_GENERATED_DIR}/korvane_version.h @ONLY)

function(korvane_target_settings target)
    target_compile_options(${target} PRIVATE ${KORVANE_WARNINGS})
    target_compile_definitions(${target} PRIVATE ${KORVANE_DEFINES})
    target_include_directories(${target} PRIVATE ${KORVANE_GENERATED_DIR})
endfunction()

# korvane_add_library(name SOURCES ... LIBS ...)
# A static library whose folder is its public include directory.
function(korvane_add_library name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    add_library(${name} STATIC ${ARG_SOURCES})
    target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC ${ARG_LIBS})
    korvane_target_settings(${name})
endfunction()

# korvane_add_test(name SOURCES ... LIBS ... [TIMEOUT seconds])
# A Qt Test executable registered with CTest, run headless on the offscreen platform.
function(korvane_add_test name)
    cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} Qt::Test)
    korvane_target_settings(${name})
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
    add_test(NAME ${name} COMMAND ${name})
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 120)
    endif()
    # Under the sanitizers an allocation too large to make fails as it does without them
    # (the portable histories are heap memory), instead of ending the test. Qt 6 starts a
    # process with a clone that shares the parent's memory until the exec, after which the
    # thread sanitizer takes the test for a child forked from a multi-threaded process and
    # would end it at its next new thread.
    set_tests_properties(${name} PROPERTIES TIMEOUT ${ARG_TIMEOUT}
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;KORVANE_BIN_DIR=${CMAKE_BINARY_DIR}/bin;TSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/cmake/tsan.supp second_deadlock_stack=1 history_size=7 allocator_may_return_null=1 die_after_fork=0;ASAN_OPTIONS=detect_leaks=0:allocator_may_return_null=1;UBSAN_OPTIONS=print_stacktrace=1")
endfunction()

# korvane_add_bench(name SOURCES ... LIBS ...): a program that prints figures; never a test.
function(korvane_add_bench name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS})
    korvane_target_settings(${name})
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
endfunction()

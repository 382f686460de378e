# One INTERFACE target carries the language level, warnings and the strict Qt macros.
# Every target of the project links it.
add_library(vorn_settings INTERFACE)
target_compile_features(vorn_settings INTERFACE cxx_std_20)
target_compile_options(vorn_settings INTERFACE -Wall -Wextra)
target_compile_definitions(vorn_settings INTERFACE
    QT_NO_CAST_FROM_ASCII
    QT_NO_CAST_TO_ASCII
    QT_NO_CONTEXTLESS_CONNECT
    QT_NO_URL_CAST_FROM_STRING
    QT_USE_QSTRINGBUILDER
    QT_MESSAGELOGCONTEXT
    QT_DISABLE_DEPRECATED_UP_TO=0x060400
)

option(VORN_WERROR "Treat warnings as errors" OFF)
if(VORN_WERROR)
    target_compile_options(vorn_settings INTERFACE -Werror)
endif()

option(VORN_HARDENED_ASSERTS "Build with library and Qt assertions on" OFF)
if(VORN_HARDENED_ASSERTS)
    target_compile_definitions(vorn_settings INTERFACE _GLIBCXX_ASSERTIONS QT_FORCE_ASSERTS)
endif()

if(NOT CMAKE_BUILD_TYPE AND NOT CMAKE_CONFIGURATION_TYPES)
    set(CMAKE_BUILD_TYPE RelWithDebInfo CACHE STRING "Build type" FORCE)
endif()

find_program(CCACHE_PROGRAM ccache)
if(CCACHE_PROGRAM)
    set(CMAKE_C_COMPILER_LAUNCHER ${CCACHE_PROGRAM})
    set(CMAKE_CXX_COMPILER_LAUNCHER ${CCACHE_PROGRAM})
endif()

# In the fuzzing tree every target is instrumented for coverage and checked by the address
# and undefined-behaviour sanitizers; the fuzz targets add libFuzzer's main.
if(VORN_BUILD_FUZZERS)
    if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
        message(FATAL_ERROR "VORN_BUILD_FUZZERS needs clang (-DCMAKE_CXX_COMPILER=clang++)")
    endif()
    target_compile_options(vorn_settings INTERFACE
        -fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
    target_link_options(vorn_settings INTERFACE -fsanitize=address,undefined)
endif()

# SPDX-License-Identifier: Apache-2.0
# Copyright Huecast contributors
#
# Build options as INTERFACE targets: every project target links huecast_options, so warnings
# and sanitizers are set per target, never through global flags.

add_library(huecast_options INTERFACE)
add_library(huecast::options ALIAS huecast_options)

target_compile_options(huecast_options INTERFACE
    -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion -Wold-style-cast
    -Wnon-virtual-dtor -Woverloaded-virtual -Wimplicit-fallthrough -Wformat=2)
if(HUECAST_WARNINGS_AS_ERRORS)
    target_compile_options(huecast_options INTERFACE -Werror)
endif()

if(HUECAST_SANITIZERS)
    target_compile_options(huecast_options INTERFACE
        -fsanitize=${HUECAST_SANITIZERS} -fno-sanitize-recover=all -fno-omit-frame-pointer)
    target_link_options(huecast_options INTERFACE -fsanitize=${HUECAST_SANITIZERS})
endif()

if(HUECAST_BUILD_FUZZ)
    # Instrument every library for coverage; only the fuzz executables link libFuzzer's main.
    target_compile_options(huecast_options INTERFACE -fsanitize=fuzzer-no-link)
endif()

# Third-party headers are included as system headers so their warnings stay theirs.
function(huecast_add_library name)
    add_library(${name} ${ARGN})
    target_link_libraries(${name} PUBLIC huecast::options)
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
endfunction()

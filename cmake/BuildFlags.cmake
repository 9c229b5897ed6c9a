# The build flags every target of ours takes: warnings and sanitizers, applied
# per target rather than directory-wide. The target also brings the
# reproducible-build flags and, on Windows, the platform settings along.
add_library(kindsniffer_build_flags INTERFACE)
target_link_libraries(kindsniffer_build_flags INTERFACE kindsniffer_reproducible kindsniffer_windows)
target_compile_options(kindsniffer_build_flags INTERFACE -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wno-sign-conversion)

if(KINDSNIFFER_SANITIZE)
    target_compile_options(kindsniffer_build_flags INTERFACE -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
    target_link_options(kindsniffer_build_flags INTERFACE -fsanitize=address,undefined)
endif()

# ThreadSanitizer watches the threads of a batch and the two readers of a large
# file. Its runtime and AddressSanitizer's cannot share a process.
if(KINDSNIFFER_SANITIZE_THREAD)
    if(KINDSNIFFER_SANITIZE OR KINDSNIFFER_FUZZ)
        message(FATAL_ERROR "KINDSNIFFER_SANITIZE_THREAD excludes KINDSNIFFER_SANITIZE and KINDSNIFFER_FUZZ")
    endif()
    target_compile_options(kindsniffer_build_flags INTERFACE -fsanitize=thread -fno-omit-frame-pointer)
    target_link_options(kindsniffer_build_flags INTERFACE -fsanitize=thread)
endif()

# The fuzz build instruments every library for coverage; the fuzz targets
# themselves link libFuzzer's main.
if(KINDSNIFFER_FUZZ)
    target_compile_options(kindsniffer_build_flags INTERFACE -fsanitize=fuzzer-no-link,address,undefined
                           -fno-sanitize-recover=all -fno-omit-frame-pointer)
    target_link_options(kindsniffer_build_flags INTERFACE -fsanitize=address,undefined)
endif()

# Warning and sanitizer settings, applied per target rather than directory-wide.
add_library(kindsniffer_options INTERFACE)
target_link_libraries(kindsniffer_options INTERFACE kindsniffer_reproducible)
target_compile_options(kindsniffer_options INTERFACE -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wno-sign-conversion)

if(KINDSNIFFER_SANITIZE)
    target_compile_options(kindsniffer_options INTERFACE -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
    target_link_options(kindsniffer_options INTERFACE -fsanitize=address,undefined)
endif()

# The fuzz build instruments every library for coverage; the fuzz targets
# themselves link libFuzzer's main.
if(KINDSNIFFER_FUZZ)
    target_compile_options(kindsniffer_options INTERFACE -fsanitize=fuzzer-no-link,address,undefined
                           -fno-sanitize-recover=all -fno-omit-frame-pointer)
    target_link_options(kindsniffer_options INTERFACE -fsanitize=address,undefined)
endif()

if(WIN32)
    # Static runtime: the executables then need only system DLLs.
    target_link_options(kindsniffer_options INTERFACE -static)
    target_compile_definitions(kindsniffer_options INTERFACE UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)
endif()

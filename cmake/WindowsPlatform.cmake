# What every Windows program of ours is built as: with the static runtime, so
# that the executables need only system DLLs; with the wide (W) Win32 API as
# the default; for Windows 7 and later.
add_library(kindsniffer_windows INTERFACE)
if(WIN32)
    target_link_options(kindsniffer_windows INTERFACE -static)
    target_compile_definitions(kindsniffer_windows INTERFACE
        UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)
endif()

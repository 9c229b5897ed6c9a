# Version resources for the Windows executables, made from project()'s
# version so that it is written down once. The copyright line is LICENSE's own.
file(STRINGS ${PROJECT_SOURCE_DIR}/LICENSE KINDSNIFFER_COPYRIGHT REGEX "^Copyright " LIMIT_COUNT 1)
if(NOT KINDSNIFFER_COPYRIGHT)
    message(FATAL_ERROR "LICENSE has no Copyright line")
endif()

# Gives TARGET (an executable) a VERSIONINFO resource with DESCRIPTION.
function(kindsniffer_version_resource target description)
    if(NOT WIN32)
        return()
    endif()
    set(version_description "${description}")
    set(version_internal_name "${target}")
    set(version_file_name "${target}${CMAKE_EXECUTABLE_SUFFIX}")
    set(rc "${CMAKE_CURRENT_BINARY_DIR}/${target}-version.rc")
    configure_file(${PROJECT_SOURCE_DIR}/cmake/version.rc.in "${rc}" @ONLY)
    target_sources(${target} PRIVATE "${rc}")
endfunction()

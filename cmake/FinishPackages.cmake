# CPack post-build script. It runs before CPack copies the packages out of its
# staging folder, so it can still change them:
# - a zip is written again with its entries in name order (CPack adds them in
#   the order the file system lists them, which differs between two trees),
#   dated SOURCE_DATE_EPOCH when that is set, and in UTC: zip times are local;
# - SHA256SUMS goes beside the packages, in the format `sha256sum -c` reads.
cmake_minimum_required(VERSION 3.25)

set(ENV{TZ} UTC)
set(sums "")
foreach(package IN LISTS CPACK_PACKAGE_FILES)
    cmake_path(GET package FILENAME name)
    if(name MATCHES "\\.zip$")
        set(unpacked "${CPACK_TOPLEVEL_DIRECTORY}/resorted")
        file(REMOVE_RECURSE "${unpacked}")
        file(ARCHIVE_EXTRACT INPUT "${package}" DESTINATION "${unpacked}")
        file(GLOB_RECURSE entries RELATIVE "${unpacked}" "${unpacked}/*")
        list(SORT entries)
        list(JOIN entries "\n" listing)
        file(WRITE "${unpacked}.list" "${listing}\n")
        file(REMOVE "${package}")
        execute_process(COMMAND "${CPACK_KINDSNIFFER_CMAKE}" -E tar cf "${package}" --format=zip
                                --files-from=${unpacked}.list
                        WORKING_DIRECTORY "${unpacked}" COMMAND_ERROR_IS_FATAL ANY)
        file(REMOVE_RECURSE "${unpacked}" "${unpacked}.list")
    endif()
    file(SHA256 "${package}" hash)
    string(APPEND sums "${hash}  ${name}\n")
endforeach()
file(WRITE "${CPACK_PACKAGE_DIRECTORY}/SHA256SUMS" "${sums}")

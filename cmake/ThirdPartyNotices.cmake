# Writes THIRD-PARTY-NOTICES.txt for what is linked statically into the
# Windows programs: the copyright files of the Debian packages that provided
# the code linked in, found by asking the compiler which files it links and
# dpkg who owns them, then the full texts of the licenses those files only
# point to in /usr/share/common-licenses, which a Windows machine has not.
# In CR LF and with a byte-order mark, as Notepad reads it. (The Linux program
# links its libraries as shared ones, which come as the package's dependencies
# with their own notices.)
#
#   cmake -DCOMPILER=... -DZLIB_ARCHIVE=... -DTINYXML2_HEADER=... -DOUTPUT=... -P ThirdPartyNotices.cmake
cmake_minimum_required(VERSION 3.25)

# Each component: a heading, then the files that carry its code into the
# executables, separated by "|".
set(components
    "zlib (zlib license)|${ZLIB_ARCHIVE}"
    "tinyxml2 (zlib license)|${TINYXML2_HEADER}"
    "MinGW-w64 runtime and winpthreads|libmingw32.a|libmingwex.a|libwinpthread.a"
    "GCC runtime libraries (libstdc++, libgcc), under the GCC Runtime Library Exception|libstdc++.a|libgcc.a|libgcc_eh.a"
)
set(programs "Kindsniffer.exe and kindsniffer-cli.exe are linked statically: they contain")

function(owning_package file out)
    if(NOT IS_ABSOLUTE "${file}")
        execute_process(COMMAND "${COMPILER}" -print-file-name=${file}
                        OUTPUT_VARIABLE found OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
        if(NOT IS_ABSOLUTE "${found}")
            message(FATAL_ERROR "the compiler does not know ${file}")
        endif()
        set(file "${found}")
    endif()
    file(REAL_PATH "${file}" file)
    execute_process(COMMAND dpkg-query -S "${file}" OUTPUT_VARIABLE owner RESULT_VARIABLE failed
                    OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(failed)
        message(FATAL_ERROR "no Debian package owns ${file}, so its notice cannot be found")
    endif()
    # "package[:arch]: /path"
    string(REGEX REPLACE "^([^:,]+).*" "\\1" package "${owner}")
    set(${out} "${package}" PARENT_SCOPE)
endfunction()

set(common_licenses /usr/share/common-licenses)
set(rule "==============================================================================\n")
set(text "Third-party notices\n\n")
string(APPEND text
    "${programs}\n"
    "code of the components below. Each one's notice is the copyright file of the\n"
    "Debian package it was built from, reproduced unchanged. Where a notice points\n"
    "to a license in ${common_licenses}/ on a Debian system, that\n"
    "license's full text follows at the end, under \"License texts\".\n\n")

foreach(component IN LISTS components)
    string(REPLACE "|" ";" fields "${component}")
    list(POP_FRONT fields heading)
    set(packages "")
    foreach(file IN LISTS fields)
        owning_package("${file}" package)
        list(APPEND packages "${package}")
    endforeach()
    list(REMOVE_DUPLICATES packages)

    # Packages of one source share one copyright file: print each text once.
    set(seen "")
    set(names "")
    set(bodies "")
    foreach(package IN LISTS packages)
        set(copyright "/usr/share/doc/${package}/copyright")
        if(NOT EXISTS "${copyright}")
            message(FATAL_ERROR "${copyright} is missing")
        endif()
        execute_process(COMMAND dpkg-query -W -f=\${Version} ${package}
                        OUTPUT_VARIABLE version COMMAND_ERROR_IS_FATAL ANY)
        list(APPEND names "${package} ${version}")
        file(SHA256 "${copyright}" hash)
        if(NOT hash IN_LIST seen)
            list(APPEND seen "${hash}")
            file(READ "${copyright}" body)
            string(APPEND bodies "${body}\n")
        endif()
    endforeach()
    list(JOIN names ", " names)
    string(APPEND text "${rule}${heading}\nDebian packages: ${names}\n${rule}\n${bodies}\n")
endforeach()

# The licenses the notices point to, each text once: GPL names the same file
# as GPL-3 there.
string(REGEX MATCHALL "${common_licenses}/[A-Za-z0-9][A-Za-z0-9.+_-]*[A-Za-z0-9]" references "${text}")
list(REMOVE_DUPLICATES references)
set(licenses "")
foreach(reference IN LISTS references)
    if(NOT EXISTS "${reference}")
        message(FATAL_ERROR "a notice points to ${reference}, which is missing")
    endif()
    file(REAL_PATH "${reference}" license)
    get_filename_component(name "${reference}" NAME)
    get_filename_component(license_name "${license}" NAME)
    list(APPEND licenses "${license_name}")
    if(NOT name STREQUAL license_name)
        list(APPEND aliases_${license_name} "${name}")
    endif()
endforeach()
list(REMOVE_DUPLICATES licenses)
list(SORT licenses)
if(licenses)
    string(APPEND text "${rule}License texts\n${rule}\n")
endif()
foreach(license IN LISTS licenses)
    set(heading "${license}")
    if(aliases_${license})
        list(SORT aliases_${license})
        list(JOIN aliases_${license} ", " aliases)
        string(APPEND heading " (the notices name it ${aliases} too)")
    endif()
    file(READ "${common_licenses}/${license}" body)
    string(APPEND text "------------------------------------------------------------------------------\n"
                       "${heading}\n"
                       "------------------------------------------------------------------------------\n\n"
                       "${body}\n")
endforeach()

string(REPLACE "\r\n" "\n" text "${text}")
string(REPLACE "\n" "\r\n" text "${text}")
string(ASCII 239 187 191 utf8_bom)
file(WRITE "${OUTPUT}" "${utf8_bom}${text}")

# tinyxml2: Debian's package natively; for the cross build, Debian's source
# package unpacked into .deps/ by scripts/fetch-tinyxml2.sh.
if(CMAKE_CROSSCOMPILING)
    set(KINDSNIFFER_TINYXML2_SOURCE "${PROJECT_SOURCE_DIR}/.deps/tinyxml2" CACHE PATH "tinyxml2 source folder")
    if(NOT EXISTS "${KINDSNIFFER_TINYXML2_SOURCE}/tinyxml2.cpp")
        message(FATAL_ERROR "tinyxml2 source not found in ${KINDSNIFFER_TINYXML2_SOURCE}; run scripts/fetch-tinyxml2.sh")
    endif()
    add_library(tinyxml2_static STATIC "${KINDSNIFFER_TINYXML2_SOURCE}/tinyxml2.cpp")
    target_include_directories(tinyxml2_static SYSTEM PUBLIC "${KINDSNIFFER_TINYXML2_SOURCE}")
    target_link_libraries(tinyxml2_static PRIVATE kindsniffer_reproducible)
    add_library(tinyxml2::tinyxml2 ALIAS tinyxml2_static)
else()
    find_package(tinyxml2 REQUIRED)
endif()

# zlib for the compressed payloads the signatures look into: Debian's
# zlib1g-dev natively, libz-mingw-w64-dev for the cross build (found under the
# toolchain's find root). The Windows programs link it statically, so that they
# need no zlib1.dll beside them; the Linux program links the system's shared
# zlib, as a Debian package must (dpkg-shlibdeps then makes it depend on zlib1g).
if(WIN32)
    set(ZLIB_USE_STATIC_LIBS ON)
endif()
find_package(ZLIB REQUIRED)

if(KINDSNIFFER_TESTS)
    set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
    if(NOT EXISTS /usr/src/googletest/CMakeLists.txt)
        message(FATAL_ERROR "GoogleTest source not found in /usr/src/googletest; install Debian's googletest package")
    endif()
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/_googletest EXCLUDE_FROM_ALL SYSTEM)
    include(GoogleTest)
endif()

if(CMAKE_CROSSCOMPILING)
    set(KINDSNIFFER_WINEPREFIX "${CMAKE_BINARY_DIR}/wineprefix")
    configure_file(cmake/wine-run.sh.in "${CMAKE_BINARY_DIR}/wine-run.sh"
                   FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE
                   @ONLY)
endif()

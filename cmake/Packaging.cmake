# What a release holds, and the packages CPack makes of it:
#   windows preset: Kindsniffer-VERSION-win64.zip, one folder to unpack anywhere;
#   native preset:  three .deb packages, installed under /usr, one per install component:
#     kindsniffer-cli_VERSION_amd64.deb     the console program, its man page and docs;
#     libkindsniffer0_VERSION_amd64.deb     libkindsniffer.so.0 and the shipped set;
#     libkindsniffer-dev_VERSION_amd64.deb  the header, the libkindsniffer.so link, kindsniffer.pc.
# Both write SHA256SUMS beside the packages.
#
# The console program depends on libkindsniffer0, at its own version, for the
# shipped set alone: its code stays linked in (it uses the core's C++ beyond
# the C interface: --explain, --lint, renames). One set in one place,
# /usr/share/kindsniffer/Kindsniffer.xml, is what both the program and every
# program using the library read, so they answer alike; two packages cannot
# both hold that file, and two copies in two places would drift apart when a
# user edits one. The version is exact because a set may use pattern forms
# that only its own release reads.
include(GNUInstallDirs)

if(WIN32)
    # Static linking puts their code into the executables, so their notices ship.
    # The cross build compiles Debian's tinyxml2 source package; its binary
    # package libtinyxml2-dev, from the same source, holds the copyright file.
    set(notices ${PROJECT_BINARY_DIR}/packaging/THIRD-PARTY-NOTICES.txt)
    add_custom_command(OUTPUT ${notices}
        COMMAND ${CMAKE_COMMAND} -DCOMPILER=${CMAKE_CXX_COMPILER} -DZLIB_ARCHIVE=${ZLIB_LIBRARY_RELEASE}
                -DTINYXML2_HEADER=/usr/include/tinyxml2.h -DOUTPUT=${notices}
                -P ${PROJECT_SOURCE_DIR}/cmake/ThirdPartyNotices.cmake
        DEPENDS ${PROJECT_SOURCE_DIR}/cmake/ThirdPartyNotices.cmake
        COMMENT "Collecting third-party notices from the Debian packages"
        VERBATIM)
    add_custom_target(kindsniffer_notices ALL DEPENDS ${notices})

    # The authoring guide as a web page, which Windows opens in a browser; a
    # .md file it opens in nothing. Made from the Markdown at each build.
    find_program(CMARK_GFM cmark-gfm REQUIRED)
    set(guide ${PROJECT_BINARY_DIR}/packaging/signature-authoring.html)
    add_custom_command(OUTPUT ${guide}
        COMMAND ${CMAKE_COMMAND} -DCMARK_GFM=${CMARK_GFM} -DINPUT=${PROJECT_SOURCE_DIR}/docs/signature-authoring.md
                -DOUTPUT=${guide} -P ${PROJECT_SOURCE_DIR}/cmake/GuideHtml.cmake
        DEPENDS ${PROJECT_SOURCE_DIR}/docs/signature-authoring.md ${PROJECT_SOURCE_DIR}/cmake/GuideHtml.cmake
        COMMENT "Writing the authoring guide as HTML"
        VERBATIM)
    add_custom_target(kindsniffer_guide ALL DEPENDS ${guide})

    # The user guide, in the line ends and byte-order mark Notepad expects.
    string(ASCII 239 187 191 utf8_bom)
    file(READ ${PROJECT_SOURCE_DIR}/packaging/README.txt readme)
    file(CONFIGURE OUTPUT ${PROJECT_BINARY_DIR}/packaging/README.txt CONTENT "${utf8_bom}${readme}"
         @ONLY NEWLINE_STYLE CRLF)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/packaging/README.txt)

    install(TARGETS Kindsniffer kindsniffer-cli RUNTIME DESTINATION .)
    install(FILES
        ${PROJECT_SOURCE_DIR}/data/Kindsniffer.xml
        ${PROJECT_BINARY_DIR}/packaging/README.txt
        ${PROJECT_SOURCE_DIR}/LICENSE
        ${notices}
        DESTINATION .)
    install(FILES ${guide} DESTINATION docs)

    set(CPACK_GENERATOR ZIP)
    set(CPACK_PACKAGE_FILE_NAME "${PROJECT_NAME}-${PROJECT_VERSION}-win64")
    set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
else()
    # The release's date is the newest entry's in packaging/changelog: the man
    # page carries it, so two builds of one commit agree whenever they are made.
    file(STRINGS ${PROJECT_SOURCE_DIR}/packaging/changelog trailers REGEX "^ -- ")
    list(GET trailers 0 newest)
    if(NOT newest MATCHES ", ([0-9]+) ([A-Z][a-z][a-z]) ([0-9][0-9][0-9][0-9]) ")
        message(FATAL_ERROR "packaging/changelog: no date in its newest entry")
    endif()
    set(months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
    list(FIND months ${CMAKE_MATCH_2} month)
    math(EXPR month "${month} + 1")
    string(LENGTH "${month}" digits)
    string(LENGTH "${CMAKE_MATCH_1}" day_digits)
    if(digits EQUAL 1)
        set(month "0${month}")
    endif()
    set(day ${CMAKE_MATCH_1})
    if(day_digits EQUAL 1)
        set(day "0${day}")
    endif()
    set(KINDSNIFFER_RELEASE_DATE "${CMAKE_MATCH_3}-${month}-${day}")

    # gzip -n: no name or time in the header, so the package stays reproducible.
    set(man_page ${PROJECT_BINARY_DIR}/packaging/kindsniffer-cli.1)
    configure_file(${PROJECT_SOURCE_DIR}/packaging/kindsniffer-cli.1 ${man_page} @ONLY)
    set(changelog ${PROJECT_BINARY_DIR}/packaging/changelog)
    configure_file(${PROJECT_SOURCE_DIR}/packaging/changelog ${changelog} COPYONLY)
    add_custom_command(OUTPUT ${man_page}.gz ${changelog}.gz
        COMMAND gzip -9 -n -f -k ${man_page}
        COMMAND gzip -9 -n -f -k ${changelog}
        DEPENDS ${man_page} ${changelog}
        VERBATIM)
    add_custom_target(kindsniffer_man_page ALL DEPENDS ${man_page}.gz ${changelog}.gz)

    # The library's own files and the shipped set are installed by lib/CMakeLists.txt, in the
    # components libkindsniffer0 and libkindsniffer-dev.
    install(TARGETS kindsniffer-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT kindsniffer-cli)
    install(FILES ${man_page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT kindsniffer-cli)
    install(FILES ${PROJECT_SOURCE_DIR}/docs/signature-authoring.md
            DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/kindsniffer-cli COMPONENT kindsniffer-cli)
    # Every package has its copyright file and changelog.gz, as Debian names it in a package whose
    # version has no Debian revision.
    foreach(package IN ITEMS kindsniffer-cli libkindsniffer0 libkindsniffer-dev)
        install(FILES ${changelog}.gz DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package} COMPONENT ${package})
        install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package}
                RENAME copyright COMPONENT ${package})
    endforeach()

    set(CPACK_GENERATOR DEB)
    set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
    set(CPACK_DEB_COMPONENT_INSTALL ON)
    set(CPACK_COMPONENTS_ALL kindsniffer-cli libkindsniffer0 libkindsniffer-dev)
    set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
    set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Kindsniffer developers <dev@kindsniffer.invalid>")
    # Component dependencies become "(= VERSION)".
    set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
    set(CPACK_COMPONENT_KINDSNIFFER-CLI_DEPENDS libkindsniffer0)
    set(CPACK_COMPONENT_LIBKINDSNIFFER-DEV_DEPENDS libkindsniffer0)
    # A component's descriptions stand below the summary line, CPACK_PACKAGE_DESCRIPTION_SUMMARY.
    set(CPACK_DEBIAN_KINDSNIFFER-CLI_PACKAGE_NAME kindsniffer-cli)
    set(CPACK_DEBIAN_KINDSNIFFER-CLI_PACKAGE_SECTION utils)
    string(CONCAT CPACK_DEBIAN_KINDSNIFFER-CLI_DESCRIPTION
        "kindsniffer-cli examines files by their contents rather than their names,\n"
        "using a signature file the user can edit, and can give files whose\n"
        "extension does not fit their type the right one. It reports as a table\n"
        "or as JSON lines, and never overwrites a file when it renames.")
    set(CPACK_DEBIAN_LIBKINDSNIFFER0_PACKAGE_NAME libkindsniffer0)
    set(CPACK_DEBIAN_LIBKINDSNIFFER0_PACKAGE_SECTION libs)
    string(CONCAT CPACK_DEBIAN_LIBKINDSNIFFER0_DESCRIPTION
        "libkindsniffer tells a file's type from its bytes, by a signature set,\n"
        "for a file by its path or for bytes held in memory, behind a small C\n"
        "interface that any language can call. This package holds the shared\n"
        "library and the shipped signature set, which kindsniffer-cli reads too.")
    set(CPACK_DEBIAN_LIBKINDSNIFFER-DEV_PACKAGE_NAME libkindsniffer-dev)
    set(CPACK_DEBIAN_LIBKINDSNIFFER-DEV_PACKAGE_SECTION libdevel)
    string(CONCAT CPACK_DEBIAN_LIBKINDSNIFFER-DEV_DESCRIPTION
        "libkindsniffer tells a file's type from its bytes, by a signature set.\n"
        "This package holds what a program is built against it with: the header\n"
        "kindsniffer.h, the libkindsniffer.so link and the pkg-config file.")
    # The library's control files: shlibs (made by CPack from the SONAME), the symbols file that
    # lists each exported function with the version that brought it (a function added later gets
    # its own version there; tests/package/test_deb.sh checks the list against the library), and
    # the trigger that has ldconfig run once for every package installed together.
    # For a library under /usr/lib CPack also writes a postinst and a postrm that call ldconfig
    # themselves, which lintian warns of, unless this list names files of those names: naming two
    # that do not exist leaves them out (CPack warns that it cannot add them).
    set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
    set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
    set(CPACK_DEBIAN_LIBKINDSNIFFER0_PACKAGE_CONTROL_EXTRA
        ${PROJECT_SOURCE_DIR}/packaging/libkindsniffer0/symbols ${PROJECT_SOURCE_DIR}/packaging/libkindsniffer0/triggers
        ${PROJECT_BINARY_DIR}/packaging/no-maintainer-scripts/postinst
        ${PROJECT_BINARY_DIR}/packaging/no-maintainer-scripts/postrm)
    set(CPACK_DEBIAN_LIBKINDSNIFFER0_PACKAGE_CONTROL_STRICT_PERMISSION ON)
endif()

set(CPACK_PACKAGE_NAME ${PROJECT_NAME})
set(CPACK_PACKAGE_VENDOR "Kindsniffer developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Tells what kind of file a file really is, from its bytes")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
set(CPACK_POST_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/FinishPackages.cmake)
set(CPACK_KINDSNIFFER_CMAKE ${CMAKE_COMMAND})
set(CPACK_SOURCE_GENERATOR "")
include(CPack)

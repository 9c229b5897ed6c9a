# What a release holds, and the packages CPack makes of it:
#   windows preset: Kindsniffer-VERSION-win64.zip, one folder to unpack anywhere;
#   native preset:  kindsniffer-cli_VERSION_amd64.deb, installed under /usr.
# Both write SHA256SUMS beside the package.
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

    set(doc_dir ${CMAKE_INSTALL_DATADIR}/doc/kindsniffer-cli)
    install(TARGETS kindsniffer-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    install(FILES ${PROJECT_SOURCE_DIR}/data/Kindsniffer.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/kindsniffer)
    install(FILES ${man_page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    # changelog.gz, as Debian names it in a package whose version has no Debian revision.
    install(FILES ${changelog}.gz DESTINATION ${doc_dir})
    install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${doc_dir} RENAME copyright)
    install(FILES ${PROJECT_SOURCE_DIR}/docs/signature-authoring.md DESTINATION ${doc_dir})

    set(CPACK_GENERATOR DEB)
    set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
    set(CPACK_DEBIAN_PACKAGE_NAME kindsniffer-cli)
    set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
    set(CPACK_DEBIAN_PACKAGE_SECTION utils)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
    set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Kindsniffer developers <dev@kindsniffer.invalid>")
    # Below the summary line, which is CPACK_PACKAGE_DESCRIPTION_SUMMARY.
    set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
        "kindsniffer-cli examines files by their contents rather than their names,\n"
        "using a signature file the user can edit, and can give files whose\n"
        "extension does not fit their type the right one. It reports as a table\n"
        "or as JSON lines, and never overwrites a file when it renames.")
    string(REPLACE ";" "" CPACK_DEBIAN_PACKAGE_DESCRIPTION "${CPACK_DEBIAN_PACKAGE_DESCRIPTION}")
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

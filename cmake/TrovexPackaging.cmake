# SPDX-License-Identifier: MIT
# The packages people install from, made by CPack from this build:
#   Linux    `cpack --preset deb`      trovex_<version>_amd64.deb
#   Windows  `cpack --preset windows`  trovex-<version>-win64.zip (portable) and
#                                      trovex-<version>-win64-setup.exe (NSIS, per user or for all users)
# Everything takes its version from project(VERSION) and its date from TROVEX_RELEASE_DATE.

set(CPACK_PACKAGE_NAME trovex)
set(CPACK_PACKAGE_VENDOR Brenvik)
set(CPACK_PACKAGE_CONTACT "Brenvik <support@brenvik.example>")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://brenvik.example/trovex/")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "find files by name, date and the text they contain")
# Debian shows the description as it is written: lines under 80 characters.
set(CPACK_PACKAGE_DESCRIPTION
    "Trovex finds files by name masks or a file-type preset, in one folder with
or without its subfolders, by a range of modification dates, and by a text a
file must contain and one it must not, in several code pages at once (Windows,
DOS, KOI8-R, UTF-8, UTF-16), inside ZIP archives and in the text of PDF and
office documents. It is a window, trovex, and a command, trovex-cli.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_INSTALL_DIRECTORY Trovex)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)
set(CPACK_SOURCE_GENERATOR "")

if(WIN32)
    # One folder holding the programs, the language files and the help page: the layout the
    # programs expect (their files beside them), so the zip runs from wherever it is unpacked.
    # trovex.exe, the window, ships beside trovex-cli.exe, and the Start-menu shortcut opens it.
    set(TROVEX_SHIP_WINDOW ON)
    if(TARGET trovex-cli)
        install(TARGETS trovex-cli RUNTIME DESTINATION .)
    endif()
    if(TARGET trovex AND TROVEX_SHIP_WINDOW)
        install(TARGETS trovex RUNTIME DESTINATION .)
    endif()
    file(GLOB TROVEX_PACKAGE_LANGUAGE_FILES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/share/lang/*.lng)
    install(FILES ${TROVEX_PACKAGE_LANGUAGE_FILES} ${PROJECT_SOURCE_DIR}/share/trovex.html DESTINATION .)

    set(CPACK_GENERATOR ZIP NSIS)
    set(CPACK_PACKAGE_FILE_NAME trovex-${PROJECT_VERSION}-win64)
    # The installer's script is our own (cmake/nsis/NSIS.template.in): it installs per user or for
    # all users and removes exactly the files it put down.
    list(PREPEND CMAKE_MODULE_PATH ${PROJECT_SOURCE_DIR}/cmake/nsis)
    set(CPACK_NSIS_DISPLAY_NAME Trovex)
    set(CPACK_NSIS_PACKAGE_NAME "Trovex ${PROJECT_VERSION}")
    set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY Trovex)
    set(CPACK_NSIS_UNINSTALL_NAME Uninstall)
    if(TARGET trovex AND TROVEX_SHIP_WINDOW)
        set(TROVEX_NSIS_WINDOW trovex.exe)
    else()
        set(TROVEX_NSIS_WINDOW "")
    endif()
    configure_file(${PROJECT_SOURCE_DIR}/cmake/nsis/TrovexCPackOptions.cmake.in
                   ${PROJECT_BINARY_DIR}/TrovexCPackOptions.cmake @ONLY)
    set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_BINARY_DIR}/TrovexCPackOptions.cmake)
    include(CPack)
    return()
endif()

if(NOT TARGET trovex)
    return() # the Debian package is the window's and the command's together
endif()

# What a desktop expects of an installed program, beside the program's own folder. Only the package
# carries these (component Package, left out of a plain `cmake --install`): that installation's
# uninstall removes what its manifest lists, and these would outlive it.
include(GNUInstallDirs)
set(TROVEX_APP_ID example.brenvik.trovex)
set(TROVEX_PACKAGE_SHARE ${PROJECT_BINARY_DIR}/share)
file(MAKE_DIRECTORY ${TROVEX_PACKAGE_SHARE})

# The day of the week for the changelog's date line (Sakamoto's method).
string(REGEX MATCH "^([0-9]+)-([0-9]+)-([0-9]+)$" _ "${TROVEX_RELEASE_DATE}")
math(EXPR year "${CMAKE_MATCH_1}")
math(EXPR month "${CMAKE_MATCH_2}")
math(EXPR day "${CMAKE_MATCH_3}")
set(offsets 0 3 2 5 0 3 5 1 4 6 2 4)
math(EXPR index "${month} - 1")
list(GET offsets ${index} offset)
set(y ${year})
if(month LESS 3)
    math(EXPR y "${year} - 1")
endif()
math(EXPR weekday "(${y} + ${y} / 4 - ${y} / 100 + ${y} / 400 + ${offset} + ${day}) % 7")
set(weekdays Sun Mon Tue Wed Thu Fri Sat)
set(monthNames Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
list(GET weekdays ${weekday} weekdayName)
list(GET monthNames ${index} monthName)
set(TROVEX_RELEASE_DATE_RFC2822 "${weekdayName}, ${CMAKE_MATCH_3} ${monthName} ${year} 00:00:00 +0000")

configure_file(${PROJECT_SOURCE_DIR}/share/linux/${TROVEX_APP_ID}.metainfo.xml.in
               ${TROVEX_PACKAGE_SHARE}/${TROVEX_APP_ID}.metainfo.xml @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/share/linux/changelog.in ${TROVEX_PACKAGE_SHARE}/changelog @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/share/man/trovex-cli.1.in ${TROVEX_PACKAGE_SHARE}/trovex-cli.1 @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/share/man/trovex.1.in ${TROVEX_PACKAGE_SHARE}/trovex.1 @ONLY)

# Debian wants manual pages and the changelog compressed, without a time stamp (-n) so that the
# same sources give the same package.
find_program(TROVEX_GZIP gzip REQUIRED)
set(TROVEX_PACKAGE_GENERATED "")
foreach(name trovex-cli.1 trovex.1 changelog)
    add_custom_command(OUTPUT ${TROVEX_PACKAGE_SHARE}/${name}.gz
        COMMAND ${TROVEX_GZIP} -9nkf ${name}
        DEPENDS ${TROVEX_PACKAGE_SHARE}/${name}
        WORKING_DIRECTORY ${TROVEX_PACKAGE_SHARE} VERBATIM)
    list(APPEND TROVEX_PACKAGE_GENERATED ${TROVEX_PACKAGE_SHARE}/${name}.gz)
endforeach()

# The icon is drawn once, as SVG; its PNG sizes are rendered from it by rsvg-convert (Debian
# package librsvg2-bin) when the build runs.
set(TROVEX_ICON_SIZES 16 22 24 32 48 64 128 256)
find_program(TROVEX_RSVG_CONVERT rsvg-convert)
if(TROVEX_RSVG_CONVERT)
    foreach(size ${TROVEX_ICON_SIZES})
        set(png ${TROVEX_PACKAGE_SHARE}/icons/${size}x${size}/trovex.png)
        add_custom_command(OUTPUT ${png}
            COMMAND ${CMAKE_COMMAND} -E make_directory ${TROVEX_PACKAGE_SHARE}/icons/${size}x${size}
            COMMAND ${TROVEX_RSVG_CONVERT} -w ${size} -h ${size} -o ${png} ${PROJECT_SOURCE_DIR}/share/icons/trovex.svg
            DEPENDS ${PROJECT_SOURCE_DIR}/share/icons/trovex.svg VERBATIM)
        list(APPEND TROVEX_PACKAGE_GENERATED ${png})
        install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/icons/hicolor/${size}x${size}/apps
                COMPONENT Package EXCLUDE_FROM_ALL)
    endforeach()
else()
    message(WARNING "rsvg-convert not found (Debian package librsvg2-bin): the package carries the icon as SVG only")
endif()
add_custom_target(trovex_package_files ALL DEPENDS ${TROVEX_PACKAGE_GENERATED})

set(dest ${CMAKE_INSTALL_DATAROOTDIR})
install(FILES ${PROJECT_SOURCE_DIR}/share/linux/${TROVEX_APP_ID}.desktop DESTINATION ${dest}/applications
        COMPONENT Package EXCLUDE_FROM_ALL)
install(FILES ${TROVEX_PACKAGE_SHARE}/${TROVEX_APP_ID}.metainfo.xml DESTINATION ${dest}/metainfo
        COMPONENT Package EXCLUDE_FROM_ALL)
install(FILES ${PROJECT_SOURCE_DIR}/share/icons/trovex.svg DESTINATION ${dest}/icons/hicolor/scalable/apps
        COMPONENT Package EXCLUDE_FROM_ALL)
install(FILES ${TROVEX_PACKAGE_SHARE}/trovex-cli.1.gz ${TROVEX_PACKAGE_SHARE}/trovex.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT Package EXCLUDE_FROM_ALL)
install(FILES ${PROJECT_SOURCE_DIR}/share/completions/trovex-cli.bash DESTINATION ${dest}/bash-completion/completions
        RENAME trovex-cli COMPONENT Package EXCLUDE_FROM_ALL)
install(FILES ${PROJECT_SOURCE_DIR}/share/completions/_trovex-cli DESTINATION ${dest}/zsh/vendor-completions
        COMPONENT Package EXCLUDE_FROM_ALL)
install(FILES ${PROJECT_SOURCE_DIR}/share/completions/trovex-cli.fish DESTINATION ${dest}/fish/vendor_completions.d
        COMPONENT Package EXCLUDE_FROM_ALL)
install(FILES ${PROJECT_SOURCE_DIR}/share/linux/copyright ${TROVEX_PACKAGE_SHARE}/changelog.gz
        DESTINATION ${dest}/doc/trovex COMPONENT Package EXCLUDE_FROM_ALL)

# The package says in the program's folder that the folder is the package manager's, so that a
# marker left there by an earlier installation by hand never lets "trovex -u" remove its files.
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/installed-by-package
     "This folder was installed by a package; the package manager removes it.\n")
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/installed-by-package DESTINATION ${TROVEX_INSTALL_DIR}
        COMPONENT Package EXCLUDE_FROM_ALL)

# The commands in the shared bin folder are relative links into the program's own folder, where the
# window finds its language files and help page beside it.
get_filename_component(binFull "/prefix/${CMAKE_INSTALL_BINDIR}" ABSOLUTE)
get_filename_component(folderFull "/prefix/${TROVEX_INSTALL_DIR}" ABSOLUTE)
file(RELATIVE_PATH binToFolder "${binFull}" "${folderFull}")
install(CODE "
    set(bin \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
    file(MAKE_DIRECTORY \"\${bin}\")
    foreach(program trovex trovex-cli)
        file(CREATE_LINK \"${binToFolder}/\${program}\" \"\${bin}/\${program}\" SYMBOLIC)
    endforeach()
" COMPONENT Package EXCLUDE_FROM_ALL)

# One package of the program's files and the desktop's, without the marker that a plain
# `cmake --install` writes: the package's files are dpkg's, and `trovex -u` must leave them alone.
set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
set(CPACK_COMPONENTS_ALL Unspecified Package)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_PACKAGE_NAME trovex)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt loads its display plugins at run time, where dpkg-shlibdeps cannot see them; without them the
# window cannot open. The rest is what the libraries the programs link need, found by shlibdeps.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
# Opening files and folders goes through xdg-open; type icons fall back to Adwaita.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils, adwaita-icon-theme")
include(CPack)

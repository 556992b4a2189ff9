# Installation (cmake --install, make install) and the Debian package (cpack -G DEB,
# make package). The installed program folder is <libdir>/korvani: the executable, its
# language files and the default settings file; <bindir>/korvani links to the executable.

# The program folder lives in lib/korvani, also when the prefix is /usr (where
# GNUInstallDirs would pick Debian's multiarch folder lib/<triplet>).
if(NOT DEFINED CACHE{CMAKE_INSTALL_LIBDIR})
    set(CMAKE_INSTALL_LIBDIR lib CACHE PATH "Object code libraries (LIBDIR)")
endif()
include(GNUInstallDirs)

set(KORVANI_APP_ID com.example.Korvani)
string(REGEX REPLACE "\\.[^.]*$" "" KORVANI_DEVELOPER_ID ${KORVANI_APP_ID}) # com.example
set(KORVANI_HOMEPAGE https://www.example.com/korvani/)
set(KORVANI_MAINTAINER "${KORVANI_COMPANY_NAME} <korvani@example.com>")
set(KORVANI_INSTALL_PROGRAM_DIR ${CMAKE_INSTALL_LIBDIR}/korvani)
set(KORVANI_FULL_PROGRAM_DIR ${CMAKE_INSTALL_FULL_LIBDIR}/korvani)
set(KORVANI_INSTALL_DOC_DIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/korvani)
set(KORVANI_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)
set(KORVANI_PACKAGING_OUT ${PROJECT_BINARY_DIR}/packaging)

# Directories the install creates get 0755 whatever the umask.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

# The release history (Debian changelog, AppStream releases) must start at this version.
foreach(history changelog korvani.metainfo.xml.in)
    file(STRINGS ${KORVANI_PACKAGING_DIR}/${history} newest
         REGEX "^korvani \\(|<release version=" LIMIT_COUNT 1)
    if(NOT newest MATCHES "[(\"]${PROJECT_VERSION}[)\"]")
        message(FATAL_ERROR
            "packaging/${history}: its newest release is not ${PROJECT_VERSION}; add one")
    endif()
endforeach()

# The program knows its installed folder: run from there, each user keeps the settings
# file in a copy of their own.
target_compile_definitions(korvani_core PRIVATE
    KORVANI_INSTALLED_PROGRAM_DIR="${KORVANI_FULL_PROGRAM_DIR}")

# The program folder.
install(TARGETS Korvani RUNTIME DESTINATION ${KORVANI_INSTALL_PROGRAM_DIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/resources/language/
        DESTINATION ${KORVANI_INSTALL_PROGRAM_DIR}/language
        FILES_MATCHING PATTERN "*.ini")
install(FILES ${PROJECT_SOURCE_DIR}/resources/Korvani.ini DESTINATION ${KORVANI_INSTALL_PROGRAM_DIR})

# The command: a relative link, so the tree can move (DESTDIR, packaging).
file(RELATIVE_PATH KORVANI_LINK_TARGET ${CMAKE_INSTALL_FULL_BINDIR} ${KORVANI_FULL_PROGRAM_DIR}/Korvani)
file(MAKE_DIRECTORY ${KORVANI_PACKAGING_OUT})
file(CREATE_LINK ${KORVANI_LINK_TARGET} ${KORVANI_PACKAGING_OUT}/korvani SYMBOLIC)
install(FILES ${KORVANI_PACKAGING_OUT}/korvani DESTINATION ${CMAKE_INSTALL_BINDIR})

# Desktop integration, named by the application id.
configure_file(${KORVANI_PACKAGING_DIR}/korvani.desktop.in
               ${KORVANI_PACKAGING_OUT}/${KORVANI_APP_ID}.desktop @ONLY)
configure_file(${KORVANI_PACKAGING_DIR}/korvani.metainfo.xml.in
               ${KORVANI_PACKAGING_OUT}/${KORVANI_APP_ID}.metainfo.xml @ONLY)
install(FILES ${KORVANI_PACKAGING_OUT}/${KORVANI_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${KORVANI_PACKAGING_OUT}/${KORVANI_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
foreach(size 48 64 128 256)
    install(FILES ${KORVANI_PACKAGING_DIR}/icons/korvani-${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
            RENAME ${KORVANI_APP_ID}.png)
endforeach()
install(FILES ${KORVANI_PACKAGING_DIR}/icons/korvani.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
        RENAME ${KORVANI_APP_ID}.svg)

# The manual page and the changelog, compressed as Debian wants (no name, no time stamp).
configure_file(${KORVANI_PACKAGING_DIR}/korvani.1.in ${KORVANI_PACKAGING_OUT}/korvani.1 @ONLY)
configure_file(${KORVANI_PACKAGING_DIR}/changelog ${KORVANI_PACKAGING_OUT}/changelog COPYONLY)
set(KORVANI_GZIPPED)
foreach(name korvani.1 changelog)
    add_custom_command(OUTPUT ${KORVANI_PACKAGING_OUT}/${name}.gz
        COMMAND gzip -9nkf ${KORVANI_PACKAGING_OUT}/${name}
        DEPENDS ${KORVANI_PACKAGING_OUT}/${name}
        COMMENT "Compressing ${name}"
        VERBATIM)
    list(APPEND KORVANI_GZIPPED ${KORVANI_PACKAGING_OUT}/${name}.gz)
endforeach()
add_custom_target(korvani_packaging_files ALL DEPENDS ${KORVANI_GZIPPED})
install(FILES ${KORVANI_PACKAGING_OUT}/korvani.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${KORVANI_PACKAGING_DIR}/copyright ${KORVANI_PACKAGING_OUT}/changelog.gz
        DESTINATION ${KORVANI_INSTALL_DOC_DIR})

# The Debian package: korvani_<version>_<arch>.deb in the build folder.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME korvani)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR ${KORVANI_COMPANY_NAME})
set(CPACK_PACKAGE_CONTACT ${KORVANI_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "builds lists of e-mail addresses from a range of numbers")
set(CPACK_PACKAGE_DESCRIPTION
    "Korvani is a small desktop program that builds lists of e-mail addresses.
Type a range of numbers and a mail-domain suffix, or pick a suffix from the
stored list, and choose a file: Korvani writes one address per number (the
number's digits, an @ and the suffix), one to a line, and shows them with
its progress while it works. Stop ends a run at once and keeps everything
written so far.")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${KORVANI_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${KORVANI_HOMEPAGE})
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The libraries come from dpkg-shlibdeps; Qt loads its platform plugins at run time,
# which no library dependency shows, so the package that holds them (xcb, wayland) is named.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The platform plugins show the window (shlibdeps cannot see plugins); the windows' fixed
# layout is drawn in the dialog font's metric twin, Liberation Sans.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, fonts-liberation2 | fonts-liberation")
include(CPack)

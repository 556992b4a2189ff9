# Installation (cmake --install, make install, and dh_auto_install in the Debian package's
# build, debian/rules). The installed program folder is <libdir>/korvani: the executable and
# its language files; the default settings file is <sysconfdir>/korvani/Korvani.ini;
# <bindir>/korvani links to the executable.

# The program folder lives in lib/korvani, also when the prefix is /usr (where
# GNUInstallDirs would pick Debian's multiarch folder lib/<triplet>).
if(NOT DEFINED CACHE{CMAKE_INSTALL_LIBDIR})
    set(CMAKE_INSTALL_LIBDIR lib CACHE PATH "Object code libraries (LIBDIR)")
endif()
include(GNUInstallDirs)

set(KORVANI_APP_ID com.example.Korvani)
string(REGEX REPLACE "\\.[^.]*$" "" KORVANI_DEVELOPER_ID ${KORVANI_APP_ID}) # com.example
set(KORVANI_HOMEPAGE https://www.example.com/korvani/)
set(KORVANI_INSTALL_PROGRAM_DIR ${CMAKE_INSTALL_LIBDIR}/korvani)
set(KORVANI_FULL_PROGRAM_DIR ${CMAKE_INSTALL_FULL_LIBDIR}/korvani)
set(KORVANI_INSTALL_DOC_DIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/korvani)
set(KORVANI_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)
set(KORVANI_DEBIAN_DIR ${PROJECT_SOURCE_DIR}/debian)
set(KORVANI_PACKAGING_OUT ${PROJECT_BINARY_DIR}/packaging)

# Directories the install creates get 0755 whatever the umask.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

# The release history (Debian changelog, AppStream releases) must start at this version.
foreach(history debian/changelog packaging/korvani.metainfo.xml.in)
    file(STRINGS ${PROJECT_SOURCE_DIR}/${history} newest
         REGEX "^korvani \\(|<release version=" LIMIT_COUNT 1)
    if(NOT newest MATCHES "[(\"]${PROJECT_VERSION}[)\"]")
        message(FATAL_ERROR
            "${history}: its newest release is not ${PROJECT_VERSION}; add one")
    endif()
endforeach()

# The default settings file is a configuration file: <sysconfdir>/korvani (for the prefix
# /usr, /etc/korvani), where a package keeps an administrator's edit across upgrades.
set(KORVANI_FULL_SETTINGS_DIR ${CMAKE_INSTALL_FULL_SYSCONFDIR}/korvani)

# The program knows its installed folders: run from there, it reads the installed default
# settings and each user keeps the settings file in a copy of their own.
target_compile_definitions(korvani_core PRIVATE
    KORVANI_INSTALLED_PROGRAM_DIR="${KORVANI_FULL_PROGRAM_DIR}"
    KORVANI_INSTALLED_SETTINGS_DIR="${KORVANI_FULL_SETTINGS_DIR}")

# The program folder.
install(TARGETS Korvani RUNTIME DESTINATION ${KORVANI_INSTALL_PROGRAM_DIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/resources/language/
        DESTINATION ${KORVANI_INSTALL_PROGRAM_DIR}/language
        FILES_MATCHING PATTERN "*.ini")
install(FILES ${PROJECT_SOURCE_DIR}/resources/Korvani.ini DESTINATION ${KORVANI_FULL_SETTINGS_DIR})

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
configure_file(${KORVANI_DEBIAN_DIR}/changelog ${KORVANI_PACKAGING_OUT}/changelog COPYONLY)
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
install(FILES ${KORVANI_DEBIAN_DIR}/copyright ${KORVANI_PACKAGING_OUT}/changelog.gz
        DESTINATION ${KORVANI_INSTALL_DOC_DIR})

# The Windows build (make windows): the resources of the programs and the package,
# korvani-<version>-windows-x64.zip in the build folder, holding the program folder:
# Korvani.exe (static, one file), the language files under language/ and the default
# Korvani.ini.

enable_language(RC)
set(KORVANI_WINDOWS_DIR ${PROJECT_SOURCE_DIR}/packaging/windows)
set(KORVANI_WINDOWS_OUT ${PROJECT_BINARY_DIR}/windows)

# Every program runs with UTF-8 as its 8-bit code page (Windows 10 1903 and later), the
# encoding of its files; Korvani.exe also gets its icon and version information.
set(KORVANI_WINDOWS_MANIFEST ${KORVANI_WINDOWS_DIR}/Korvani.manifest)
set(KORVANI_WINDOWS_ICON ${KORVANI_WINDOWS_OUT}/korvani.ico)
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(KORVANI_ICON_IMAGES)
foreach(size 48 64 128 256)
    list(APPEND KORVANI_ICON_IMAGES ${PROJECT_SOURCE_DIR}/packaging/icons/korvani-${size}.png)
endforeach()
add_custom_command(OUTPUT ${KORVANI_WINDOWS_ICON}
    COMMAND Python3::Interpreter ${KORVANI_WINDOWS_DIR}/make-ico.py ${KORVANI_WINDOWS_ICON}
            ${KORVANI_ICON_IMAGES}
    DEPENDS ${KORVANI_WINDOWS_DIR}/make-ico.py ${KORVANI_ICON_IMAGES}
    COMMENT "Packing the program icon"
    VERBATIM)
configure_file(${KORVANI_WINDOWS_DIR}/Korvani.rc.in ${KORVANI_WINDOWS_OUT}/Korvani.rc @ONLY)
set_source_files_properties(${KORVANI_WINDOWS_OUT}/Korvani.rc PROPERTIES
    OBJECT_DEPENDS "${KORVANI_WINDOWS_ICON};${KORVANI_WINDOWS_MANIFEST}")
add_custom_target(korvani_windows_icon DEPENDS ${KORVANI_WINDOWS_ICON})
target_sources(Korvani PRIVATE ${KORVANI_WINDOWS_OUT}/Korvani.rc)
add_dependencies(Korvani korvani_windows_icon)

file(WRITE ${KORVANI_WINDOWS_OUT}/Manifest.rc "1 24 \"${KORVANI_WINDOWS_MANIFEST}\"\n")
foreach(program korvani_core_tests korvani_gui_tests profile_write generation_run
                conformance_driver)
    if(TARGET ${program})
        target_sources(${program} PRIVATE ${KORVANI_WINDOWS_OUT}/Manifest.rc)
    endif()
endforeach()

set(KORVANI_WINDOWS_ZIP ${PROJECT_BINARY_DIR}/korvani-${PROJECT_VERSION}-windows-x64.zip)
set(KORVANI_WINDOWS_STAGE ${KORVANI_WINDOWS_OUT}/package)
file(GLOB KORVANI_WINDOWS_LANGUAGE_FILES ${PROJECT_SOURCE_DIR}/resources/language/*.ini)
add_custom_command(OUTPUT ${KORVANI_WINDOWS_ZIP}
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${KORVANI_WINDOWS_STAGE}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${KORVANI_WINDOWS_STAGE}/language
    COMMAND ${CMAKE_STRIP} -o ${KORVANI_WINDOWS_STAGE}/Korvani.exe $<TARGET_FILE:Korvani>
    COMMAND ${CMAKE_COMMAND} -E copy ${KORVANI_WINDOWS_LANGUAGE_FILES}
            ${KORVANI_WINDOWS_STAGE}/language/
    COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/resources/Korvani.ini
            ${KORVANI_WINDOWS_STAGE}/Korvani.ini
    COMMAND Python3::Interpreter ${KORVANI_WINDOWS_DIR}/make-zip.py ${KORVANI_WINDOWS_ZIP}
            ${KORVANI_WINDOWS_STAGE}
    DEPENDS Korvani ${KORVANI_WINDOWS_LANGUAGE_FILES} ${PROJECT_SOURCE_DIR}/resources/Korvani.ini
            ${KORVANI_WINDOWS_DIR}/make-zip.py
    COMMENT "Packing the program folder into ${KORVANI_WINDOWS_ZIP}"
    VERBATIM)
add_custom_target(korvani_windows_zip ALL DEPENDS ${KORVANI_WINDOWS_ZIP})

# ---------------------------------------------------------------------------------------
# The installer: korvani-<version>-setup-x64.exe beside the zip, made by NSIS (makensis,
# Debian's nsis) from the same program folder. It leaves a mark in the folder it installs
# into; run from a folder with the mark, the program keeps each user's settings apart.
set(KORVANI_INSTALLED_MARK Korvani.installed)
target_compile_definitions(korvani_core PRIVATE
    KORVANI_INSTALLED_MARK="${KORVANI_INSTALLED_MARK}")
find_program(KORVANI_MAKENSIS makensis REQUIRED)
set(KORVANI_WINDOWS_SETUP ${PROJECT_BINARY_DIR}/korvani-${PROJECT_VERSION}-setup-x64.exe)
add_custom_command(OUTPUT ${KORVANI_WINDOWS_SETUP}
    COMMAND ${KORVANI_MAKENSIS} -V2 -WX -DVERSION=${PROJECT_VERSION}
            "-DPUBLISHER=${KORVANI_COMPANY_NAME}" -DSTAGE=${KORVANI_WINDOWS_STAGE}
            -DICON=${KORVANI_WINDOWS_ICON} -DMARK=${KORVANI_INSTALLED_MARK}
            -DOUTFILE=${KORVANI_WINDOWS_SETUP} ${KORVANI_WINDOWS_DIR}/Korvani.nsi
    DEPENDS ${KORVANI_WINDOWS_ZIP} ${KORVANI_WINDOWS_DIR}/Korvani.nsi ${KORVANI_WINDOWS_ICON}
    COMMENT "Making the installer ${KORVANI_WINDOWS_SETUP}"
    VERBATIM)
add_custom_target(korvani_windows_setup ALL DEPENDS ${KORVANI_WINDOWS_SETUP})
# The benchmark under Wine (make bench-windows) runs with the UTF-8 code page as well.
if(TARGET korvani_bench)
    target_sources(korvani_bench PRIVATE ${KORVANI_WINDOWS_OUT}/Manifest.rc)
endif()

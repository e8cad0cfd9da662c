# Installing Solvane (cmake --install) and its Debian package (cpack -G DEB from the build
# folder), laid out as GNUInstallDirs says: the program in bin, our simulated DSU in a private
# library folder that the program's RUNPATH names, and in share the desktop entry, the AppStream
# metainfo, the icons, the manual page, the README and the licence. Where the installed program
# keeps its own files is decided at run time (src/config/FileLocations.h).

include(GNUInstallDirs)
# Named after the package, not the project's capitalised name.
set(SOLVANE_INSTALL_DOCDIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/solvane)

set(SOLVANE_APP_ID org.solvane.Solvane)
set(SOLVANE_PACKAGE_MAINTAINER "Solvane developers <solvane@example.org>"
    CACHE STRING "The Debian package's maintainer: name <address>")
# Private: no other program should find our libkardemo.so on the system's search path. Below
# the architecture's library folder (lib/x86_64-linux-gnu/solvane) where there is one: the
# library cache never looks there, and the package needs no maintainer scripts to rebuild the
# cache (CPack adds ldconfig scripts for a library in lib or one of its folders, which a
# private library does not need and which left the removed package half there).
if(CMAKE_LIBRARY_ARCHITECTURE)
    set(SOLVANE_INSTALL_PRIVATE_LIBDIR lib/${CMAKE_LIBRARY_ARCHITECTURE}/solvane)
else()
    set(SOLVANE_INSTALL_PRIVATE_LIBDIR lib/solvane)
endif()

# The program finds the library relative to itself, wherever the prefix is.
file(RELATIVE_PATH library_from_program /${CMAKE_INSTALL_BINDIR}
     /${SOLVANE_INSTALL_PRIVATE_LIBDIR})
# The set-up in solvane-view loads it as the program does.
foreach(program IN ITEMS solvane solvane-view)
    set_target_properties(${program} PROPERTIES INSTALL_RPATH "$ORIGIN/${library_from_program}")
    # RUNPATH, not RPATH: LD_LIBRARY_PATH still comes first, as it should for a device library.
    target_link_options(${program} PRIVATE -Wl,--enable-new-dtags)
endforeach()

# The release's version is written by hand in the changelog and the metainfo; they must agree
# with the project's.
set(dist ${PROJECT_SOURCE_DIR}/dist)
file(STRINGS ${dist}/changelog.in changelog_top LIMIT_COUNT 1)
file(READ ${dist}/${SOLVANE_APP_ID}.metainfo.xml metainfo)
string(REGEX MATCH "<release version=\"([^\"]*)\"" newest_release "${metainfo}")
set(newest_release ${CMAKE_MATCH_1})
if(NOT changelog_top MATCHES "^solvane \\(${PROJECT_VERSION}\\) " OR
   NOT newest_release STREQUAL PROJECT_VERSION)
    message(FATAL_ERROR "dist/changelog.in and the newest release in dist/${SOLVANE_APP_ID}"
                        ".metainfo.xml must name version ${PROJECT_VERSION}")
endif()

# Manual page and changelog go compressed, without a time stamp in the gzip header.
configure_file(${dist}/changelog.in ${CMAKE_BINARY_DIR}/dist/changelog @ONLY)
configure_file(${dist}/solvane.1.in ${CMAKE_BINARY_DIR}/dist/solvane.1 @ONLY)
configure_file(${dist}/solvane-view.1.in ${CMAKE_BINARY_DIR}/dist/solvane-view.1 @ONLY)
set(compressed)
foreach(source IN ITEMS ${CMAKE_BINARY_DIR}/dist/solvane.1 ${CMAKE_BINARY_DIR}/dist/changelog
                        ${CMAKE_BINARY_DIR}/dist/solvane-view.1)
    get_filename_component(name ${source} NAME)
    set(target ${CMAKE_BINARY_DIR}/dist/${name}.gz)
    add_custom_command(OUTPUT ${target}
                       COMMAND sh -c "gzip -9nc \"$1\" >\"$2\"" sh ${source} ${target}
                       DEPENDS ${source} VERBATIM)
    list(APPEND compressed ${target})
endforeach()
add_custom_target(solvane_dist_files ALL DEPENDS ${compressed})

install(TARGETS solvane RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The session viewer, with its own menu entry and manual page, and the menu entry of its
# set-up window (solvane-view --setup).
install(TARGETS solvane-view RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${dist}/org.solvane.SolvaneView.desktop ${dist}/org.solvane.SolvaneSetup.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_BINARY_DIR}/dist/solvane-view.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
# The type of the session recordings, which the viewer's entry opens; the system's MIME
# database takes it in (dpkg's trigger of shared-mime-info, or update-mime-database).
install(FILES ${dist}/solvane-session.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages)
install(TARGETS kardemo LIBRARY DESTINATION ${SOLVANE_INSTALL_PRIVATE_LIBDIR})
install(FILES ${dist}/${SOLVANE_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${dist}/${SOLVANE_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${PROJECT_SOURCE_DIR}/src/app/solvane.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/32x32/apps)
install(FILES ${dist}/solvane.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${CMAKE_BINARY_DIR}/dist/solvane.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE ${dist}/copyright
              ${CMAKE_BINARY_DIR}/dist/changelog.gz DESTINATION ${SOLVANE_INSTALL_DOCDIR})

# The Debian package: what it needs from other packages is found by dpkg-shlibdeps.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME solvane)
set(CPACK_PACKAGE_VENDOR "Solvane developers")
set(CPACK_PACKAGE_CONTACT "${SOLVANE_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
# Lines of at most 80 characters, as the package's extended description must have.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
    "Solvane reads raw EEG from a DSU, an EEG sampling unit on a serial port,"
    "through the device maker's library. While a run is active it shows the"
    "electrode contact of every selected scalp position on a map of the 10-20"
    "system, computes the amplitude spectrum of each selected channel once a"
    "second, and drives the DSU's audio-visual entrainment output: two tones a"
    "chosen beat frequency apart, their volumes balanced by the EEG of two groups"
    "of channels."
    ""
    "A simulated DSU comes with it, so that Solvane runs without the device: it"
    "produces synthetic EEG or replays an EDF recording, plays the entrainment"
    "tones on the sound card, and keeps every run as an EDF+ recording with its"
    "sound beside it.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Loaded at run time, so dpkg-shlibdeps cannot see them: the toolkit's display plugins (without
# them no window opens) and the font the scalp map's lettering is measured for.
set(CPACK_DEBIAN_PACKAGE_DEPENDS qt6-qpa-plugins)
# The session viewer's plots (also found by dpkg-shlibdeps; named so that it stays if that
# ever changes).
string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS ", libqt6charts6")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS fonts-liberation)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)

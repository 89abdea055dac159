# What `cmake --install` puts where, and the Debian package built from it (scripts/package).
# The program and the headless runner go to bin/, the program's own library to a private
# folder that the program finds relative to its own folder.
include(GNUInstallDirs)

set(KZ_APP_ID com.hadrelforge.KestrovaZizizada)
set(KZ_PACKAGE_NAME kestrova-zizizada)
set(KZ_PRIVATE_LIBDIR ${CMAKE_INSTALL_LIBDIR}/kestrova_zizizada)
set(KZ_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)

# The program looks for its own libraries beside itself, then in the installation folder:
# compiled in relative to bin/, so an installed tree works under any prefix.
file(RELATIVE_PATH KZ_INSTALLATION_FOLDER
    /${CMAKE_INSTALL_BINDIR} /${KZ_PRIVATE_LIBDIR})
target_compile_definitions(engine PRIVATE KZ_INSTALLATION_FOLDER="${KZ_INSTALLATION_FOLDER}")

set(KZ_INSTALLED_PROGRAMS kestrova_headless)
if(TARGET kestrova_zizizada)
    list(APPEND KZ_INSTALLED_PROGRAMS kestrova_zizizada)
endif()
install(TARGETS ${KZ_INSTALLED_PROGRAMS} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS planewright LIBRARY DESTINATION ${KZ_PRIVATE_LIBDIR})

# Desktop integration: menu entry, icons, AppStream metadata, manual.
install(FILES ${KZ_PACKAGING_DIR}/${KZ_APP_ID}.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
configure_file(${KZ_PACKAGING_DIR}/${KZ_APP_ID}.metainfo.xml.in
    ${CMAKE_BINARY_DIR}/packaging/${KZ_APP_ID}.metainfo.xml @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/packaging/${KZ_APP_ID}.metainfo.xml
    DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${KZ_PACKAGING_DIR}/kestrova_zizizada.svg
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps RENAME ${KZ_APP_ID}.svg)
# Manual pages are installed compressed, as Debian wants them.
set(KZ_MAN_PAGE ${CMAKE_BINARY_DIR}/packaging/kestrova_headless.1.gz)
add_custom_command(OUTPUT ${KZ_MAN_PAGE}
    COMMAND gzip -9 -n -c ${KZ_PACKAGING_DIR}/kestrova_headless.1 > ${KZ_MAN_PAGE}
    DEPENDS ${KZ_PACKAGING_DIR}/kestrova_headless.1
    COMMENT "Compressing the manual page")
add_custom_target(man_pages ALL DEPENDS ${KZ_MAN_PAGE})
install(FILES ${KZ_MAN_PAGE} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${KZ_PACKAGING_DIR}/kestrova-headless.service
    DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${KZ_PACKAGE_NAME}/examples)

# Bitmap icons are drawn from the SVG at build time.
find_program(KZ_RSVG_CONVERT rsvg-convert)
if(KZ_RSVG_CONVERT)
    set(KZ_ICON_PNGS)
    foreach(size 48 128 256)
        set(png ${CMAKE_BINARY_DIR}/packaging/icons/${size}/${KZ_APP_ID}.png)
        add_custom_command(OUTPUT ${png}
            COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packaging/icons/${size}
            COMMAND ${KZ_RSVG_CONVERT} -w ${size} -h ${size}
                ${KZ_PACKAGING_DIR}/kestrova_zizizada.svg -o ${png}
            DEPENDS ${KZ_PACKAGING_DIR}/kestrova_zizizada.svg
            COMMENT "Drawing the ${size}x${size} icon")
        list(APPEND KZ_ICON_PNGS ${png})
        install(FILES ${png}
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
    endforeach()
    add_custom_target(icons ALL DEPENDS ${KZ_ICON_PNGS})
else()
    message(WARNING "rsvg-convert not found: only the scalable icon is installed")
endif()

# The Debian package. Codec libraries and GStreamer plug-ins are loaded at run time, so
# dpkg-shlibdeps cannot see them: they are named here.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${KZ_PACKAGE_NAME})
set(CPACK_PACKAGE_VENDOR "Hadrel Forge")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Live broadcasting of a camera and a sound input to Icecast")
set(CPACK_PACKAGE_DESCRIPTION
    "Kestrova Ogg Zizizada captures a webcam or capture card and a sound input, encodes them\n\
with Theora and Vorbis into one Ogg stream and sends it to an Icecast server as a live\n\
source, or records it to a local Ogg file. kestrova_headless does the same without a\n\
display.")
set(CPACK_PACKAGE_CONTACT "Hadrel Forge <packages@hadrelforge.invalid>")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The capture graph: appsrc/appsink, conversion, rate and tee (base); V4L2, JPEG and the
# preview's sound output (good); sound inputs through PulseAudio (also PipeWire's) or ALSA.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libogg0, libvorbis0a, libvorbisenc2, libtheora0, gstreamer1.0-plugins-base, gstreamer1.0-plugins-good, gstreamer1.0-pulseaudio | gstreamer1.0-alsa")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "gstreamer1.0-pulseaudio, gstreamer1.0-alsa, qt6-wayland")
include(CPack)

# The installed tree, checked by installing into a temporary prefix.
if(BUILD_TESTING)
    add_test(NAME install_tree
        COMMAND ${PROJECT_SOURCE_DIR}/tests/install/installed_run.sh
            ${CMAKE_BINARY_DIR} ${KZ_PRIVATE_LIBDIR} ${KZ_APP_ID})
    set_tests_properties(install_tree PROPERTIES TIMEOUT 300)
endif()

# What `cmake --install` puts where, and the Debian package built from it (scripts/package).
# The program and the headless runner go to bin/, the program's own library to a private
# folder that the program finds relative to its own folder.
include(GNUInstallDirs)

set(KZ_APP_ID com.hadrelforge.KestrovaZizizada)
set(KZ_PACKAGE_NAME kestrova-zizizada)
# Under the multiarch folder whatever the prefix (GNUInstallDirs picks it for /usr only), so
# every build packs the layout of the release package: a private folder below lib/ itself
# would make CPack add ldconfig calls that the library does not need.
if(CMAKE_LIBRARY_ARCHITECTURE)
    set(KZ_PRIVATE_LIBDIR lib/${CMAKE_LIBRARY_ARCHITECTURE}/kestrova_zizizada)
else()
    set(KZ_PRIVATE_LIBDIR ${CMAKE_INSTALL_LIBDIR}/kestrova_zizizada)
endif()
set(KZ_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)

# The program looks for its own libraries beside itself, then in the installation folder:
# compiled in relative to bin/, so an installed tree works under any prefix.
file(RELATIVE_PATH KZ_INSTALLATION_FOLDER
    /${CMAKE_INSTALL_BINDIR} /${KZ_PRIVATE_LIBDIR})
target_compile_definitions(engine PRIVATE KZ_INSTALLATION_FOLDER="${KZ_INSTALLATION_FOLDER}")

# The build tree is a portable copy: programs run from bin/ keep their event logs in bin/logs,
# where an installed program keeps them in the user's state folder.
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/bin/logs)

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
# Manual pages and the changelog are installed compressed, as Debian wants them; the copyright
# file is in Debian's machine-readable form.
set(KZ_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/${KZ_PACKAGE_NAME})
configure_file(${KZ_PACKAGING_DIR}/changelog.in ${CMAKE_BINARY_DIR}/packaging/changelog @ONLY)
set(KZ_COMPRESSED_DOCS)
function(kz_compressed_doc source destination)
    get_filename_component(name ${source} NAME)
    set(compressed ${CMAKE_BINARY_DIR}/packaging/${name}.gz)
    add_custom_command(OUTPUT ${compressed}
        COMMAND gzip -9 -n -c ${source} > ${compressed}
        DEPENDS ${source}
        COMMENT "Compressing ${name}")
    install(FILES ${compressed} DESTINATION ${destination})
    set(KZ_COMPRESSED_DOCS ${KZ_COMPRESSED_DOCS} ${compressed} PARENT_SCOPE)
endfunction()
foreach(program ${KZ_INSTALLED_PROGRAMS})
    kz_compressed_doc(${KZ_PACKAGING_DIR}/${program}.1 ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
kz_compressed_doc(${CMAKE_BINARY_DIR}/packaging/changelog ${KZ_DOC_DIR})
add_custom_target(package_docs ALL DEPENDS ${KZ_COMPRESSED_DOCS})
install(FILES ${KZ_PACKAGING_DIR}/copyright DESTINATION ${KZ_DOC_DIR})
install(FILES ${KZ_PACKAGING_DIR}/kestrova-headless.service DESTINATION ${KZ_DOC_DIR}/examples)

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
# Debian's tools want the lines of the long description within 80 columns.
set(CPACK_PACKAGE_DESCRIPTION
    "Kestrova Ogg Zizizada captures a webcam or capture card and a sound input,\n\
encodes them with Theora and Vorbis into one Ogg stream and sends it to an\n\
Icecast server as a live source, or records it to a local Ogg file.\n\
kestrova_headless does the same without a display.")
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

# The installed tree, checked by installing into a temporary prefix, and the package as
# lintian sees it.
if(BUILD_TESTING)
    add_test(NAME install_tree
        COMMAND ${PROJECT_SOURCE_DIR}/tests/install/installed_run.sh
            ${CMAKE_BINARY_DIR} ${KZ_PRIVATE_LIBDIR} ${KZ_APP_ID})
    set_tests_properties(install_tree PROPERTIES TIMEOUT 300)
    add_test(NAME package_lintian
        COMMAND ${PROJECT_SOURCE_DIR}/tests/install/package_lintian.sh ${CMAKE_BINARY_DIR})
    set_tests_properties(package_lintian PROPERTIES TIMEOUT 300)
endif()

# Installation and the Debian package. An installed Korvex finds its read-only
# files in <prefix>/share/korvex beside <prefix>/bin and keeps the user's files
# in the XDG folders; the layout below is what core/app_state.cpp expects.
include(GNUInstallDirs)

set(KORVEX_SHARE_DIR ${CMAKE_INSTALL_DATADIR}/korvex)
set(KORVEX_APP_ID org.korvex.Korvex)
set(_res ${PROJECT_SOURCE_DIR}/resources)
set(_gen ${CMAKE_BINARY_DIR}/install-files)

# Paths named in the manual page are those of the package.
if(NOT DEFINED CPACK_PACKAGING_INSTALL_PREFIX)
    set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
endif()
set(KORVEX_SHARE_DIR_SHOWN ${CPACK_PACKAGING_INSTALL_PREFIX}/${KORVEX_SHARE_DIR})
configure_file(${_res}/desktop/korvex.1 ${_gen}/korvex.1 @ONLY)
configure_file(${_res}/desktop/${KORVEX_APP_ID}.metainfo.xml ${_gen}/${KORVEX_APP_ID}.metainfo.xml @ONLY)
configure_file(${_res}/desktop/changelog.in ${_gen}/changelog @ONLY)

# Debian wants manual pages and changelogs compressed, reproducibly (-n).
find_program(KORVEX_GZIP gzip REQUIRED)
foreach(_f korvex.1 changelog)
    add_custom_command(OUTPUT ${_gen}/${_f}.gz
        COMMAND ${KORVEX_GZIP} -9nf -k ${_gen}/${_f}
        DEPENDS ${_gen}/${_f} VERBATIM)
endforeach()
add_custom_target(korvex_install_files ALL DEPENDS ${_gen}/korvex.1.gz ${_gen}/changelog.gz)

# The Calc extension (Tools > Korvex). The package installs it unpacked among
# the office's bundled extensions, for every user; korvex.oxt is there for
# `unopkg add` per user.
set(_oxt_src ${_res}/calc-extension)
set(_oxt_dir ${_gen}/calc-extension)
set(_oxt_files META-INF/manifest.xml Addons.xcu Korvex/script.xlb Korvex/dialog.xlb Korvex/Launcher.xba)
configure_file(${_oxt_src}/description.xml ${_oxt_dir}/description.xml @ONLY)
set(_oxt_copied ${_oxt_dir}/description.xml)
foreach(_f IN LISTS _oxt_files)
    configure_file(${_oxt_src}/${_f} ${_oxt_dir}/${_f} COPYONLY)
    list(APPEND _oxt_copied ${_oxt_dir}/${_f})
endforeach()
add_custom_command(OUTPUT ${_gen}/korvex.oxt
    COMMAND ${CMAKE_COMMAND} -E tar cf ${_gen}/korvex.oxt --format=zip description.xml ${_oxt_files}
    WORKING_DIRECTORY ${_oxt_dir}
    DEPENDS ${_oxt_copied} VERBATIM)
# Beside the executable too, where a portable Korvex looks for it when the
# user adds it to Calc from the main window.
add_custom_command(OUTPUT ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/korvex.oxt
    COMMAND ${CMAKE_COMMAND} -E copy ${_gen}/korvex.oxt ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/korvex.oxt
    DEPENDS ${_gen}/korvex.oxt VERBATIM)
add_custom_target(korvex_calc_extension ALL
    DEPENDS ${_gen}/korvex.oxt ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/korvex.oxt)
install(FILES ${_gen}/korvex.oxt DESTINATION ${KORVEX_SHARE_DIR})
install(DIRECTORY ${_oxt_dir}/ DESTINATION lib/libreoffice/share/extensions/korvex)

install(TARGETS korvex RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The run path into the office's program folder stays: the UNO libraries load
# their neighbours from there, which the system library folder does not hold.
install(FILES ${_res}/desktop/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
        RENAME korvex)
# A fresh work database (message catalogue, no rows), seeded per user.
install(FILES ${CMAKE_BINARY_DIR}/template/korvex.mdb DESTINATION ${KORVEX_SHARE_DIR})
install(DIRECTORY ${_res}/help/ DESTINATION ${KORVEX_SHARE_DIR}/korvex.hlp)
file(GLOB _korvex_icons ${_res}/icons/*.ico ${_res}/icons/*.png)
install(FILES ${_korvex_icons} ${_res}/demo.kvx DESTINATION ${KORVEX_SHARE_DIR})
install(FILES ${_res}/desktop/${KORVEX_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${_res}/icons/korvex.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/64x64/apps)
install(FILES ${_gen}/${KORVEX_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${_gen}/korvex.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${_res}/desktop/copyright DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/korvex)
install(FILES ${_gen}/changelog.gz DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/korvex)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME korvex)
set(CPACK_PACKAGE_VENDOR "The Korvex developers")
set(CPACK_PACKAGE_CONTACT "Korvex developers <korvex@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "navigator, search and batch print beside LibreOffice Calc")
set(CPACK_PACKAGE_DESCRIPTION
    "Korvex lists the workbooks open in a running LibreOffice Calc and their\n\
sheets and brings the chosen one to the front. It searches and replaces text\n\
across chosen sheets, keeping every occurrence as a dated result row, and\n\
prints many sheets with one page setup as a group. Its user interface is\n\
Japanese.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Loaded as plug-ins, so invisible to shlibdeps: the SQLite driver and the
# X11 platform.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6sql6-sqlite, qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libreoffice-calc")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
include(CPack)

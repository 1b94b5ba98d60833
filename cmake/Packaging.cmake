# Install rules and the Debian package. An installed program finds its sounds and example groups in
# share/kestrovane beside its bin folder (platform/FileLocations), so the tree is relocatable: the
# same rules serve /usr, /usr/local and a package extracted anywhere.
if(NOT UNIX OR APPLE OR CMAKE_CROSSCOMPILING OR NOT KV_WITH_QT)
    return()
endif()
include(GNUInstallDirs)

set(_res ${CMAKE_SOURCE_DIR}/resources)
set(_share ${CMAKE_INSTALL_DATAROOTDIR}/kestrovane)
set(_doc ${CMAKE_INSTALL_DATAROOTDIR}/doc/kestrovane)

install(TARGETS kestrovane ormix kestrovane-collect kestrovane-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(DIRECTORY ${CMAKE_BINARY_DIR}/bin/sound DESTINATION ${_share})
install(FILES ${_res}/Cfg/example.cfg DESTINATION ${_share}/Cfg)
install(FILES ${_res}/demo/demo.cfg ${_res}/demo/demo.json DESTINATION ${_share}/demo)
# What a database administrator runs once to make a team's central archive (README).
if(TARGET k_central)
    install(FILES ${CMAKE_SOURCE_DIR}/central/kestrovane-central.sql DESTINATION ${_share})
endif()

install(FILES ${_res}/desktop/kestrovane.desktop ${_res}/ormix/ormix.desktop
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/applications)
install(FILES ${_res}/desktop/kestrovane.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/metainfo)
install(FILES ${_res}/ormix/kestrovane-orx.xml DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/mime/packages)
foreach(_app kestrovane ormix)
    set(_dir ${_res}/desktop)
    if(_app STREQUAL "ormix")
        set(_dir ${_res}/ormix)
    endif()
    set(_icons ${CMAKE_INSTALL_DATAROOTDIR}/icons/hicolor)
    install(FILES ${_dir}/${_app}.svg DESTINATION ${_icons}/scalable/apps)
    foreach(_size 48 256)
        install(FILES ${_dir}/${_app}-${_size}.png DESTINATION ${_icons}/${_size}x${_size}/apps
                RENAME ${_app}.png)
    endforeach()
endforeach()
# udev reads rules from /usr/lib, /usr/local/lib and /etc alike.
install(FILES ${_res}/package/60-kestrovane.rules DESTINATION lib/udev/rules.d)

# Debian wants manual pages and changelogs compressed, without a time stamp in them.
set(_gz ${CMAKE_BINARY_DIR}/package)
add_custom_command(OUTPUT ${_gz}/kestrovane-collect.1.gz ${_gz}/changelog.gz
                   COMMAND ${CMAKE_COMMAND} -E make_directory ${_gz}
                   COMMAND gzip -9nc ${CMAKE_SOURCE_DIR}/tools/headless/kestrovane-collect.1 > ${_gz}/kestrovane-collect.1.gz
                   COMMAND gzip -9nc ${_res}/package/changelog > ${_gz}/changelog.gz
                   DEPENDS ${CMAKE_SOURCE_DIR}/tools/headless/kestrovane-collect.1 ${_res}/package/changelog
                   VERBATIM)
add_custom_target(kv_package_docs ALL DEPENDS ${_gz}/kestrovane-collect.1.gz ${_gz}/changelog.gz)
install(FILES ${_gz}/kestrovane-collect.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${_gz}/changelog.gz ${_res}/package/copyright ${CMAKE_SOURCE_DIR}/README.md DESTINATION ${_doc})

set(KV_PACKAGE_MAINTAINER "Kestrovane developers <kestrovane@example.org>"
    CACHE STRING "Maintainer field of the Debian package")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kestrovane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                                WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${KV_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt's Russian texts for the standard dialogs; xdg-open hands a saved file to Ormix.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n, xdg-utils")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${_res}/package/postinst)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "service radio data loggers through a USB radio modem
Kestrovane is for field engineers who service a group of battery-powered
radio data loggers, each carrying a thermistor string. Through the USB/RK
radio modem it downloads the loggers' measurements, sets their clocks,
erases them, sets their measuring period, makes them measure at once or
moves them to another frequency channel, and saves the data as signed
measurement files (*.orx).

The package holds the main program, the viewer Ormix (registered for
*.orx files), the command kestrovane-collect for unattended downloads from
scheduled jobs, the simulator kestrovane-sim with a demonstration group, and
a udev rule for the modem's FTDI FT232R adapter (group dialout, no
ModemManager probing, 1 ms latency).")
include(CPack)

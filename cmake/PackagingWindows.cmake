# Windows: the programs' icons, the portable folder (build-win/Kestrovane), its zip and the NSIS
# installer. The folder holds the programs and exactly the DLLs they load, found from their
# imports (the Qt plugins are loaded by name, so they are named here).
if(NOT WIN32 OR NOT KV_WITH_QT)
    return()
endif()
set(_win ${CMAKE_SOURCE_DIR}/resources/windows)
foreach(_app kestrovane ormix)
    set(_rc ${CMAKE_BINARY_DIR}/${_app}-icon.rc)
    file(WRITE ${_rc} "IDI_ICON1 ICON \"${_win}/${_app}.ico\"\n")
    target_sources(${_app} PRIVATE ${_rc})
endforeach()
target_sources(kestrovane-collect PRIVATE ${CMAKE_BINARY_DIR}/kestrovane-icon.rc)

set(_plugins ${KV_WIN_DEPS}/plugins/platforms/qwindows.dll)
file(GLOB _styles ${KV_WIN_DEPS}/plugins/styles/*.dll)
install(TARGETS kestrovane ormix kestrovane-collect RUNTIME DESTINATION .)
install(FILES ${KV_WIN_DEPS}/plugins/platforms/qwindows.dll DESTINATION platforms)
if(_styles)
    install(FILES ${_styles} DESTINATION styles)
endif()
install(FILES ${KV_WIN_DEPS}/translations/qtbase_ru.qm DESTINATION translations)
install(FILES ${CMAKE_SOURCE_DIR}/resources/Cfg/example.cfg DESTINATION Cfg)
if(EXISTS ${CMAKE_BINARY_DIR}/bin/sound)
    install(DIRECTORY ${CMAKE_BINARY_DIR}/bin/sound DESTINATION .)
endif()
install(CODE "set(KV_BIN ${CMAKE_BINARY_DIR}/bin)
set(KV_FILES $<TARGET_FILE:kestrovane> $<TARGET_FILE:ormix> $<TARGET_FILE:kestrovane-collect> ${_plugins} ${_styles})
include(${CMAKE_SOURCE_DIR}/cmake/WindowsDlls.cmake)")

set(_stage ${CMAKE_BINARY_DIR}/Kestrovane)
set(_zip ${CMAKE_BINARY_DIR}/kestrovane-${PROJECT_VERSION}-windows.zip)
set(_setup ${CMAKE_BINARY_DIR}/kestrovane-setup-${PROJECT_VERSION}.exe)
add_custom_target(windows-folder
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${_stage}
    COMMAND ${CMAKE_COMMAND} --install ${CMAKE_BINARY_DIR} --prefix ${_stage}
    DEPENDS kestrovane ormix kestrovane-collect
    COMMENT "The portable folder ${_stage}"
    VERBATIM)
add_custom_target(windows-zip
    COMMAND ${CMAKE_COMMAND} -E rm -f ${_zip}
    COMMAND ${CMAKE_COMMAND} -E tar cf ${_zip} --format=zip Kestrovane
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
    COMMENT "The portable zip ${_zip}"
    VERBATIM)
add_dependencies(windows-zip windows-folder)
find_program(KV_MAKENSIS makensis)
if(KV_MAKENSIS)
    add_custom_target(windows-installer
        COMMAND ${CMAKE_COMMAND} -DSTAGE=${_stage} -DFILES=${CMAKE_BINARY_DIR}/nsis-files.nsh
                -DUNFILES=${CMAKE_BINARY_DIR}/nsis-unfiles.nsh -P ${_win}/nsis-lists.cmake
        COMMAND ${KV_MAKENSIS} -V2 -DVERSION=${PROJECT_VERSION} -DSTAGE=${_stage} -DICON=${_win}/kestrovane.ico
                -DFILES=${CMAKE_BINARY_DIR}/nsis-files.nsh -DUNFILES=${CMAKE_BINARY_DIR}/nsis-unfiles.nsh
                -DOUTFILE=${_setup} ${_win}/kestrovane.nsi
        COMMENT "The installer ${_setup}"
        VERBATIM)
    add_dependencies(windows-installer windows-folder)
    add_custom_target(windows-files)
    add_dependencies(windows-files windows-zip windows-installer)
endif()

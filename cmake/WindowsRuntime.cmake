# The DLLs the Windows programs load, copied beside them into bin/ so that the programs and the
# tests run from the build folder under Wine exactly as from an installed folder.
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libstdc++-6.dll OUTPUT_VARIABLE _stdcxx
                OUTPUT_STRIP_TRAILING_WHITESPACE)
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libgcc_s_seh-1.dll OUTPUT_VARIABLE _gcc_s
                OUTPUT_STRIP_TRAILING_WHITESPACE)
set(KV_WIN_RUNTIME_DLLS ${_stdcxx} ${_gcc_s} /usr/x86_64-w64-mingw32/lib/libwinpthread-1.dll)
set(_bin ${CMAKE_BINARY_DIR}/bin)
file(COPY ${KV_WIN_RUNTIME_DLLS} DESTINATION ${_bin})
if(NOT KV_WIN_DEPS)
    return()
endif()
file(COPY ${KV_WIN_DEPS}/bin/sqlite3.dll DESTINATION ${_bin})
foreach(_m Core Gui Widgets Network Test)
    file(COPY ${KV_WIN_DEPS}/bin/Qt6${_m}.dll DESTINATION ${_bin})
endforeach()
# The windows' platform (and the offscreen one for the tests), the native style, Qt's Russian texts.
file(COPY ${KV_WIN_DEPS}/plugins/platforms/qwindows.dll ${KV_WIN_DEPS}/plugins/platforms/qoffscreen.dll
     DESTINATION ${_bin}/platforms)
file(GLOB _styles ${KV_WIN_DEPS}/plugins/styles/*.dll)
if(_styles)
    file(COPY ${_styles} DESTINATION ${_bin}/styles)
endif()
file(COPY ${KV_WIN_DEPS}/translations/qtbase_ru.qm DESTINATION ${_bin}/translations)

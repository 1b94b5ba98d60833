# Windows cross build with Debian's mingw-w64. Given KV_WIN_DEPS (Qt and SQLite for Windows, made
# by scripts/build-win-deps.sh) it builds every program and the window tests; without it only the
# plain C++ layers and their tests. Everything runs under Wine.
if(NOT CMAKE_CROSSCOMPILING)
    return()
endif()
set(KV_LINUX_BUILD_DIR "" CACHE PATH "Linux build whose bin/ holds kestrovane-sim, kestrovane-collect and the sounds")
set(KV_WIN_DEPS "" CACHE PATH "Qt and SQLite for Windows (scripts/build-win-deps.sh prints the folder)")
if(KV_WIN_DEPS)
    if(NOT EXISTS ${KV_WIN_DEPS}/.done)
        message(FATAL_ERROR "KV_WIN_DEPS=${KV_WIN_DEPS} is not a finished build of scripts/build-win-deps.sh")
    endif()
    list(APPEND CMAKE_FIND_ROOT_PATH ${KV_WIN_DEPS})
    list(APPEND CMAKE_PREFIX_PATH ${KV_WIN_DEPS})
    # Qt's code generators (moc, rcc, uic) are the build machine's own, of the same version.
    execute_process(COMMAND dpkg-architecture -qDEB_HOST_MULTIARCH OUTPUT_VARIABLE _multiarch
                    OUTPUT_STRIP_TRAILING_WHITESPACE)
    set(QT_HOST_PATH /usr CACHE PATH "")
    set(QT_HOST_PATH_CMAKE_DIR /usr/lib/${_multiarch}/cmake CACHE PATH "")
    # Debian's rcc compresses with zstd, which the Windows Qt is built without.
    set(CMAKE_AUTORCC_OPTIONS --no-zstd)
    set(SQLite3_INCLUDE_DIR ${KV_WIN_DEPS}/include CACHE PATH "")
    set(SQLite3_LIBRARY ${KV_WIN_DEPS}/lib/libsqlite3.dll.a CACHE FILEPATH "")
else()
    set(KV_WITH_QT OFF CACHE BOOL "" FORCE)
endif()
include(${CMAKE_CURRENT_LIST_DIR}/WindowsRuntime.cmake)
set(KV_FUZZ OFF CACHE BOOL "" FORCE)
set(KV_BENCH OFF CACHE BOOL "" FORCE)
set(KV_SANITIZE OFF CACHE BOOL "" FORCE)
# nlohmann-json is header-only; expose just its folder so no Linux system header leaks in.
set(_nl ${CMAKE_BINARY_DIR}/nlohmann-include)
file(MAKE_DIRECTORY ${_nl})
file(CREATE_LINK /usr/include/nlohmann ${_nl}/nlohmann SYMBOLIC)
add_library(kv_nlohmann INTERFACE)
target_include_directories(kv_nlohmann SYSTEM INTERFACE ${_nl})
add_library(nlohmann_json::nlohmann_json ALIAS kv_nlohmann)
add_subdirectory(cmake/gtest-cross)
# A Wine prefix of the build's own, so tests never touch the user's.
set(KV_WINE_ENV "WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix;WINEDEBUG=-all" CACHE INTERNAL "")
# GCC 12 reports std::string and std::vector copies as overlapping or out of bounds when it
# inlines deeply (GCC bugs 105329, 105651): false positives that only the cross build meets.
add_compile_options(-Wno-restrict -Wno-array-bounds -Wno-stringop-overflow -Wno-stringop-overread)

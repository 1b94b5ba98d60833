# Windows cross build: only the plain C++ layers and their tests, run under Wine. A native
# Windows build (Qt 6 with MinGW) takes its packages from the system and builds everything.
if(NOT CMAKE_CROSSCOMPILING)
    return()
endif()
set(KV_WITH_QT OFF CACHE BOOL "" FORCE)
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

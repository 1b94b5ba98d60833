# Cross build for Windows with Debian's mingw-w64 (posix threads): the compilers of the Windows
# libraries' own build, and the tests run under Wine through CMAKE_CROSSCOMPILING_EMULATOR.
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-deps.cmake)
find_program(KV_WINE NAMES wine64 wine)
set(CMAKE_CROSSCOMPILING_EMULATOR ${KV_WINE})
# The runtime stays in its DLLs, shared with Qt's; the build copies them beside the programs.

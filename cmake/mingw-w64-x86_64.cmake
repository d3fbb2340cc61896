# Cross build for 64-bit Windows with Debian's mingw-w64 toolchain; the
# programs of the build run under Wine, each build in a Wine prefix of its own.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KESTIV_MINGW_PREFIX x86_64-w64-mingw32)
# The posix-threads variant gives the full C++ standard library; -static below
# keeps its threads library out of the executable's imports.
set(CMAKE_C_COMPILER ${KESTIV_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KESTIV_MINGW_PREFIX}-g++-posix)
set(CMAKE_ASM_COMPILER ${KESTIV_MINGW_PREFIX}-gcc-posix)
set(CMAKE_RC_COMPILER ${KESTIV_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${KESTIV_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Executables that need nothing but the system DLLs: libstdc++, libgcc and
# winpthread are linked in.
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)

find_program(KESTIV_WINE NAMES wine wine64 PATHS /usr/lib/wine REQUIRED)
set(KESTIV_WINE_PREFIX "${CMAKE_BINARY_DIR}/wine-prefix")
# Unattended: no Mono or Gecko installers, no debug channels.
set(KESTIV_WINE_ENVIRONMENT
    "WINEPREFIX=${KESTIV_WINE_PREFIX}" "WINEDEBUG=-all" "WINEDLLOVERRIDES=mscoree,mshtml=")
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_COMMAND} -E env ${KESTIV_WINE_ENVIRONMENT} ${KESTIV_WINE})

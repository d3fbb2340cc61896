# The browser build with Debian's Emscripten, through its own toolchain file.
# Linking runs the compiler's JavaScript tools, which load Debian's Node
# packages: a Node that is not Debian's does not look there by itself. The
# compiler's cache comes complete and frozen, so EM_CACHE stays unset.
set(CMAKE_C_LINKER_LAUNCHER ${CMAKE_COMMAND} -E env NODE_PATH=/usr/share/nodejs)
set(CMAKE_CXX_LINKER_LAUNCHER ${CMAKE_C_LINKER_LAUNCHER})

# Test programs run under Node.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/run-under-node.sh)

include(/usr/share/emscripten/cmake/Modules/Platform/Emscripten.cmake)

# Its compiler assembles the image source too; CMake cannot tell it apart
# from clang, which it drives, by itself.
set(CMAKE_ASM_COMPILER_ID Clang)

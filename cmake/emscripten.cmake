# Building quondel's web page module with Debian's emscripten (scripts/build-web does this):
#   cmake -S . -B build-web -DCMAKE_TOOLCHAIN_FILE=cmake/emscripten.cmake
include(/usr/share/emscripten/cmake/Modules/Platform/Emscripten.cmake)
# Configure checks run their programs under node, whose fetch (node 18 on) cannot load the
# .wasm from a path: without it, the loader reads the file.
find_program(QUONDEL_NODE node REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${QUONDEL_NODE};--no-experimental-fetch)
# The format libraries: scripts/build-format-libs wasm.
include(${CMAKE_CURRENT_LIST_DIR}/format-libs-prefix.cmake)

# Building quondel's web page module with Debian's emscripten (scripts/build-web does this):
#   cmake -S . -B build-web -DCMAKE_TOOLCHAIN_FILE=cmake/emscripten.cmake
include(/usr/share/emscripten/cmake/Modules/Platform/Emscripten.cmake)
# Configure checks run their programs under node, whose fetch (node 18 on) cannot load the
# .wasm from a path: without it, the loader reads the file.
find_program(QUONDEL_NODE node REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${QUONDEL_NODE};--no-experimental-fetch)
# The format libraries built for wasm from Debian's sources, by scripts/build-format-libs wasm:
#   -DQUONDEL_FORMAT_LIBS_PREFIX=$(scripts/build-format-libs wasm)
# Without it, archives and GIF, PNG and JPEG cels are refused with a message.
if(QUONDEL_FORMAT_LIBS_PREFIX)
  list(APPEND CMAKE_FIND_ROOT_PATH ${QUONDEL_FORMAT_LIBS_PREFIX})
  set(ENV{PKG_CONFIG_LIBDIR} ${QUONDEL_FORMAT_LIBS_PREFIX}/lib/pkgconfig)
  # The libraries' own link needs (minizip's and libspng's zlib) come with them.
  set(PKG_CONFIG_ARGN --static CACHE STRING "Arguments to supply to pkg-config" FORCE)
  set(QUONDEL_FORMAT_LIBS ON CACHE BOOL "Read archives and GIF, PNG and JPEG cels" FORCE)
else()
  set(QUONDEL_FORMAT_LIBS OFF CACHE BOOL "Read archives and GIF, PNG and JPEG cels" FORCE)
endif()

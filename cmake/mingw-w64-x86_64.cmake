# Cross-building quondel.exe for 64-bit Windows with Debian's mingw-w64:
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# One file to hand over: the C and C++ runtimes (and winpthread) linked in.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
# Debian packages no Windows builds of the archive and picture libraries: scripts/build-format-libs
# builds them from Debian's sources, and its folder is passed here:
#   -DQUONDEL_FORMAT_LIBS_PREFIX=$(scripts/build-format-libs windows)
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

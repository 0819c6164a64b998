# For a toolchain file: the format libraries scripts/build-format-libs built for that toolchain,
# from Debian's sources, passed as -DQUONDEL_FORMAT_LIBS_PREFIX=$(scripts/build-format-libs NAME).
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

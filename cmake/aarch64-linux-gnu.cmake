# Cross-building for 64-bit ARM Linux with Debian's g++-aarch64-linux-gnu, run under qemu-user:
#   cmake -S . -B build-aarch64 -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake
# It needs the arm64 builds of the libraries (multiarch: scripts/install-deps cross).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)
set(CMAKE_FIND_ROOT_PATH /usr/aarch64-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)
# Debian's arm64 libraries (libc6:arm64, libstdc++6:arm64) serve the programs: with the cross toolchain's
# (-L /usr/aarch64-linux-gnu) qemu 7.2 hangs in the first thread a program starts.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64)
# pkg-config finds the arm64 builds of the format libraries (liblhasa-dev:arm64 and the rest).
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/aarch64-linux-gnu/pkgconfig:/usr/share/pkgconfig)

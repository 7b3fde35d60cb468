# SPDX-License-Identifier: GPL-3.0-or-later
# Cross-building for arm64 with Debian's tool chain and multiarch libraries:
# the compilers of crossbuild-essential-arm64, the :arm64 development packages
# in /usr/lib/aarch64-linux-gnu, Qt's code generators (moc) of the build
# machine, and qemu-user to run what was built (test discovery, ctest).
#
#   cmake -S . -B build-arm64 -G Ninja --toolchain cmake/aarch64-linux-gnu.cmake
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)

set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
set(PKG_CONFIG_EXECUTABLE aarch64-linux-gnu-pkg-config CACHE FILEPATH "pkg-config of the arm64 libraries")

# The arm64 dynamic loader and C library are installed with the :arm64
# packages (libc6:arm64); the cross tool chain's copy serves otherwise.
if(EXISTS /lib/ld-linux-aarch64.so.1)
  set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64-static)
else()
  set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64-static -L /usr/aarch64-linux-gnu)
endif()

# Qt's tools (moc) run on the build machine: they come from its own Qt.
set(QT_HOST_PATH /usr CACHE PATH "")
set(QT_HOST_PATH_CMAKE_DIR /usr/lib/${CMAKE_HOST_SYSTEM_PROCESSOR}-linux-gnu/cmake CACHE PATH "")

# Programs are the build machine's, libraries and headers the target's.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)

#!/usr/bin/env bash
# Source this: sets win_build (the folder whose Windows programs run under
# Wine here) and win_toolchain. The DLL is a 32-bit program; on a host whose
# kernel refuses 32-bit programs (x86-64 kernels with ia32 emulation off)
# 32-bit Wine cannot start, so the programs are built a second time for
# 64-bit Windows and run under 64-bit Wine instead. The 32-bit build is still
# made and its exports checked.
#   ENGINE_WINE_ARCH=win32|win64 overrides the probe.
#   ENGINE_BUILD_ROOT (default build) is the folder that holds the build
#   folders (sets build_root).
build_root=${ENGINE_BUILD_ROOT:-build}
win_arch=${ENGINE_WINE_ARCH:-}
if [ -z "$win_arch" ]; then
  if [ ! -x /usr/lib/wine/wine ] || timeout 30 /usr/lib/wine/wine --version >/dev/null 2>&1; then
    win_arch=win32
  else
    win_arch=win64
  fi
fi
if [ "$win_arch" = win64 ]; then
  win_build=$build_root/win64
  win_toolchain=cmake/toolchain-x86_64-mingw.cmake
else
  win_build=$build_root/win
  win_toolchain=cmake/toolchain-i686-mingw.cmake
fi

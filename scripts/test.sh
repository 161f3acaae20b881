#!/usr/bin/env bash
# Builds everything and runs all tests: the Windows programs under Wine in a
# private rig, the portable code natively (clang) under AddressSanitizer and
# UBSan, with a bounded fuzz run of the pixel kernels.
#
#   scripts/test.sh              both suites
#   scripts/test.sh --depth 16   the Windows suite on a 16-bit screen as well
#
# ENGINE_BUILD_ROOT (default build) holds the build folders: win, win64, linux.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

depths=(24)
while [ $# -gt 0 ]; do
  case "$1" in
    --depth) depths+=("$2"); shift 2 ;;
    *) echo "usage: $0 [--depth 16]" >&2; exit 2 ;;
  esac
done

# Installs only when the quick check finds something missing.
bash scripts/setup.sh --check >/dev/null || bash scripts/setup.sh
jobs=$(nproc)
source scripts/win-build.sh
win32_build=$build_root/win
linux_build=$build_root/linux

echo "== Windows build (i686, MinGW-w64)"
cmake -S . -B "$win32_build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-i686-mingw.cmake" >/dev/null
cmake --build "$win32_build" -j"$jobs"
if [ "$win_build" != "$win32_build" ]; then
  echo "== this host cannot run 32-bit programs: the Windows tests run as a 64-bit build under 64-bit Wine"
  cmake -S . -B "$win_build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_TOOLCHAIN_FILE="$root/$win_toolchain" >/dev/null
  cmake --build "$win_build" -j"$jobs"
fi

echo "== native build (clang, AddressSanitizer, UBSan, libFuzzer)"
CC=clang CXX=clang++ cmake -S . -B "$linux_build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DENGINE_SANITIZE=ON >/dev/null
cmake --build "$linux_build" -j"$jobs"

status=0
if [ "$win_build" != "$win32_build" ]; then
  echo "== exports of the 32-bit DLL"
  ctest --test-dir "$win32_build" -R '^dll_exports$' --output-on-failure || status=1
fi
for d in "${depths[@]}"; do
  echo "== Windows tests under Wine ($win_arch), screen depth $d"
  ENGINE_TEST_DEPTH=$d ctest --test-dir "$win_build" --output-on-failure -E '^dll_exports$' || status=1
done
if [ "$win_build" = "$win32_build" ]; then
  ctest --test-dir "$win32_build" -R '^dll_exports$' --output-on-failure || status=1
fi
echo "== native tests"
ctest --test-dir "$linux_build" --output-on-failure || status=1
exit $status

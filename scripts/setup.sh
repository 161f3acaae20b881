#!/usr/bin/env bash
# Prepares a Debian 12 machine for building and testing the engine: the
# packages below and the patched libmad source tree that the build compiles
# (scripts/fetch-libmad.sh). Idempotent: what is present is left alone.
#
#   setup.sh           install what is missing (apt-get as root or through sudo)
#   setup.sh --check   change nothing; exit 0 when nothing is missing, else
#                      name what is and exit 1
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

check_only=0
case "${1:-}" in
  --check) check_only=1 ;;
  "") ;;
  *) echo "usage: $0 [--check]" >&2; exit 2 ;;
esac

PACKAGES=(
  cmake ninja-build make git python3
  g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  wine wine32:i386 wine64
  xvfb xauth x11-utils x11-apps imagemagick
  pulseaudio pulseaudio-utils
  googletest
  clang clang-format libclang-rt-14-dev
  libbenchmark-dev
  file xz-utils dpkg-dev patch lame
  fonts-liberation
)

foreign_arch=1
dpkg --print-foreign-architectures | grep -qx i386 || foreign_arch=0

# One query for the whole list; package by package only when it finds a gap.
missing=()
if ! status=$(dpkg-query -W -f='${db:Status-Abbrev}\n' "${PACKAGES[@]}" 2>/dev/null) ||
  grep -qv '^ii' <<<"$status"; then
  for p in "${PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q "install ok installed"; then
      missing+=("$p")
    fi
  done
fi

libmad=1
bash "$root/scripts/fetch-libmad.sh" --check || libmad=0

if [ "$check_only" = 1 ]; then
  ready=1
  [ "$foreign_arch" = 1 ] || { echo "setup: the i386 architecture is not enabled"; ready=0; }
  [ "${#missing[@]}" = 0 ] || { echo "setup: missing packages: ${missing[*]}"; ready=0; }
  [ "$libmad" = 1 ] || { echo "setup: the libmad source tree is not prepared"; ready=0; }
  [ "$ready" = 1 ] && echo "setup: ready"
  [ "$ready" = 1 ]
  exit
fi

SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO="sudo"; fi

if [ "$foreign_arch" = 0 ]; then
  $SUDO dpkg --add-architecture i386
fi
if [ "$foreign_arch" = 0 ] || [ "${#missing[@]}" -gt 0 ]; then
  echo "setup: installing ${missing[*]:-(package lists for i386)}"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  if [ "${#missing[@]}" -gt 0 ]; then
    $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
  fi
fi

# The posix-thread flavour of the MinGW compilers is the one the build uses.
command -v i686-w64-mingw32-g++-posix >/dev/null
command -v wine >/dev/null

if [ "$libmad" = 0 ]; then
  bash "$root/scripts/fetch-libmad.sh"
fi
echo "setup: ready"

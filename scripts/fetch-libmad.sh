#!/usr/bin/env bash
# Prepares the patched libmad source tree that the build compiles.
#
#   fetch-libmad.sh [DEST]           prepare the tree (scripts/setup.sh runs this)
#   fetch-libmad.sh --check [DEST]   change nothing; exit 0 when the tree is ready
#
# DEST defaults to <repo>/.cache/libmad-0.15.1b-11 (ignored by git). The
# Debian source package 0.15.1b-11 comes from the trixie suite (bookworm's
# patch tarball is no longer served): a deb-src-only entry is added, so no
# trixie binary package can ever be installed from it. Both tarballs are
# checked against fixed SHA-256 sums, and debian/patches/series is applied in
# order. Idempotent: a finished tree (DEST/.prepared) is left alone.
set -euo pipefail

VERSION=0.15.1b-11
ORIG=libmad_0.15.1b.orig.tar.gz
ORIG_SHA256=bbfac3ed6bfbc2823d3775ebb931087371e142bb0e9bb1bee51a76a6e0078690
DEBIAN=libmad_${VERSION}.debian.tar.xz
DEBIAN_SHA256=be94f0bcce7efddef02c876d9a49d47004f1f78c5428fb020c8ab491ddc881f3
SOURCES_FILE=/etc/apt/sources.list.d/libmad-trixie-src.sources

repo=$(cd "$(dirname "$0")/.." && pwd)
check_only=0
if [ "${1:-}" = --check ]; then
  check_only=1
  shift
fi
dest=${1:-$repo/.cache/libmad-$VERSION}
stamp="$dest/.prepared"

if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$VERSION" ]; then
  exit 0
fi
[ "$check_only" = 0 ] || exit 1

for tool in apt-get flock sha256sum tar xz patch; do
  command -v "$tool" >/dev/null ||
    { echo "fetch-libmad: $tool is missing (scripts/setup.sh installs it)" >&2; exit 1; }
done

SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO="sudo"; fi

parent=$(dirname "$dest")
mkdir -p "$parent"
# Two configure runs may fetch at once; the second waits and finds the tree.
exec 9>"$parent/.libmad.lock"
flock 9
if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$VERSION" ]; then
  exit 0
fi

downloads="$parent/libmad-downloads"
mkdir -p "$downloads"

have_tarballs() {
  (cd "$downloads" && [ -f "$ORIG" ] && [ -f "$DEBIAN" ] &&
    printf '%s  %s\n%s  %s\n' "$ORIG_SHA256" "$ORIG" "$DEBIAN_SHA256" "$DEBIAN" |
      sha256sum --quiet -c - >/dev/null 2>&1)
}

if ! have_tarballs; then
  if [ ! -f "$SOURCES_FILE" ]; then
    # Source entries only, on the URIs of the machine's own Debian sources.
    $SUDO tee "$SOURCES_FILE" >/dev/null <<'EOF'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: trixie
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
  fi
  if ! apt-cache showsrc libmad 2>/dev/null | grep -q "^Version: $VERSION\$"; then
    $SUDO apt-get update -qq
  fi
  rm -f "$downloads"/libmad_*
  # apt drops privileges to _apt for downloads; let it write here.
  if [ "$(id -u)" = 0 ] && id _apt >/dev/null 2>&1; then
    chown _apt "$downloads"
  fi
  (cd "$downloads" && apt-get source -qq --download-only "libmad=$VERSION")
fi

echo "fetch-libmad: verifying checksums"
(cd "$downloads" &&
  printf '%s  %s\n%s  %s\n' "$ORIG_SHA256" "$ORIG" "$DEBIAN_SHA256" "$DEBIAN" | sha256sum --quiet -c -)

# Unpack and patch into a scratch folder, then move it into place.
work=$(mktemp -d "$parent/.libmad-work.XXXXXX")
trap 'rm -rf "$work"' EXIT
tar --no-same-owner -xzf "$downloads/$ORIG" -C "$work"
src="$work/libmad-0.15.1b"
tar --no-same-owner -xJf "$downloads/$DEBIAN" -C "$src"
chmod -R u+rwX,go-w "$src"
while read -r entry _; do
  case "$entry" in ''|'#'*) continue ;; esac
  echo "fetch-libmad: applying $entry"
  patch -d "$src" -p1 -N -s --no-backup-if-mismatch <"$src/debian/patches/$entry"
done <"$src/debian/patches/series"

echo "$VERSION" >"$src/.prepared"
rm -rf "$dest"
mv "$src" "$dest"
echo "fetch-libmad: ready in $dest"

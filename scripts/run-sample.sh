#!/usr/bin/env bash
# Builds the engine and the sample client, runs the sample under Wine on a
# private virtual screen and saves a screenshot of the screen.
#
#   scripts/run-sample.sh [seconds]   (default 6; screenshot out/game.png)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
seconds=${1:-6}

bash scripts/setup.sh
cmake -S . -B build/win -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-i686-mingw.cmake" >/dev/null
cmake --build build/win -j"$(nproc)" --target GameEngine Game

mkdir -p out
rig=scripts/rig.sh
trap '"$rig" stop build/win >/dev/null' EXIT
"$rig" start build/win
display=":$(cat build/win/rig/display)"

(cd build/win/bin && "$root/$rig" exec "$root/build/win" Game.exe "$seconds") &
sample=$!
sleep $((seconds / 2 + 1))
import -display "$display" -window root out/game.png
wait "$sample" && rc=0 || rc=$?
echo "sample exited with $rc; screenshot: out/game.png"
exit "$rc"

#!/usr/bin/env bash
# Builds the engine and the sample client, runs the sample under Wine on a
# private virtual screen, saves a screenshot of the screen and records what
# the game plays.
#
#   scripts/run-sample.sh [seconds]   (default 6; out/game.png, out/game.wav)
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

# Record the rig's null sink; the sink takes the short latency only after
# its current block, so give it a moment before the game starts.
PULSE_SERVER="unix:$root/build/win/rig/pulse/native" \
  parec --latency-msec=20 -d null.monitor --file-format=wav out/game.wav </dev/null &
recorder=$!
trap 'kill -INT "$recorder" 2>/dev/null || true; "$rig" stop build/win >/dev/null' EXIT
sleep 1.5

(cd build/win/bin && "$root/$rig" exec "$root/build/win" Game.exe "$seconds") &
sample=$!
sleep $((seconds / 2 + 1))
import -display "$display" -window root out/game.png
wait "$sample" && rc=0 || rc=$?
kill -INT "$recorder" 2>/dev/null && wait "$recorder" || true
echo "sample exited with $rc; screenshot: out/game.png, recording: out/game.wav"
exit "$rc"

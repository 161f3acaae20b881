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
source scripts/win-build.sh
build=$win_build
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_TOOLCHAIN_FILE="$root/$win_toolchain" >/dev/null
cmake --build "$build" -j"$(nproc)" --target GameEngine Game

mkdir -p out
rig=scripts/rig.sh
trap '"$rig" stop $build >/dev/null' EXIT
"$rig" start $build
display=":$(cat $build/rig/display)"

# Record the rig's null sink; the sink takes the short latency only after
# its current block, so give it a moment before the game starts.
PULSE_SERVER="unix:$root/$build/rig/pulse/native" \
  parec --latency-msec=20 -d null.monitor --file-format=wav out/game.wav </dev/null &
recorder=$!
trap 'kill -INT "$recorder" 2>/dev/null || true; "$rig" stop $build >/dev/null' EXIT
sleep 1.5

(cd $build/bin && "$root/$rig" exec "$root/$build" Game.exe "$seconds") &
sample=$!
sleep $((seconds / 2 + 1))
import -display "$display" -window root out/game.png
wait "$sample" && rc=0 || rc=$?
kill -INT "$recorder" 2>/dev/null && wait "$recorder" || true
echo "sample exited with $rc; screenshot: out/game.png, recording: out/game.wav"
exit "$rc"

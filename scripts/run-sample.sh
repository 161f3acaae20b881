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

# Installs only when the quick check finds something missing.
bash scripts/setup.sh --check >/dev/null || bash scripts/setup.sh
source scripts/win-build.sh
cmake -S . -B "$win_build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_TOOLCHAIN_FILE="$root/$win_toolchain" >/dev/null
build=$(cd "$win_build" && pwd)
cmake --build "$build" -j"$(nproc)" --target GameEngine Game

mkdir -p out
rig=$root/scripts/rig.sh
recorder=""
cleanup() {
  if [ -n "$recorder" ]; then kill -INT "$recorder" 2>/dev/null || true; fi
  "$rig" stop "$build" >/dev/null
}
trap cleanup EXIT
"$rig" start "$build"
display=":$(cat "$build/rig/display")"

# Record the rig's null sink; the sink takes the short latency only after
# its current block, so give it a moment before the game starts.
PULSE_SERVER="unix:$build/rig/pulse/native" \
  parec --latency-msec=20 -d null.monitor --file-format=wav out/game.wav </dev/null &
recorder=$!
sleep 1.5

(cd "$build/bin" && timeout -k 10 $((seconds + 60)) "$rig" exec "$build" Game.exe "$seconds") &
sample=$!
# The screenshot once the scene is there (a bare screen has one colour), a
# second later so that it has moved, while the game runs.
scene=0
while kill -0 "$sample" 2>/dev/null; do
  if timeout 30 import -display "$display" -window root out/game.png 2>/dev/null &&
    [ "$(convert out/game.png -format %k info:)" -gt 100 ]; then
    scene=1
    sleep 1
    timeout 30 import -display "$display" -window root out/game.png 2>/dev/null || true
    break
  fi
  sleep 0.5
done
wait "$sample" && rc=0 || rc=$?
[ "$scene" = 1 ] || echo "run-sample: the game showed no scene while it ran" >&2
kill -INT "$recorder" 2>/dev/null && timeout 10 tail --pid="$recorder" -f /dev/null || true
recorder=""
echo "sample exited with $rc; screenshot: out/game.png, recording: out/game.wav"
exit "$rc"

#!/usr/bin/env bash
# Runs the sample game inside a started rig and takes screenshots until the
# scene is there (caption strip, pause button, a showcase card, the player's
# star), for as long as the game runs and 60 s at most.
#
#   check-sample.sh BUILD [screenshot.png]
set -euo pipefail
build=$(cd "$1" && pwd)
shot=${2:-$build/sample-check.png}
here=$(cd "$(dirname "$0")" && pwd)
display=":$(cat "$build/rig/display")"

# Window at (112, 84) on the 1024 x 768 screen; colours from the game's own
# art. A 16-bit screen keeps 5 or 6 bits a channel: tolerance 24 in all.
check() { # name x y r g b ...: one line per point, fails when one is off
  local fail=0 got
  while [ $# -gt 0 ]; do
    got=$(convert "$shot" -format "%[fx:int(255*p{$2,$3}.r)] %[fx:int(255*p{$2,$3}.g)] %[fx:int(255*p{$2,$3}.b)]" info:)
    read -r gr gg gb <<<"$got"
    if [ $(( (gr > $4 ? gr - $4 : $4 - gr) + (gg > $5 ? gg - $5 : $5 - gg) + (gb > $6 ? gb - $6 : $6 - gb) )) -le 24 ]; then
      echo "ok   $1 at ($2,$3): $got"
    else
      echo "FAIL $1 at ($2,$3): got $got, expected $4 $5 $6"; fail=1
    fi
    shift 6
  done
  return $fail
}
scene() {
  check "caption strip" 132 94 18 22 38 "pause button" 862 99 200 160 40 \
        "showcase card" 133 445 73 19 19 "player star" 512 586 255 210 60
}

(cd "$build/bin" && timeout -k 10 90 "$here/rig.sh" exec "$build" Game.exe 5) &
game=$!
for ((t = SECONDS + 60; SECONDS < t; )); do
  timeout 30 import -display "$display" -window root "$shot" 2>/dev/null && scene >/dev/null && break
  kill -0 "$game" 2>/dev/null || break
  sleep 0.2
done
wait "$game"
scene

#!/usr/bin/env bash
# Runs the sample game inside a started rig, takes a screenshot of the screen
# and checks that the scene is really there: pixels of the caption strip, the
# pause button, a showcase card and the player's star.
#
#   check-sample.sh BUILD [screenshot.png]
set -euo pipefail
build=$(cd "$1" && pwd)
shot=${2:-$build/sample-check.png}
here=$(cd "$(dirname "$0")" && pwd)
display=":$(cat "$build/rig/display")"

(cd "$build/bin" && "$here/rig.sh" exec "$build" Game.exe 4) &
game=$!
sleep 2.5
import -display "$display" -window root "$shot"
wait "$game"

# Window at (112, 84) on the 1024 x 768 screen; expected colours from the
# game's own art. A 16-bit screen keeps 5 or 6 bits a channel: tolerance 8.
fail=0
check() {
  local name=$1 x=$2 y=$3 r=$4 g=$5 b=$6
  local got
  got=$(convert "$shot" -format "%[fx:int(255*p{$x,$y}.r)] %[fx:int(255*p{$x,$y}.g)] %[fx:int(255*p{$x,$y}.b)]" info:)
  read -r gr gg gb <<<"$got"
  local d=$(( (gr > r ? gr - r : r - gr) + (gg > g ? gg - g : g - gg) + (gb > b ? gb - b : b - gb) ))
  if [ "$d" -le 24 ]; then
    echo "ok   $name at ($x,$y): $got"
  else
    echo "FAIL $name at ($x,$y): got $got, expected $r $g $b"
    fail=1
  fi
}
check "caption strip" 132 94 18 22 38
check "pause button" 862 99 200 160 40
check "showcase card" 133 445 73 19 19
check "player star" 512 586 255 210 60
exit $fail

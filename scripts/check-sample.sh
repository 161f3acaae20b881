#!/usr/bin/env bash
# Runs the sample game inside a started rig and takes screenshots of the
# screen until the scene is really there (pixels of the caption strip, the
# pause button, a showcase card and the player's star), for as long as the
# game runs and 60 s at most.
#
#   check-sample.sh BUILD [screenshot.png]
set -euo pipefail
build=$(cd "$1" && pwd)
shot=${2:-$build/sample-check.png}
here=$(cd "$(dirname "$0")" && pwd)
display=":$(cat "$build/rig/display")"

# Window at (112, 84) on the 1024 x 768 screen; expected colours from the
# game's own art. A 16-bit screen keeps 5 or 6 bits a channel: tolerance 24.
points=("caption strip" 132 94 18 22 38 "pause button" 862 99 200 160 40
        "showcase card" 133 445 73 19 19 "player star" 512 586 255 210 60)
check() { # prints one line per point; fails when a point is off
  local fx="" got fail=0 i
  for ((i = 0; i < ${#points[@]}; i += 6)); do
    local p="p{${points[i + 1]},${points[i + 2]}}"
    fx+="%[fx:int(255*$p.r)] %[fx:int(255*$p.g)] %[fx:int(255*$p.b)] "
  done
  read -r -a got <<<"$(convert "$shot" -format "$fx" info:)"
  for ((i = 0; i < ${#points[@]}; i += 6)); do
    local k=$((i / 2)) d=0 c
    for c in 0 1 2; do
      local e=${points[i + 3 + c]} g=${got[k + c]:-0}
      d=$((d + (g > e ? g - e : e - g)))
    done
    local at="${points[i]} at (${points[i + 1]},${points[i + 2]}): ${got[*]:k:3}"
    if [ "$d" -le 24 ]; then echo "ok   $at"; else echo "FAIL $at, expected ${points[*]:i+3:3}"; fail=1; fi
  done
  return $fail
}

(cd "$build/bin" && "$here/rig.sh" exec "$build" Game.exe 5) &
game=$!
ok=1
for ((t = SECONDS + 60; SECONDS < t; )); do
  import -display "$display" -window root "$shot" 2>/dev/null && check >/dev/null && { ok=0; break; }
  kill -0 "$game" 2>/dev/null || break
  sleep 0.2
done
wait "$game"
check
exit $ok

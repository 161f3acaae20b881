#!/usr/bin/env bash
# Test rig for the Windows programs: an Xvfb screen, a PulseAudio server with
# a null sink and a persistent wineserver, all private to one build folder.
#
#   rig.sh start BUILD             start everything (stops a previous rig first)
#   rig.sh exec  BUILD EXE [ARG..] run one Windows program inside the started rig
#   rig.sh stop  BUILD             stop everything
#   rig.sh run   BUILD CMD [ARG..] start, run CMD inside (as given, no shell:
#                                  `bash -c '...'` for a command line), stop
#
# Inside `run`, `wine` is the build's Wine loader. Every step has a time
# limit: a piece that does not come up makes start print what failed and exit
# non-zero, leaving nothing running.
#
# ENGINE_TEST_DEPTH=16 gives a 16-bit screen (default 24, which Wine reports
# as a 32-bit desktop).
set -uo pipefail

cmd=${1:-}
if [ $# -lt 2 ]; then
  echo "usage: $0 start|stop|exec|run BUILD ..." >&2
  exit 2
fi
build=$(cd "$2" && pwd) || exit 2
shift 2
rig="$build/rig"
depth=${ENGINE_TEST_DEPTH:-24}
# The build says which Wine runs its programs (written at configure time).
arch=$(cat "$build/wine-arch" 2>/dev/null || echo win32)
if [ "$arch" = win64 ]; then
  wine=/usr/lib/wine/wine64
else
  wine=/usr/bin/wine
fi

# Time limits in seconds.
XVFB_LIMIT=${RIG_XVFB_LIMIT:-30}
PULSE_LIMIT=${RIG_PULSE_LIMIT:-30}
WINESERVER_LIMIT=${RIG_WINESERVER_LIMIT:-60}
WINEBOOT_LIMIT=${RIG_WINEBOOT_LIMIT:-120}
STOP_LIMIT=${RIG_STOP_LIMIT:-60}

rig_env() {
  export WINEPREFIX="$build/wineprefix"
  export WINEARCH=$arch
  if [ "$arch" = win64 ]; then export WINELOADER=$wine; fi
  export WINEDEBUG=${WINEDEBUG:--all}
  # No installer dialogs for the .NET and HTML runtimes.
  export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
  export PULSE_SERVER="unix:$rig/pulse/native"
  export PULSE_RUNTIME_PATH="$rig/pulse"
  export XDG_RUNTIME_DIR="$rig/xdg"
  if [ -s "$rig/display" ]; then
    DISPLAY=":$(cat "$rig/display")"
    export DISPLAY
  fi
}

# Prints the end of a log to stderr.
show_log() {
  [ -s "$1" ] || return 0
  echo "rig: last lines of $1:" >&2
  tail -n 15 "$1" | sed 's/^/  /' >&2
}

# fail MESSAGE [LOG]: reports, stops whatever came up and exits non-zero.
fail() {
  echo "rig: FAILED: $1" >&2
  [ $# -lt 2 ] || show_log "$2"
  stop >/dev/null 2>&1
  exit 1
}

# wait_for LIMIT PID TEST..: polls TEST until it succeeds (0), PID dies (1) or
# LIMIT seconds pass (2).
wait_for() {
  local limit=$1 pid=$2
  shift 2
  local end=$((SECONDS + limit))
  until "$@"; do
    kill -0 "$pid" 2>/dev/null || return 1
    [ "$SECONDS" -lt "$end" ] || return 2
    sleep 0.1
  done
}

# Stops the process in a pid file, if it is still the program we started.
kill_pidfile() {
  local f=$1 name=$2 pid
  [ -f "$f" ] || return 0
  pid=$(cat "$f")
  if [ -n "$pid" ] && [ "$(cat "/proc/$pid/comm" 2>/dev/null)" = "$name" ]; then
    kill "$pid" 2>/dev/null
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    if kill -0 "$pid" 2>/dev/null; then
      echo "rig: $name ($pid) ignored SIGTERM for 5 s; killing it" >&2
      kill -9 "$pid" 2>/dev/null
      for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    fi
    if kill -0 "$pid" 2>/dev/null; then
      echo "rig: $name ($pid) is still running" >&2
      return 1
    fi
  fi
  rm -f "$f"
}

stop() {
  local rc=0
  if [ -d "$build/wineprefix" ]; then
    rig_env
    # Ends every program of this prefix and its server, never another's.
    timeout 30 wineserver -k </dev/null >/dev/null 2>&1
    if ! timeout "$STOP_LIMIT" wineserver -w </dev/null >/dev/null 2>&1; then
      echo "rig: the wineserver did not exit within $STOP_LIMIT s; killing its programs" >&2
      timeout 30 wineserver -k 9 </dev/null >/dev/null 2>&1
      if ! timeout 30 wineserver -w </dev/null >/dev/null 2>&1; then
        echo "rig: FAILED: the wineserver of $WINEPREFIX is still running" >&2
        rc=1
      fi
    fi
  fi
  kill_pidfile "$rig/pulse.pid" pulseaudio || rc=1
  kill_pidfile "$rig/xvfb.pid" Xvfb || rc=1
  rm -f "$rig/display"
  return $rc
}

# Starts the prefix's persistent wineserver. It exits 2 when another server
# holds the prefix's lock: one still shutting down gets a moment to go.
start_wineserver() {
  local rc
  for _ in 1 2; do
    timeout -k 10 "$WINESERVER_LIMIT" wineserver -p </dev/null >>"$rig/wineserver.log" 2>&1
    rc=$?
    [ "$rc" = 2 ] || break
    echo "rig: another wineserver holds $WINEPREFIX; waiting for it" >>"$rig/wineserver.log"
    timeout "$STOP_LIMIT" wineserver -w </dev/null >/dev/null 2>&1
  done
  case $rc in
    0) ;;
    124 | 137) fail "the wineserver did not start within $WINESERVER_LIMIT s" "$rig/wineserver.log" ;;
    2) fail "another wineserver keeps running for $WINEPREFIX" "$rig/wineserver.log" ;;
    *) fail "the wineserver exited with $rc" "$rig/wineserver.log" ;;
  esac
}

# Runs a Wine command of the start-up under a time limit.
wine_step() {
  local limit=$1 what=$2
  shift 2
  timeout -k 10 "$limit" "$wine" "$@" </dev/null >>"$rig/wineboot.log" 2>&1
  local rc=$?
  if [ "$rc" = 124 ] || [ "$rc" = 137 ]; then
    fail "$what did not finish within $limit s" "$rig/wineboot.log"
  elif [ "$rc" != 0 ]; then
    fail "$what exited with $rc" "$rig/wineboot.log"
  fi
}

# The usual faces of a Windows desktop, mapped to the Liberation fonts
# (fonts-liberation) in the prefix: a bare prefix has none of them for GDI+.
FONT_REPLACEMENTS=(
  "Microsoft Sans Serif=Liberation Sans"
  "Arial=Liberation Sans"
  "Tahoma=Liberation Sans"
  "Courier New=Liberation Mono"
)

start() {
  stop || fail "a previous rig of $build could not be stopped"
  rm -rf "$rig"
  mkdir -p "$rig/pulse" "$rig/xdg" "$rig/bin"
  chmod 700 "$rig/xdg" "$rig/pulse"

  # Xvfb picks a free display itself and writes its number to fd 3 once it
  # accepts connections. Every background process gets its own output files:
  # an inherited pipe would keep the caller (ctest) waiting for the end of our
  # output.
  Xvfb -displayfd 3 -screen 0 "1024x768x$depth" -nolisten tcp -ac \
    </dev/null >"$rig/xvfb.log" 2>&1 3>"$rig/xvfb.displayfd" &
  echo $! >"$rig/xvfb.pid"
  wait_for "$XVFB_LIMIT" "$(cat "$rig/xvfb.pid")" grep -qx '[0-9][0-9]*' "$rig/xvfb.displayfd"
  case $? in
    1) fail "Xvfb exited before reporting its display" "$rig/xvfb.log" ;;
    2) fail "Xvfb did not report a display within $XVFB_LIMIT s" "$rig/xvfb.log" ;;
  esac
  cp "$rig/xvfb.displayfd" "$rig/display"

  rig_env
  pulseaudio --daemonize=no --use-pid-file=no --system=no --exit-idle-time=-1 --disallow-exit -n \
    --load="module-null-sink sink_name=null" \
    --load="module-native-protocol-unix socket=$rig/pulse/native auth-anonymous=1" \
    --load="module-always-sink" </dev/null >"$rig/pulse.log" 2>&1 &
  echo $! >"$rig/pulse.pid"
  pulse_up() { [ -S "$rig/pulse/native" ] && timeout 5 pactl info </dev/null >/dev/null 2>&1; }
  wait_for "$PULSE_LIMIT" "$(cat "$rig/pulse.pid")" pulse_up
  case $? in
    1) fail "PulseAudio exited before it answered" "$rig/pulse.log" ;;
    2) fail "PulseAudio did not answer on $PULSE_SERVER within $PULSE_LIMIT s" "$rig/pulse.log" ;;
  esac

  # For commands run through `run`: `wine` is this build's loader.
  printf '#!/bin/sh\nexec %s "$@"\n' "$wine" >"$rig/bin/wine"
  chmod +x "$rig/bin/wine"

  # The persistent server comes first: a server that a wine command starts on
  # its own exits when idle, and then every test program pays for a new one.
  # A prefix whose set-up did not finish (no stamp) is made anew.
  local fresh=0
  if [ ! -f "$WINEPREFIX/.rig-prepared" ]; then
    fresh=1
    rm -rf "$WINEPREFIX"
  fi
  mkdir -p "$WINEPREFIX"
  start_wineserver
  if [ "$fresh" = 1 ]; then
    wine_step "$WINEBOOT_LIMIT" "creating the Wine prefix (wineboot)" wineboot -i
    # No window manager runs on the screen: unmanaged windows are placed
    # exactly where asked and hiding one does not wait for the manager.
    wine_step "$WINESERVER_LIMIT" "setting unmanaged windows" \
      reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f
  fi
  # DirectDraw draws through GDI, as where no OpenGL is installed: with
  # OpenGL (64-bit Wine here) it presents into a GL child window that screen
  # captures read as black.
  if ! grep -q '^"renderer"="gdi"' "$WINEPREFIX/user.reg" 2>/dev/null; then
    wine_step "$WINESERVER_LIMIT" "setting the GDI renderer" \
      reg add 'HKCU\Software\Wine\Direct3D' /v renderer /d gdi /f
  fi
  local pair face
  for pair in "${FONT_REPLACEMENTS[@]}"; do
    face=${pair%%=*}
    if ! grep -q -F "\"$face\"=\"${pair#*=}\"" "$WINEPREFIX/user.reg" 2>/dev/null; then
      wine_step "$WINESERVER_LIMIT" "mapping the font $face" \
        reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$face" /d "${pair#*=}" /f
    fi
  done
  if [ "$fresh" = 1 ]; then
    # Start over from the prefix as saved: test programs in a prefix whose
    # first server is still running were seen to take about 20 s longer each.
    timeout 30 wineserver -k </dev/null >/dev/null 2>&1
    timeout "$STOP_LIMIT" wineserver -w </dev/null >/dev/null 2>&1 ||
      fail "the first wineserver did not exit within $STOP_LIMIT s"
    touch "$WINEPREFIX/.rig-prepared"
    start_wineserver
  fi
  # Make sure the server and the prefix answer before the first test.
  wine_step "$WINESERVER_LIMIT" "a first program in the prefix (cmd /c exit 0)" cmd /c exit 0
  echo "rig: display $DISPLAY depth $depth, pulse $PULSE_SERVER, prefix $WINEPREFIX"
}

case "$cmd" in
  start) start ;;
  stop)
    stop || exit 1
    echo "rig: stopped"
    ;;
  exec)
    [ -s "$rig/display" ] || { echo "rig: FAILED: no rig is running for $build (rig.sh start first)" >&2; exit 1; }
    [ $# -gt 0 ] || { echo "usage: $0 exec BUILD EXE [ARG..]" >&2; exit 2; }
    rig_env
    exec "$wine" "$@"
    ;;
  run)
    [ $# -gt 0 ] || { echo "usage: $0 run BUILD CMD [ARG..]" >&2; exit 2; }
    trap 'stop >/dev/null; exit 130' INT TERM
    start >/dev/null
    rig_env
    PATH="$rig/bin:$PATH" "$@"
    rc=$?
    stop || rc=1
    exit $rc
    ;;
  *) echo "usage: $0 start|stop|exec|run BUILD ..." >&2; exit 2 ;;
esac

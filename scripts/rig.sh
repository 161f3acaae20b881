#!/usr/bin/env bash
# Test rig for the Windows programs: an Xvfb screen, a PulseAudio server with
# a null sink and a persistent wineserver, all private to one build folder.
#
#   rig.sh start BUILD        start everything (stops a previous rig first)
#   rig.sh exec  BUILD EXE..  run one Windows program inside the rig
#   rig.sh stop  BUILD        stop everything
#   rig.sh run   BUILD CMD..  start, run a shell command inside, stop
#
# ENGINE_TEST_DEPTH=16 gives a 16-bit screen (default 24, which Wine reports
# as a 32-bit desktop).
set -uo pipefail

cmd=${1:-}
build=$(cd "${2:?build folder}" && pwd)
shift 2
rig="$build/rig"
depth=${ENGINE_TEST_DEPTH:-24}
# The build says which Wine runs its programs (written at configure time).
arch=$(cat "$build/wine-arch" 2>/dev/null || echo win32)
if [ "$arch" = win64 ]; then
  wine=/usr/lib/wine/wine64
else
  wine=wine
fi

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
  export DISPLAY=":$(cat "$rig/display")"
}

kill_pidfile() {
  local f=$1
  [ -f "$f" ] || return 0
  local pid
  pid=$(cat "$f")
  if kill -0 "$pid" 2>/dev/null; then
    kill "$pid" 2>/dev/null
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$pid" 2>/dev/null
  fi
  rm -f "$f"
}

stop() {
  if [ -f "$rig/display" ]; then
    rig_env
    wineserver -k </dev/null >/dev/null 2>&1
    wineserver -w </dev/null >/dev/null 2>&1
  fi
  kill_pidfile "$rig/pulse.pid"
  kill_pidfile "$rig/xvfb.pid"
  rm -f "$rig/display"
}

start() {
  stop
  mkdir -p "$rig/pulse" "$rig/xdg"
  chmod 700 "$rig/xdg" "$rig/pulse"

  # First free display number from 90 up.
  local n=90
  while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
  # Every background process gets its own output files: an inherited pipe
  # would keep the caller (ctest) waiting for the end of our output.
  Xvfb ":$n" -screen 0 "1024x768x$depth" -nolisten tcp -ac </dev/null >"$rig/xvfb.log" 2>&1 &
  echo $! >"$rig/xvfb.pid"
  echo "$n" >"$rig/display"
  for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done

  rig_env
  pulseaudio --daemonize=no --use-pid-file=no --system=no --exit-idle-time=-1 --disallow-exit -n \
    --load="module-null-sink sink_name=null" \
    --load="module-native-protocol-unix socket=$rig/pulse/native auth-anonymous=1" \
    --load="module-always-sink" </dev/null >"$rig/pulse.log" 2>&1 &
  echo $! >"$rig/pulse.pid"
  for _ in $(seq 100); do [ -S "$rig/pulse/native" ] && break; sleep 0.1; done

  # The persistent server comes first: a server that a wine command starts on
  # its own exits when idle, and then every test program pays for a new one.
  mkdir -p "$WINEPREFIX"
  wineserver -p </dev/null >>"$rig/wineserver.log" 2>&1
  local fresh=0
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    fresh=1
    "$wine" wineboot -i </dev/null >"$rig/wineboot.log" 2>&1
    # No window manager runs on the screen: unmanaged windows are placed
    # exactly where asked and hiding one does not wait for the manager.
    "$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >>"$rig/wineboot.log" 2>&1
  fi
  # DirectDraw draws through GDI, as where no OpenGL is installed: with
  # OpenGL (64-bit Wine here) it presents into a GL child window that screen
  # captures read as black.
  if ! grep -q '^"renderer"="gdi"' "$WINEPREFIX/user.reg" 2>/dev/null; then
    "$wine" reg add 'HKCU\Software\Wine\Direct3D' /v renderer /d gdi /f </dev/null >>"$rig/wineboot.log" 2>&1
  fi
  # A bare prefix has no sans-serif family for GDI+: map the usual ones to
  # Liberation Sans (fonts-liberation).
  if ! grep -q '^"Arial"="Liberation Sans"' "$WINEPREFIX/user.reg" 2>/dev/null; then
    for face in "Microsoft Sans Serif" "Arial" "Tahoma"; do
      "$wine" reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$face" /d "Liberation Sans" /f \
        </dev/null >>"$rig/wineboot.log" 2>&1
    done
  fi
  if [ "$fresh" = 1 ]; then
    # Start over from the prefix as saved: test programs in a prefix whose
    # first server is still running were seen to take about 20 s longer each.
    wineserver -k </dev/null >/dev/null 2>&1
    timeout 30 wineserver -w </dev/null >/dev/null 2>&1
    wineserver -p </dev/null >>"$rig/wineserver.log" 2>&1
  fi
  # Make sure the server and the prefix answer before the first test.
  "$wine" cmd /c exit 0 </dev/null >>"$rig/wineserver.log" 2>&1
  echo "rig: display :$n depth $depth, pulse $PULSE_SERVER, prefix $WINEPREFIX"
}

case "$cmd" in
  start) start ;;
  stop) stop; echo "rig: stopped" ;;
  exec)
    rig_env
    exec "$wine" "$@"
    ;;
  run)
    start >/dev/null
    rig_env
    bash -c "$*"
    rc=$?
    stop
    exit $rc
    ;;
  *) echo "usage: $0 start|stop|exec|run BUILD ..." >&2; exit 2 ;;
esac

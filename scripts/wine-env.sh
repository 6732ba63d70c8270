# Sourced by the test and run scripts: a private Wine prefix under the build folder, a private
# Xvfb display, a private PulseAudio server and one Wine server kept alive for the whole run.
#   wine_env_start [--own-display]   prepare and start (idempotent); writes build/wine/env for
#                    scripts/wine-run. With --own-display an existing DISPLAY is used as it is.
#   wine_env_stop    stop the Wine server, the sound server and the display this run started
# Sound: Wine plays to the server's null sink "capture" in real time; a test records what was
# heard with `parec -d capture.monitor`. The server's address is exported (PULSE_SERVER, and
# XDG_RUNTIME_DIR, a private mode-700 folder) and written to the env file; LUMEN_PULSE_DIR names
# the folder. Without pulseaudio installed there is no server and Wine has no sound device.

LUMEN_ROOT=${LUMEN_ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}
LUMEN_WINE_DIR=${LUMEN_WINE_DIR:-$LUMEN_ROOT/build/wine}
LUMEN_DESKTOP=${LUMEN_DESKTOP:-1920x1080}

# Wine starts 32-bit Windows programs in 32-bit Linux processes. A kernel built without 32-bit
# support refuses to execute those ("Exec format error"): then no Windows program runs here.
wine_kernel_runs_i386() {
  local out
  out=$(wine --version 2>&1) && return 0
  ! grep -q "Exec format error" <<<"$out"
}

_wine_reg() { wine reg add "$@" /f >/dev/null 2>&1; }

_pulse_start() {
  command -v pulseaudio >/dev/null 2>&1 || return 0
  if [ -n "${LUMEN_PULSE_PID:-}" ] && kill -0 "$LUMEN_PULSE_PID" 2>/dev/null; then return 0; fi
  local dir
  dir=$(mktemp -d "${TMPDIR:-/tmp}/lumen-pulse.XXXXXX") || return 0
  chmod 700 "$dir"
  # A client must never start a server of its own (with the machine's real sinks) instead.
  printf 'autospawn = no\n' >"$dir/client.conf"
  if ! XDG_RUNTIME_DIR=$dir PULSE_CLIENTCONFIG=$dir/client.conf pulseaudio -n --daemonize=yes \
    --exit-idle-time=-1 --use-pid-file=yes \
    -L "module-null-sink sink_name=capture rate=44100 channels=2" \
    -L "module-native-protocol-unix auth-anonymous=1" >"$dir/log" 2>&1; then
    rm -rf "$dir"
    return 0
  fi
  LUMEN_PULSE_PID=$(cat "$dir/pulse/pid" 2>/dev/null)
  export LUMEN_PULSE_DIR=$dir LUMEN_PULSE_PID LUMEN_PULSE_SAVED_XDG=${XDG_RUNTIME_DIR-unset}
  export XDG_RUNTIME_DIR=$dir PULSE_SERVER=unix:$dir/pulse/native PULSE_CLIENTCONFIG=$dir/client.conf
  pactl set-default-sink capture >/dev/null 2>&1 || true
}

_pulse_stop() {
  [ -n "${LUMEN_PULSE_DIR:-}" ] || return 0
  if [ -n "${LUMEN_PULSE_PID:-}" ] && kill "$LUMEN_PULSE_PID" 2>/dev/null; then
    for _ in $(seq 40); do kill -0 "$LUMEN_PULSE_PID" 2>/dev/null || break; sleep 0.05; done
  fi
  rm -rf "$LUMEN_PULSE_DIR"
  if [ "$LUMEN_PULSE_SAVED_XDG" = unset ]; then unset XDG_RUNTIME_DIR; else
    export XDG_RUNTIME_DIR=$LUMEN_PULSE_SAVED_XDG
  fi
  unset LUMEN_PULSE_DIR LUMEN_PULSE_PID LUMEN_PULSE_SAVED_XDG PULSE_SERVER PULSE_CLIENTCONFIG
}

wine_env_start() {
  mkdir -p "$LUMEN_WINE_DIR"
  export WINEPREFIX="$LUMEN_WINE_DIR/prefix" WINEARCH=win32 WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
  local own_display=0
  [ "${1:-}" = "--own-display" ] && [ -n "${DISPLAY:-}" ] && own_display=1
  if [ "$own_display" = 0 ] && [ -z "${LUMEN_XVFB_PID:-}" ]; then
    local display=99
    while [ -e "/tmp/.X${display}-lock" ]; do display=$((display + 1)); done
    Xvfb ":$display" -screen 0 1920x1080x24 -nolisten tcp >/dev/null 2>&1 &
    LUMEN_XVFB_PID=$!
    export DISPLAY=":$display" LUMEN_XVFB_PID
    for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X${display}" ] && break; sleep 0.05; done
  fi
  _pulse_start  # before any Wine process, so that all of them find it
  local fresh=0
  [ -f "$WINEPREFIX/system.reg" ] || fresh=1
  wine cmd /c exit 0 >/dev/null 2>&1 || true
  # The marker names the desktop size, so a change of size configures the prefix again.
  if [ "$fresh" = 1 ] || [ "$(cat "$LUMEN_WINE_DIR/configured" 2>/dev/null)" != "$LUMEN_DESKTOP" ]; then
    _wine_reg 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0
    _wine_reg 'HKCU\Software\Wine\Explorer' /v Desktop /d Default
    _wine_reg 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d "$LUMEN_DESKTOP"
    _wine_reg 'HKCU\Software\Wine' /v Version /d win7
    echo "$LUMEN_DESKTOP" >"$LUMEN_WINE_DIR/configured"
    # The desktop process started before these settings; a new server starts it with them.
    wineserver -k >/dev/null 2>&1 || true
    wineserver -w >/dev/null 2>&1 || true
  fi
  wineserver -p >/dev/null 2>&1 || true  # already running for this prefix is fine
  # Every run starts at 96 DPI, even after a high-DPI test that died before it set it back.
  wine reg delete 'HKCU\Control Panel\Desktop' /v LogPixels /f >/dev/null 2>&1 || true
  printf 'export WINEPREFIX=%q WINEARCH=win32 WINEDEBUG=-all DISPLAY=%q WINEDLLOVERRIDES=%q\n' \
    "$WINEPREFIX" "$DISPLAY" "$WINEDLLOVERRIDES" >"$LUMEN_WINE_DIR/env"
  if [ -n "${LUMEN_PULSE_DIR:-}" ]; then
    printf 'export LUMEN_PULSE_DIR=%q XDG_RUNTIME_DIR=%q PULSE_SERVER=%q PULSE_CLIENTCONFIG=%q\n' \
      "$LUMEN_PULSE_DIR" "$XDG_RUNTIME_DIR" "$PULSE_SERVER" "$PULSE_CLIENTCONFIG" \
      >>"$LUMEN_WINE_DIR/env"
  fi
}

wine_env_stop() {
  wineserver -k >/dev/null 2>&1 || true
  _pulse_stop
  if [ -n "${LUMEN_XVFB_PID:-}" ]; then
    kill "$LUMEN_XVFB_PID" 2>/dev/null || true
    wait "$LUMEN_XVFB_PID" 2>/dev/null || true
    unset LUMEN_XVFB_PID
  fi
}

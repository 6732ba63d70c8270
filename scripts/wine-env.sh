# Sourced by the test and run scripts: a private Wine prefix under the build folder, a private
# Xvfb display and one Wine server kept alive for the whole run.
#   wine_env_start [--own-display]   prepare and start (idempotent); writes build/wine/env for
#                    scripts/wine-run. With --own-display an existing DISPLAY is used as it is.
#   wine_env_stop    stop the Wine server and the display this run started

LUMEN_ROOT=${LUMEN_ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}
LUMEN_WINE_DIR=${LUMEN_WINE_DIR:-$LUMEN_ROOT/build/wine}
LUMEN_DESKTOP=${LUMEN_DESKTOP:-1920x1080}

_wine_reg() { wine reg add "$@" /f >/dev/null 2>&1; }

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
  wine cmd /c exit 0 >/dev/null 2>&1 || true
  printf 'export WINEPREFIX=%q WINEARCH=win32 WINEDEBUG=-all DISPLAY=%q WINEDLLOVERRIDES=%q\n' \
    "$WINEPREFIX" "$DISPLAY" "$WINEDLLOVERRIDES" >"$LUMEN_WINE_DIR/env"
}

wine_env_stop() {
  wineserver -k >/dev/null 2>&1 || true
  if [ -n "${LUMEN_XVFB_PID:-}" ]; then
    kill "$LUMEN_XVFB_PID" 2>/dev/null || true
    wait "$LUMEN_XVFB_PID" 2>/dev/null || true
    unset LUMEN_XVFB_PID
  fi
}

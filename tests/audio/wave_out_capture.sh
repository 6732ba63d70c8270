#!/usr/bin/env bash
# CTest fixture of the recorded Windows tests (lumen_recorded_test): records what the private PulseAudio server of
# scripts/wine-env.sh hears (the monitor of its null sink) into FILE while the test runs under
# Wine. The test reads the growing file through Wine's Z: drive and finds what it played in it by
# content. The recorder lives on the Unix side because a Windows program under Wine can start a
# Unix one but has no handle to stop it by.
#   wave_out_capture.sh start FILE    start recording (no server: no FILE, the test skips)
#   wave_out_capture.sh stop FILE     end the recorder that start began
set -u
root=$(cd "$(dirname "$0")/../.." && pwd)
env_file=${LUMEN_WINE_DIR:-$root/build/wine}/env
# shellcheck disable=SC1090
[ -f "$env_file" ] && . "$env_file"
file=$2

case $1 in
  start)
    rm -f "$file" "$file.pid"
    if [ -z "${PULSE_SERVER:-}" ] || ! command -v parec >/dev/null 2>&1; then
      echo "no sound server (see scripts/wine-env.sh): the recording cases will skip"
      exit 0
    fi
    # Bounded, so that a recorder whose run was killed ends by itself.
    timeout 300 parec -d capture.monitor --format=s16le --rate=44100 --channels=2 \
      --latency-msec=10 >"$file" 2>/dev/null </dev/null &
    echo $! >"$file.pid"
    # The monitor of a running null sink delivers silence at once.
    for _ in $(seq 60); do
      [ -s "$file" ] && exit 0
      sleep 0.05
    done
    echo "the recorder did not start"
    exit 1
    ;;
  stop)
    pid=$(cat "$file.pid" 2>/dev/null) || exit 0
    kill "$pid" 2>/dev/null
    for _ in $(seq 40); do
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.05
    done
    rm -f "$file.pid"
    ;;
  *)
    echo "usage: $0 start|stop FILE" >&2
    exit 2
    ;;
esac

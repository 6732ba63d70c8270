#!/usr/bin/env bash
# Builds and runs the playback benchmark under Wine on a 1920x1080 desktop of its own, with the
# sample slideshow at that size made without and with its music (by the cross build's host tool):
#   bash scripts/bench-playback.sh [SECONDS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
cmake -S . -B build/win32 -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-i686.cmake >/dev/null
cmake --build build/win32 -j2 --target bench_playback host_tools
make_sample=build/win32/host-tools/tools/make_sample
mkdir -p build/bench-movies
$make_sample build/bench-movies/silent.swf 1920x1080 --silent
$make_sample build/bench-movies/music.swf 1920x1080
export LUMEN_WINE_DIR="$root/build/wine-bench" LUMEN_DESKTOP=1920x1080
# shellcheck source=scripts/wine-env.sh
source scripts/wine-env.sh
wine_env_start
trap wine_env_stop EXIT
wine build/win32/bench/bench_playback.exe "${1:-20}" "Z:$root/build/bench-movies/silent.swf" \
  "Z:$root/build/bench-movies/music.swf"

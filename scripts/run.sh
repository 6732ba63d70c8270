#!/usr/bin/env bash
# Sets everything up and runs the main job: builds the programs and the bundled sample slideshow
# and plays it in the player under Wine. On a desktop the player opens on it; with no display, a
# private Xvfb is started, the player runs a few seconds and a screenshot is saved.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

bash scripts/setup.sh
echo "Building (native tools and the Windows programs)..."
cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/native --target make_sample reelinfo appendmovie >/dev/null
cmake -S . -B build/win32 -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-i686.cmake >/dev/null
cmake --build build/win32 --target reelplayer >/dev/null

mkdir -p build/sample
build/native/tools/make_sample build/sample/Sample.swf
build/native/tools/appendmovie build/win32/player/reelplayer.exe build/sample/Sample.swf \
  build/sample/Sample.exe
printf 'Sample slideshow: build/sample/Sample.exe carrying\n'
build/native/tools/reelinfo build/sample/Sample.swf

# shellcheck source=scripts/wine-env.sh
. scripts/wine-env.sh
if ! wine_kernel_runs_i386; then
  echo "Cannot play it here: this machine's kernel cannot start 32-bit x86 processes, which Wine" \
    "runs Windows programs in. Copy build/sample/Sample.exe to Windows, or use a machine whose" \
    "kernel runs 32-bit programs." >&2
  exit 1
fi
if [ -n "${DISPLAY:-}" ] && [ -z "${CI:-}" ]; then
  wine_env_start --own-display
  echo "Playing; close the window to end."
  wine build/sample/Sample.exe || true
  wine_env_stop
  exit 0
fi

wine_env_start
trap wine_env_stop EXIT
wine build/sample/Sample.exe &
player=$!
seconds=${LUMEN_RUN_SECONDS:-6}
sleep "$seconds"  # let the slideshow play before taking the picture
shot=$root/build/sample/screenshot.png
import -display "$DISPLAY" -window root -crop "${LUMEN_DESKTOP}+0+0" +repage "$shot"
kill "$player" 2>/dev/null || true
wineserver -k >/dev/null 2>&1 || true
echo "Screenshot after ${seconds} s of playing: $shot"

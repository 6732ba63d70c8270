#!/usr/bin/env bash
# Sets everything up and runs the main job: builds the programs and the bundled sample slideshow
# and plays it in the player under Wine. With no display, a private Xvfb is started and a
# screenshot is saved after a few seconds of playing.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

bash scripts/setup.sh
cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/native --target make_sample reelinfo >/dev/null
mkdir -p build/sample
build/native/tools/make_sample build/sample/Sample.swf
echo "Sample slideshow: build/sample/Sample.swf"
printf 'FILE\tSIGNATURE\tVERSION\tFILELENGTH\tWIDTH\tHEIGHT\tFRAMERATE\tFRAMECOUNT\n'
build/native/tools/reelinfo build/sample/Sample.swf

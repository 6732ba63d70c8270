#!/usr/bin/env bash
# Installs everything the project needs on a fresh Debian 12, as root, without a terminal.
# Safe to run again: packages already present are skipped by apt.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive

packages=(
  build-essential cmake ninja-build pkg-config git
  clang libclang-rt-14-dev clang-format
  googletest libgtest-dev
  zlib1g-dev libstb-dev
  fonts-dejavu-core fonts-liberation2 fonts-noto-core
  lame libmp3lame-dev libmpg123-dev mpg123 ffmpeg pulseaudio pulseaudio-utils
  g++-mingw-w64-i686 mingw-w64-i686-dev libz-mingw-w64-dev
  wine wine32:i386 xvfb xauth x11-apps imagemagick
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: all packages present"
  exit 0
fi

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi
echo "setup: installing ${missing[*]}"
# A mirror caught mid-sync fails one index now and then; retry, then go on with the indexes
# that did arrive: the install below is what must succeed.
for attempt in 1 2 3; do
  $SUDO apt-get update -qq && break
  echo "setup: apt-get update failed (attempt $attempt)"
  sleep 5
done
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
echo "setup: done"

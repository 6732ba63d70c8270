#!/usr/bin/env bash
# Sets everything up and runs every test: native unit tests, the sanitizer build with short fuzz
# runs, and the Windows tests under Wine. Prints a summary; exits non-zero on any failure.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

bash scripts/setup.sh || exit 1

FUZZ_SECONDS=${FUZZ_SECONDS:-20}
results=()
failed=0
passed=0

skipped=0
SKIPPED=77  # a stage's exit code when this machine cannot run it at all
skip_reason=""

stage() {
  local name=$1
  shift
  echo "=== $name"
  local start=$SECONDS rc=0
  "$@" || rc=$?
  if [ "$rc" -eq 0 ]; then
    results+=("PASS  $name ($((SECONDS - start))s)")
    passed=$((passed + 1))
  elif [ "$rc" -eq "$SKIPPED" ]; then
    results+=("SKIP  $name ($((SECONDS - start))s): $skip_reason")
    skipped=$((skipped + 1))
  else
    results+=("FAIL  $name ($((SECONDS - start))s)")
    failed=$((failed + 1))
  fi
}

configure() {
  local dir=$1
  shift
  cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
}

native() {
  configure build/native -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLUMEN_BENCH=ON &&
    cmake --build build/native &&
    ctest --test-dir build/native --output-on-failure -j 2
}

sanitize() {
  CC=clang CXX=clang++ configure build/sanitize -DCMAKE_BUILD_TYPE=Debug -DLUMEN_SANITIZE=ON \
    -DLUMEN_FUZZ=ON &&
    cmake --build build/sanitize &&
    ctest --test-dir build/sanitize --output-on-failure -j 2
}

fuzz() { bash scripts/fuzz.sh build/sanitize "$FUZZ_SECONDS"; }

win32() {
  configure build/win32 -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-i686.cmake &&
    cmake --build build/win32 || return 1
  # shellcheck source=scripts/wine-env.sh
  . scripts/wine-env.sh
  if ! wine_kernel_runs_i386; then
    skip_reason="the programs built, but this machine's kernel cannot start 32-bit x86 processes, which Wine runs them in"
    echo "$skip_reason"
    return "$SKIPPED"
  fi
  wine_env_start || return 1
  ctest --test-dir build/win32 --output-on-failure --timeout 300
  local rc=$?
  wine_env_stop
  return $rc
}

stage "native build and unit tests" native
stage "sanitizer build and tests (ASan+UBSan)" sanitize
stage "fuzz targets (${FUZZ_SECONDS}s each)" fuzz
stage "win32 build and tests under Wine" win32

echo
echo "=== summary"
printf '%s\n' "${results[@]}"
echo "stages: $passed passed, $failed failed, $skipped skipped"
[ "$failed" -eq 0 ]

#!/usr/bin/env bash
# Runs every fuzz target of a sanitizer build for a short time, starting from seeds the project
# makes itself. Usage: scripts/fuzz.sh BUILD_DIR [SECONDS_PER_TARGET]
# The seed is fixed (FUZZ_SEED, default 1) so that a run is repeatable and a failure in CI can be
# reproduced; pass FUZZ_SEED=0 for a random seed when hunting for new faults.
set -euo pipefail
build=${1:?build folder}
seconds=${2:-20}
seed=${FUZZ_SEED:-1}
work="$build/fuzz-work"
mkdir -p "$work"
status=0
for target in "$build"/tests/fuzz/fuzz_*; do
  [ -x "$target" ] || continue
  name=$(basename "$target")
  corpus="$work/$name"
  mkdir -p "$corpus"
  "$build/tests/fuzz/make_fuzz_seeds" "$name" "$corpus"
  echo "fuzz: $name for ${seconds}s, seed $seed"
  if ! "$target" "$corpus" -seed="$seed" -max_total_time="$seconds" -max_len=65536 \
      -rss_limit_mb=2048 -timeout=10 -print_final_stats=1 >"$work/$name.log" 2>&1; then
    echo "fuzz: $name FAILED; see $work/$name.log"
    tail -40 "$work/$name.log"
    status=1
  else
    grep -E 'stat::number_of_executed_units' "$work/$name.log" | sed "s/^/fuzz: $name /" || true
  fi
done
exit $status

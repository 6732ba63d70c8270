#!/usr/bin/env bash
# Runs every fuzz target of a sanitizer build for a short time, starting from seeds the project
# makes itself. Usage: scripts/fuzz.sh BUILD_DIR [SECONDS_PER_TARGET]
# The seed is fixed (FUZZ_SEED, default 1) so that a run is repeatable and a failure in CI can be
# reproduced; pass FUZZ_SEED=0 for a random seed when hunting for new faults. FUZZ_JOBS targets
# (default: one per core) run side by side, each on one core as libFuzzer does by default.
set -euo pipefail
build=${1:?build folder}
seconds=${2:-20}
seed=${FUZZ_SEED:-1}
jobs=${FUZZ_JOBS:-$(nproc)}
work="$build/fuzz-work"
regressions="$(cd "$(dirname "$0")/.." && pwd)/tests/fuzz/regressions"
mkdir -p "$work"

# Runs one target; its report goes to the console only once it has ended, so that reports of
# targets running side by side do not interleave.
fuzz_target() {
  local target=$1 name corpus
  name=$(basename "$target")
  corpus="$work/$name"
  mkdir -p "$corpus"
  "$build/tests/fuzz/make_fuzz_seeds" "$name" "$corpus"
  # Inputs that once found a fault start every run too.
  if [ -d "$regressions/$name" ]; then cp "$regressions/$name"/* "$corpus"/; fi
  if ! "$target" "$corpus" -seed="$seed" -max_total_time="$seconds" -max_len=65536 \
      -rss_limit_mb=2048 -timeout=10 -print_final_stats=1 -artifact_prefix="$work/$name-" \
      >"$work/$name.log" 2>&1; then
    echo "fuzz: $name FAILED after ${seconds}s, seed $seed; see $work/$name.log and $work/$name-*"
    tail -40 "$work/$name.log"
    return 1
  fi
  grep -E 'stat::number_of_executed_units' "$work/$name.log" | sed "s/^/fuzz: $name (${seconds}s, seed $seed) /" || true
}

status=0
running=0
for target in "$build"/tests/fuzz/fuzz_*; do
  [ -x "$target" ] || continue
  if [ "$running" -ge "$jobs" ]; then
    wait -n || status=1
    running=$((running - 1))
  fi
  fuzz_target "$target" &
  running=$((running + 1))
done
while [ "$running" -gt 0 ]; do
  wait -n || status=1
  running=$((running - 1))
done
exit $status

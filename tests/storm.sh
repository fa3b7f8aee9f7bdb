#!/usr/bin/env bash
# The long storm: test_storm driven for thousands of random steps against the
# real window, in a private X server, once per seed.
#   bash tests/storm.sh [steps [seed...]]    default: 5000 steps, one new seed
# BUILD=build-asan storms the sanitizer build (made by tests/sanitize.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
steps=${1:-5000}
shift || true
seeds=("$@")
[ ${#seeds[@]} -gt 0 ] || seeds=("$(date +%s)")
build=${BUILD:-build}

cmake -S . -B "$build" -G Ninja
cmake --build "$build" -j2
if grep -q '^TEMBRIO_SANITIZE:BOOL=ON' "$build/CMakeCache.txt"; then
  source tests/sanitizers/options.sh
fi

failed=0
for seed in "${seeds[@]}"; do
  log="$build/storm-$seed.log"
  start=$SECONDS
  if TEMBRIO_STORM_SEED=$seed TEMBRIO_STORM_STEPS=$steps tests/x11-session.sh "$build/tests/test_storm" >"$log" 2>&1; then
    result=passed
  else
    result=FAILED
    failed=1
    grep -v '^storm [0-9]' "$log" | tail -20
  fi
  echo "storm seed $seed, $steps steps: $result in $((SECONDS - start)) s ($log)"
done
exit $failed

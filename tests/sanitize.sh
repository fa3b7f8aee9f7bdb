#!/usr/bin/env bash
# Builds the program and its tests with AddressSanitizer and
# UndefinedBehaviorSanitizer in build-asan, then runs the whole suite there.
# Any report fails its test. The leak suppressions cover only allocations
# inside system libraries, each with its evidence (tests/sanitizers/lsan.supp).
#   bash tests/sanitize.sh [ctest arguments]
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTEMBRIO_SANITIZE=ON
cmake --build build-asan -j2
source tests/sanitizers/options.sh
cd build-asan
# The benchmark times programs, which means nothing in this build.
ctest --output-on-failure -E bench_smoke "$@"

#!/usr/bin/env bash
# The Windows program, cross-built on Debian:
#   bash resources/windows/build.sh windows       the folder, zip and installer
#   bash resources/windows/build.sh windows-test  the same, then the test under Wine
# (bash build.sh windows|windows-test runs this, once it has installed
# packages-windows.txt). The libraries come from
# resources/windows-sdk.sh, built once and kept in its cache; the program is
# built in build-windows/.
set -euo pipefail
cd "$(dirname "$0")/../.."
t0=$(date +%s)
bash resources/windows-sdk.sh
prefix=$(readlink -f "${TEMBRIO_MINGW_CACHE:-/var/cache/tembrio-mingw}/latest")
t1=$(date +%s)
# A tree configured against an earlier prefix starts afresh: that one is gone.
if ! grep -qsxF "CMAKE_TOOLCHAIN_FILE:FILEPATH=$prefix/mingw64.cmake" build-windows/CMakeCache.txt; then
  rm -rf build-windows
fi
cmake -S . -B build-windows -G Ninja -DCMAKE_TOOLCHAIN_FILE="$prefix/mingw64.cmake" -DCMAKE_BUILD_TYPE=Release
cmake --build build-windows -j"$(nproc)"
bash resources/windows/package.sh build-windows "$prefix"
t2=$(date +%s)
echo "windows: libraries $((t1 - t0))s, program and packages $((t2 - t1))s"
if [ "${1:-windows}" = windows-test ]; then
  bash tests/x11-session.sh bash tests/windows/test_wine.sh build-windows
  echo "windows: test under Wine $(( $(date +%s) - t2 ))s"
fi

#!/usr/bin/env bash
# Set-up, build, and then either start the player or run every test.
#   bash build.sh run    installs what is missing, builds, starts Tembrio
#   bash build.sh test   installs what is missing, builds, runs all tests
#   bash build.sh deb    installs what is missing, builds, makes build/tembrio_*.deb
#   bash build.sh bench  installs what is missing, builds, runs the benchmark
#   bash build.sh windows-sdk  cross-builds the libraries for Windows into
#                        /var/cache/tembrio-mingw (see resources/windows-sdk.sh)
#   bash build.sh windows  the same, then the Windows program: its folder, zip
#                        and installer in build-windows/
#   bash build.sh windows-test  the same, then its test under Wine
set -euo pipefail
cd "$(dirname "$0")"

# Installs what a package list names and the system lacks. A name also
# counts as present when an installed package provides it (Debian 13's
# qt6-base-dev provides libqt6opengl6-dev).
install_missing() {
  local packages missing=() installed p sudo=
  read -r -a packages <<< "$(grep -v '^#' "$1" | tr '\n' ' ')"
  installed=" $(dpkg-query -W -f='${db:Status-Abbrev} ${Package} ${Provides}\n' |
    awk '$1 == "ii"' | sed 's/([^)]*)//g; s/,/ /g; s/^ii//' | tr -s ' \n' '  ') "
  for p in "${packages[@]}"; do
    [[ $installed == *" $p "* ]] || missing+=("$p")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    $sudo apt-get update
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
  fi
}

# The Windows side needs neither the native packages nor the native build.
case "${1:-run}" in
  windows-sdk) exec bash resources/windows-sdk.sh ;;
  windows|windows-test) install_missing packages-windows.txt; exec bash resources/windows/build.sh "$1" ;;
esac

install_missing packages.txt

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j2

case "${1:-run}" in
  run) exec ./build/tembrio ;;
  test) cd build && exec ctest --output-on-failure ;;
  deb) exec cmake --build build --target package ;;
  bench) exec bash bench/run.sh build ;;
  *) echo "usage: bash build.sh run|test|deb|bench|windows-sdk|windows|windows-test" >&2; exit 2 ;;
esac

#!/usr/bin/env bash
# Sets up a Debian 12 machine for Zelvano Orbisca 2024, builds it, and runs the main job or the tests.
#
#   tools/setup.sh            install what is missing, configure and build (default preset)
#   tools/setup.sh run [ARGS] ... then run the main job (the report on drive C:, or ARGS)
#   tools/setup.sh test       ... then run every test, in the default and the sanitizer build
#
# Idempotent: packages are installed only when missing, builds are incremental.
set -euo pipefail
cd "$(dirname "$0")/.."

PACKAGES=(
  build-essential cmake ninja-build pkg-config git
  qt6-base-dev libgl-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libsqlite3-dev zlib1g-dev
  # a private session bus and its command-line clients: tests of reveal, peers in bench_trash
  dbus-daemon dbus-bin libglib2.0-bin
  fonts-wine fonts-dejavu-core
  xvfb xdotool imagemagick x11-utils
)

install_missing() {
  local missing=()
  for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "setup: installing ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

build() {
  local preset=$1
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$(nproc)"
}

mode=${1:-build}
[ $# -gt 0 ] && shift

install_missing
build default

case "$mode" in
  build) ;;
  run)
    if [ -x build/bin/orbisca-report ]; then
      if [ $# -gt 0 ]; then exec build/bin/orbisca-report "$@"; fi
      exec build/bin/orbisca-report --top 10 C:
    fi
    echo "setup: the build is ready, but the main job (the report command orbisca-report) is not built yet."
    ;;
  test)
    export QT_QPA_PLATFORM=offscreen
    ctest --preset default -j "$(nproc)"
    build asan
    ctest --preset asan -j "$(nproc)"
    ;;
  *)
    echo "usage: tools/setup.sh [build|run [ARGS]|test]" >&2
    exit 2
    ;;
esac

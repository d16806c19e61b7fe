#!/usr/bin/env bash
# Sets up a Debian 12 machine for Zelvano Orbisca 2024, builds it, and runs the main job or the tests.
#
#   tools/setup.sh            install what is missing, configure and build (default preset)
#   tools/setup.sh install    only install what is missing
#   tools/setup.sh run [ARGS] ... then start the desktop program (ARGS are its arguments) when a
#                             display is available; without one, run the report on drive C:
#                             (or with ARGS) and say so
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
  # saved analyses: the compressed blocks of our format
  libzstd-dev
  # a private session bus and its command-line clients: tests of reveal, peers in bench_trash
  dbus-daemon dbus-bin libglib2.0-bin
  # the peers the benchmarks measure beside du
  gdu ncdu
  fonts-wine fonts-dejavu-core
  xvfb xdotool imagemagick x11-utils openbox
  appstream pkexec
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

# The desktop program reads whole drives and needs administrator rights. As root it starts at
# once; otherwise sudo (or pkexec) starts it as root with this display, and the program knows
# the desktop user from SUDO_UID (or PKEXEC_UID). The desktop session itself stays the user's.
start_desktop_program() {
  local program
  program="$(pwd)/build/bin/orbisca"
  echo "setup: starting the desktop program $program"
  if [ "$(id -u)" -eq 0 ]; then exec "$program" "$@"; fi
  local xauth="${XAUTHORITY:-$HOME/.Xauthority}"
  if command -v sudo >/dev/null 2>&1; then
    exec sudo env DISPLAY="$DISPLAY" XAUTHORITY="$xauth" "$program" "$@"
  fi
  exec pkexec env DISPLAY="$DISPLAY" XAUTHORITY="$xauth" "$program" "$@"
}

mode=${1:-build}
[ $# -gt 0 ] && shift

install_missing
[ "$mode" = install ] && exit 0
build default

case "$mode" in
  build) ;;
  run)
    if [ -n "${DISPLAY:-}" ] && [ -x build/bin/orbisca ]; then
      start_desktop_program "$@"
    fi
    if [ -n "${DISPLAY:-}" ]; then
      echo "setup: the desktop program is not built yet; running the report command instead."
    else
      echo "setup: no display (DISPLAY is not set), so the report command runs instead of the desktop program."
    fi
    if [ $# -gt 0 ]; then exec build/bin/orbisca-report "$@"; fi
    exec build/bin/orbisca-report --top 10 C:
    ;;
  test)
    export QT_QPA_PLATFORM=offscreen
    ctest --preset default -j "$(nproc)"
    build asan
    ctest --preset asan -j "$(nproc)"
    ;;
  *)
    echo "usage: tools/setup.sh [build|install|run [ARGS]|test]" >&2
    exit 2
    ;;
esac

#!/usr/bin/env bash
# Regenerates the skins installed with the program (assets/skins/...) from the drawing code in
# tools/skingen. The generated files are kept in the repository; run this after changing it.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S tools/skingen -B build-skingen -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build-skingen -j2
QT_QPA_PLATFORM=offscreen build-skingen/skingen assets/skins

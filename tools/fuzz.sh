#!/usr/bin/env bash
# Builds the libFuzzer targets with clang, outside the normal build, and runs each for a bounded
# time on one core: the skin layer's readers (fuzz_png, fuzz_skin_ini) and the readers of saved
# analyses (fuzz_saved: our format; fuzz_ncdu_json: ncdu and gdu exports).
#
#   tools/fuzz.sh [SECONDS] [TARGET...]   default: 600 seconds each, every target
#
# Seeds come from tests/fuzz/corpus/<png|skin_ini|saved|ncdu_json> (kept in the repository;
# tests/fuzz/make_seeds.py and tests/fuzz/make_saved_seeds.sh wrote them). New inputs go to
# build-fuzz/corpus/<target>; FUZZ_MERGE=1 merges the interesting ones back into the repository
# corpus. Findings land in build-fuzz/artifacts/<target>/.
set -euo pipefail
cd "$(dirname "$0")/.."

PACKAGES=(clang libclang-rt-14-dev qt6-base-dev zlib1g-dev libzstd-dev)
missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

seconds=${1:-600}
[ $# -gt 0 ] && shift
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(fuzz_png fuzz_skin_ini fuzz_saved fuzz_ncdu_json)

out=build-fuzz
mkdir -p "$out"
CXX=${CXX:-clang++}
FLAGS=(-std=c++20 -O1 -g -fPIC -I. -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined)
QT_FLAGS=$(pkg-config --cflags --libs Qt6Gui Qt6Core)

build_target() {
  case "$1" in
    fuzz_png)
      "$CXX" "${FLAGS[@]}" tests/fuzz/fuzz_png.cpp skin/PngDecoder.cpp -lz -o "$out/fuzz_png" ;;
    fuzz_skin_ini)
      # shellcheck disable=SC2086
      "$CXX" "${FLAGS[@]}" tests/fuzz/fuzz_skin_ini.cpp skin/IniFile.cpp skin/SkinColors.cpp \
        skin/SkinFiles.cpp platform/Paths.cpp $QT_FLAGS -o "$out/fuzz_skin_ini" ;;
    fuzz_saved | fuzz_ncdu_json)
      # shellcheck disable=SC2086
      "$CXX" "${FLAGS[@]}" -DORBISCA_PROGRAM_VERSION='"fuzz"' "tests/fuzz/$1.cpp" \
        saved/SavedFormat.cpp saved/NcduJson.cpp saved/NativeNames.cpp analysis/AnalysisTree.cpp \
        analysis/NodeData.cpp analysis/ListPresentation.cpp platform/DriveTable.cpp \
        platform/FileSystemIdentity.cpp platform/Paths.cpp $QT_FLAGS -lzstd -lz -o "$out/$1" ;;
    *) echo "fuzz: unknown target $1" >&2; exit 2 ;;
  esac
}

for t in "${targets[@]}"; do
  echo "fuzz: building $t"
  build_target "$t"
done

status=0
for t in "${targets[@]}"; do
  mkdir -p "$out/corpus/$t" "$out/artifacts/$t"
  echo "fuzz: running $t for $seconds s"
  if ! "$out/$t" -max_total_time="$seconds" -print_final_stats=1 -rss_limit_mb=2048 \
      -max_len=65536 -artifact_prefix="$out/artifacts/$t/" \
      "$out/corpus/$t" "tests/fuzz/corpus/${t#fuzz_}" 2>"$out/$t.log"; then
    status=1
  fi
  grep -E "^(stat::|#[0-9]+[[:space:]]+DONE)|ERROR|SUMMARY" "$out/$t.log" || true
  if [ "${FUZZ_MERGE:-0}" = 1 ]; then
    "$out/$t" -merge=1 "tests/fuzz/corpus/${t#fuzz_}" "$out/corpus/$t" 2>>"$out/$t.log" || true
  fi
done
exit $status

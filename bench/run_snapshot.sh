#!/usr/bin/env bash
# Side-by-side benchmark of the snapshot service and the complete analysis against du, gdu and
# ncdu, in one run, on this machine's drive C: (/) and on generated trees of growing size.
#
#   bench/run_snapshot.sh            all of it
#   RUNS=7 bench/run_snapshot.sh     more rounds per figure (median is reported)
#   SCALE="100000 1000000"           sizes of the generated trees (default)
#   SCALE_DIR=/dev/shm/orbisca-bench where they are generated (removed afterwards)
#
# The peers gdu and ncdu are measured when they are installed and named as missing otherwise
# (nothing is installed here). The cold-cache round needs the right to write
# /proc/sys/vm/drop_caches and is skipped with a note otherwise.
set -euo pipefail
cd "$(dirname "$0")/.."

RUNS=${RUNS:-5}
SCALE=${SCALE:-"100000 1000000"}
SCALE_DIR=${SCALE_DIR:-/dev/shm/orbisca-bench}

cmake --preset default >/dev/null
cmake --build --preset default -j2 --target undelete orbisca-report bench_snapshot bench_gentree >/dev/null

SNAP=build/bench/bench_snapshot
GEN=build/bench/bench_gentree
REPORT=build/bin/orbisca-report

# Wall seconds of one command, output discarded.
wall() {
  local t0 t1
  t0=$(date +%s%N)
  "$@" >/dev/null 2>&1 || true
  t1=$(date +%s%N)
  awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.3f", (b - a) / 1e9 }'
}
# Processor seconds (user + system) of one command: on a shared machine the fairer comparison.
cpu() {
  local f
  f=$(mktemp)
  /usr/bin/time -f "%U %S" -o "$f" "$@" >/dev/null 2>&1 || true
  awk '{ printf "%.3f", $1 + $2 }' "$f"
  rm -f "$f"
}
median() { tr ' ' '\n' | sort -g | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else printf "%.3f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

can_drop() { [ -w /proc/sys/vm/drop_caches ] && sync && echo 3 >/proc/sys/vm/drop_caches 2>/dev/null; }

declare -A CMD=(
  [du]="du -sxb /"
  [gdu]="gdu -n -x -p /"
  [ncdu]="ncdu -x -o /dev/null /"
  [snapshot]="$SNAP C:"
  [report]="$REPORT --top 0 C:"
)
TOOLS="du"
for p in gdu ncdu; do
  if command -v "$p" >/dev/null; then TOOLS+=" $p"; else echo "($p is not installed: not measured)"; fi
done
TOOLS+=" snapshot report"

echo "== drive C: (/): warm wall time median of $RUNS, processor time median of 3; $(date -u '+%Y-%m-%d %H:%M UTC')"
echo "   $(df --output=iused / | tail -1 | tr -d ' ') inodes in use, $(nproc) processors, load $(cut -d' ' -f1-3 /proc/loadavg)"
for t in $TOOLS; do ${CMD[$t]} >/dev/null 2>&1 || true; done # warm the cache
declare -A WARM CPU
for t in $TOOLS; do WARM[$t]=""; CPU[$t]=""; done
for ((r = 0; r < RUNS; r++)); do
  for t in $TOOLS; do WARM[$t]+="$(wall ${CMD[$t]}) "; done
done
for t in $TOOLS; do CPU[$t]="$(cpu ${CMD[$t]}) $(cpu ${CMD[$t]}) $(cpu ${CMD[$t]})"; done
declare -A COLD
cold=0
if can_drop; then
  cold=1
  for t in $TOOLS; do
    [ "$t" = ncdu ] || [ "$t" = report ] && continue
    COLD[$t]=""
    for ((r = 0; r < 3; r++)); do can_drop; COLD[$t]+="$(wall ${CMD[$t]}) "; done
  done
fi

printf "\n%-10s %10s %8s %10s %8s %10s %8s\n" "tool" "warm s" "/ du" "cold s" "/ du" "cpu s" "/ du"
du_w=$(echo "${WARM[du]}" | median)
du_c=""; [ $cold -eq 1 ] && du_c=$(echo "${COLD[du]}" | median)
du_p=$(echo "${CPU[du]}" | median)
for t in $TOOLS; do
  w=$(echo "${WARM[$t]}" | median)
  c="-"; cr="-"
  if [ $cold -eq 1 ] && [ -n "${COLD[$t]:-}" ]; then c=$(echo "${COLD[$t]}" | median); cr=$(ratio "$c" "$du_c"); fi
  p=$(echo "${CPU[$t]}" | median)
  printf "%-10s %10s %8s %10s %8s %10s %8s\n" "$t" "$w" "$(ratio "$w" "$du_w")" "$c" "$cr" "$p" "$(ratio "$p" "$du_p")"
done
[ $cold -eq 0 ] && echo "(cold cache skipped: /proc/sys/vm/drop_caches is not writable here)"

echo "   load at the end $(cut -d' ' -f1-3 /proc/loadavg)"

echo
echo "memory per entry on C: (bytes; peak during the run, kept once the snapshot is freed; records in the arena):"
$SNAP --mode snapshot C: | awk '{ printf "  snapshot: %s entries, peak %s B/entry, records %s B/entry, %s workers\n", $3, $4, $6, $7 }'
$SNAP --mode analysis C: | awk '{ printf "  analysis: %s entries, peak %s B/entry, kept %s B/entry\n", $3, $4, $5 }'
peak_kb=$( { /usr/bin/time -f "%M" $REPORT --top 0 C: >/dev/null; } 2>&1 | tail -1)
echo "  orbisca-report C: peak RSS ${peak_kb} KiB (whole process, libraries included)"

echo
echo "== generated trees in $SCALE_DIR (warm cache, median of $RUNS)"
printf "%-10s %8s %10s %10s %10s %12s %12s %12s\n" "entries" "du s" "snapshot s" "/ du" "analysis s" "peak B/ent" "kept B/ent" "records B/e"
for n in $SCALE; do
  rm -rf "$SCALE_DIR"
  $GEN "$SCALE_DIR" "$n" >/dev/null
  du -sxb "$SCALE_DIR" >/dev/null
  d=""; s=""; a=""; mem=""; rec=""
  for ((r = 0; r < RUNS; r++)); do
    d+="$(wall du -sxb "$SCALE_DIR") "
    sline=$($SNAP --mode snapshot "$SCALE_DIR")
    s+="$(echo "$sline" | awk '{ print $2 }') "
    rec=$(echo "$sline" | awk '{ print $6 }')
    line=$($SNAP --mode analysis "$SCALE_DIR")
    a+="$(echo "$line" | awk '{ print $2 }') "
    mem="$line"
  done
  dm=$(echo "$d" | median); sm=$(echo "$s" | median); am=$(echo "$a" | median)
  printf "%-10s %8s %10s %10s %10s %12s %12s %12s\n" "$n" "$dm" "$sm" "$(ratio "$sm" "$dm")" "$am" \
    "$(echo "$mem" | awk '{ print $4 }')" "$(echo "$mem" | awk '{ print $5 }')" "$rec"
done
rm -rf "$SCALE_DIR"

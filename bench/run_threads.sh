#!/usr/bin/env bash
# How many worker threads the snapshot service needs: the snapshot of drive C: (/) with 4, 8, 16
# and 32 workers (ORBISCA_SERVICE_THREADS) and with the service's own choice, beside du, warm and
# cold, interleaved in one run.
#
#   bench/run_threads.sh                 warm median of 5, cold median of 3
#   RUNS=7 COLD_RUNS=5 bench/run_threads.sh
#   THREADS="4 16" TARGET=/some/folder bench/run_threads.sh
#
# Cold rounds drop the page, dentry and inode caches before every single run (root only; skipped
# with a note otherwise). Each line also gives the processor time (user + system) of the run.
set -euo pipefail
cd "$(dirname "$0")/.."

RUNS=${RUNS:-5}
COLD_RUNS=${COLD_RUNS:-3}
THREADS=${THREADS:-"4 8 16 32"}
TARGET=${TARGET:-C:}
du_target=$TARGET
[ "$TARGET" = "C:" ] && du_target=/

cmake --preset default >/dev/null
cmake --build --preset default -j2 --target undelete bench_snapshot >/dev/null
SNAP=build/bench/bench_snapshot

# "wall cpu" seconds of one command, output discarded.
measure() {
  local f t0 t1
  f=$(mktemp)
  t0=$(date +%s%N)
  /usr/bin/time -f "%U %S" -o "$f" "$@" >/dev/null 2>&1 || true
  t1=$(date +%s%N)
  awk -v a="$t0" -v b="$t1" '{ printf "%.3f %.3f", (b - a) / 1e9, $1 + $2 }' "$f"
  rm -f "$f"
}
median() { tr ' ' '\n' | grep . | sort -g | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else printf "%.3f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
can_drop() { [ -w /proc/sys/vm/drop_caches ] && sync && echo 3 >/proc/sys/vm/drop_caches 2>/dev/null; }

declare -A CMD=([du]="du -sxb $du_target")
NAMES="du"
for n in $THREADS; do CMD[t$n]="env ORBISCA_SERVICE_THREADS=$n $SNAP $TARGET"; NAMES+=" t$n"; done
CMD[default]="env -u ORBISCA_SERVICE_THREADS $SNAP $TARGET"
NAMES+=" default"

echo "== $TARGET: $(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) processors, load $(cut -d' ' -f1-3 /proc/loadavg)"
declare -A WW WC CW CC
for t in $NAMES; do WW[$t]=""; WC[$t]=""; CW[$t]=""; CC[$t]=""; done
for t in $NAMES; do ${CMD[$t]} >/dev/null 2>&1 || true; done # warm the cache
for ((r = 0; r < RUNS; r++)); do
  for t in $NAMES; do
    read -r w c <<<"$(measure ${CMD[$t]})"
    WW[$t]+="$w "; WC[$t]+="$c "
  done
done
cold=0
if can_drop; then
  cold=1
  for ((r = 0; r < COLD_RUNS; r++)); do
    for t in $NAMES; do
      can_drop
      read -r w c <<<"$(measure ${CMD[$t]})"
      CW[$t]+="$w "; CC[$t]+="$c "
    done
  done
fi
echo "   load at the end $(cut -d' ' -f1-3 /proc/loadavg)"

printf "\n%-9s %8s %6s %8s %8s %6s %8s\n" "" "warm s" "/ du" "cpu s" "cold s" "/ du" "cpu s"
dw=$(echo "${WW[du]}" | median)
dc=1; [ $cold -eq 1 ] && dc=$(echo "${CW[du]}" | median)
for t in $NAMES; do
  w=$(echo "${WW[$t]}" | median); wc=$(echo "${WC[$t]}" | median)
  if [ $cold -eq 1 ]; then
    c=$(echo "${CW[$t]}" | median); cc=$(echo "${CC[$t]}" | median); cr=$(ratio "$c" "$dc")
  else
    c="-"; cc="-"; cr="-"
  fi
  printf "%-9s %8s %6s %8s %8s %6s %8s\n" "$t" "$w" "$(ratio "$w" "$dw")" "$wc" "$c" "$cr" "$cc"
done
[ $cold -eq 0 ] && echo "(cold cache skipped: /proc/sys/vm/drop_caches is not writable here)"
echo
echo "every run (wall s):"
for t in $NAMES; do echo "  $t warm: ${WW[$t]}  cold: ${CW[$t]}"; done

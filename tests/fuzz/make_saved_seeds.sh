#!/usr/bin/env bash
# Writes the seed corpus of fuzz_saved and fuzz_ncdu_json: small trees of awkward names saved by
# orbisca-report in our format and as ncdu JSON, exports of the same trees by ncdu and gdu where
# they are installed, and a few hand-written exports of the forms ncdu and gdu write. Run once
# after a build; the seeds are kept in the repository.
set -euo pipefail
cd "$(dirname "$0")/../.."
report=build/bin/orbisca-report
saved=tests/fuzz/corpus/saved
json=tests/fuzz/corpus/ncdu_json
mkdir -p "$saved" "$json"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

make_tree() { # folder, variant
  local d=$1
  mkdir -p "$d/sub/deeper" "$d/empty"
  printf 'x%.0s' $(seq 1 "$((100 * $2))") > "$d/sub/file.txt"
  : > "$d/$(printf 'bad\xff')"
  : > "$d/trailing "
  : > "$d/$(printf 'tab\tnl\nq"\\')"
  printf 'abc' > "$d/sub/deeper/caf$(printf '\xc3\xa9')"
  ln -s sub "$d/link-to-folder"
  ln -s sub/file.txt "$d/link-to-file"
  ln "$d/sub/file.txt" "$d/hardlink"
  if [ "$2" -gt 1 ]; then
    for i in $(seq 1 $((20 * $2))); do : > "$d/sub/n$i"; done
  fi
}

for v in 1 2 3; do
  t="$work/tree$v"
  make_tree "$t" "$v"
  "$report" --top 0 --save "$saved/tree$v.orbisca" --ncdu-json "$json/ours$v.json" "$t" >/dev/null
  if command -v ncdu >/dev/null; then ncdu -x -o "$json/ncdu$v.json" "$t"; fi
  if command -v gdu >/dev/null; then gdu -n -p -x -o "$json/gdu$v.json" "$t" >/dev/null; fi
done
# The records of each saved tree's block, unpacked: fuzz_saved also reads an input as the
# records of a block behind a valid header.
for f in "$saved"/tree*.orbisca; do
  python3 - "$f" "$work/block.zst" <<'PY'
import struct, sys
data = open(sys.argv[1], 'rb').read()
fields = struct.unpack_from('<I', data, 12)[0]
at = 16 + fields + 4
raw, stored = struct.unpack_from('<II', data, at)
open(sys.argv[2], 'wb').write(data[at + 8:at + 8 + stored])
PY
  zstd -q -d -f "$work/block.zst" -o "${f%.orbisca}.records"
done
printf '%s' '[1,2,{"progname":"gdu","progver":"v5.31.0"},[{"name":"/r","asize":4196,"dsize":8192,"items":3},[{"name":"d","asize":4196,"dsize":8192,"items":2},{"name":"f","asize":100,"dsize":4096,"mtime":1700000000}]]]' > "$json/gdu-cumulative.json"
printf '%s' '[1,1,{"progname":"ncdu","progver":"1.15","timestamp":1600000000},[{"name":"/r","dev":5,"read_error":true},[{"name":"proc","dev":21,"excluded":"othfs"}],{"name":"x.tmp","excluded":"pattern"},{"name":"h","asize":7,"ino":9,"hlnkc":true,"nlink":2,"uid":0,"gid":0,"mode":33188},{"name":"esc\u00e9\ud83d\ude00\udcff\n","asize":1,"notreg":true}]]' > "$json/ncdu-fields.json"
ls -la "$saved" "$json"

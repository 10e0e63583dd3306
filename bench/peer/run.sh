#!/bin/sh
# Triangles per second of a plain procedural tree generator (installed here
# from npm, for this comparison only) against syvimport --stats on a
# generated tree of about the same size. Not part of make test.
#   bench/peer/run.sh [build/bin] [rounds, default 3]
# The machine is shared and its speed drifts: each round times the peer and
# then ours back to back, and the ratio quoted is the median of the rounds'.
set -e
here=$(cd "$(dirname "$0")" && pwd)
bin=$(cd "${1:-build/bin}" && pwd)
rounds=${2:-3}
cd "$here"
[ -d node_modules/@dgreenheck/ez-tree ] || npm ci --no-audit --no-fund >/dev/null
mkdir -p "$here/../../out/measure"
plant="$here/../../out/measure/peer_tree.syv"
[ -f "$plant" ] || python3 "$here/../gen_plant.py" --kind tree --size 2 --seed 5 -o "$plant"
results=""
i=0
while [ "$i" -lt "$rounds" ]; do
  peer=$(node eztree.mjs 23)
  ours=$(python3 - "$bin/syvimport" "$plant" <<'PY'
import json, statistics, subprocess, sys, time
walls = []
for _ in range(5):
    start = time.perf_counter()
    out = subprocess.run([sys.argv[1], sys.argv[2], "--stats", "--quiet"], check=True,
                         capture_output=True).stdout
    walls.append(time.perf_counter() - start)
print(json.dumps({"triangles": json.loads(out)["triangles"], "seconds": statistics.median(walls)}))
PY
)
  results="$results$peer $ours
"
  i=$((i + 1))
done
printf '%s' "$results" | python3 "$here/ratio.py"

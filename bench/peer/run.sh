#!/bin/sh
# Triangles per second of a plain procedural tree generator (installed here
# from npm, for this comparison only) against syvimport --stats on a
# generated tree of about the same size. Not part of make test.
#   bench/peer/run.sh [build/bin]
set -e
here=$(cd "$(dirname "$0")" && pwd)
bin=$(cd "${1:-build/bin}" && pwd)
cd "$here"
[ -d node_modules/@dgreenheck/ez-tree ] || npm ci --no-audit --no-fund >/dev/null
peer=$(node eztree.mjs 23)
mkdir -p "$here/../../out/measure"
plant="$here/../../out/measure/peer_tree.syv"
[ -f "$plant" ] || python3 "$here/../gen_plant.py" --kind tree --size 2 --seed 5 -o "$plant"
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
python3 - "$peer" "$ours" <<'PY'
import json, os, sys
p, o = json.loads(sys.argv[1]), json.loads(sys.argv[2])
rp, ro = p["triangles"] / p["seconds"], o["triangles"] / o["seconds"]
print(f"load {os.getloadavg()[0]:.2f}")
print(f"peer generator: {p['triangles']} triangles in {p['seconds']:.3f} s (geometry only): {rp / 1e6:.2f} M/s")
print(f"syvimport:      {o['triangles']} triangles in {o['seconds']:.3f} s (whole process): {ro / 1e6:.2f} M/s")
print(f"ratio: {ro / rp:.1f}")
PY

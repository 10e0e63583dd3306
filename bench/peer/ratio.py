"""Reads lines of "PEER_JSON OURS_JSON", one per round; prints each round's
rates and the medians, the ratio being the median of the rounds' ratios."""
import json
import os
import statistics
import sys

rows = []
for line in sys.stdin:
    if not line.strip():
        continue
    peer, ours = line.strip().split("} {")
    p, o = json.loads(peer + "}"), json.loads("{" + ours)
    rp, ro = p["triangles"] / p["seconds"], o["triangles"] / o["seconds"]
    rows.append((rp, ro, ro / rp))
    print(f"round {len(rows)}: peer {p['triangles']} triangles in {p['seconds']:.3f} s "
          f"(geometry only), {rp / 1e6:.2f} M/s; syvimport {o['triangles']} in "
          f"{o['seconds']:.3f} s (whole process), {ro / 1e6:.2f} M/s; ratio {ro / rp:.1f}")
print(f"load {os.getloadavg()[0]:.2f}")
print(f"peer generator: {statistics.median(r[0] for r in rows) / 1e6:.2f} M/s (median of rounds)")
print(f"syvimport:      {statistics.median(r[1] for r in rows) / 1e6:.2f} M/s (median of rounds)")
print(f"ratio: {statistics.median(r[2] for r in rows):.1f} (median of the rounds' ratios)")

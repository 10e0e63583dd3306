#!/usr/bin/env python3
"""Keeps every output of every example and test plant as recorded.

Converts each plant to every format (and --stats) with the built syvimport and
compares the statistics and a SHA-256 of each written file with outputs.json.
  outputs.py --bin build/bin --work build/golden            check
  outputs.py --bin build/bin --work build/golden --record   rewrite the record
Plants are copied into the work folder first, so relative texture paths in the
outputs do not depend on where the tree is checked out.
"""
import argparse
import concurrent.futures
import hashlib
import json
import os
import pathlib
import shutil
import subprocess
import sys

HERE = pathlib.Path(__file__).resolve().parent
SOURCE = HERE.parent.parent
RECORD = HERE / "outputs.json"
FORMATS = ["glb", "gltf", "obj", "fbx"]
PLANT_DIRS = {"examples": SOURCE / "examples", "data": SOURCE / "tests" / "data"}


def convert(program, work, rel):
    plant = work / "in" / rel
    env = dict(os.environ, SOURCE_DATE_EPOCH="0")
    r = subprocess.run([program, str(plant), "--stats", "--quiet"], capture_output=True, env=env)
    entry = {"status": r.returncode}
    if r.returncode == 0:
        stats = json.loads(r.stdout)
        stats.pop("seconds", None)
        entry["stats"] = json.loads(json.dumps(stats, sort_keys=True).replace(str(work), "<work>"))
    out = work / "out" / rel.replace("/", "_")
    shutil.rmtree(out, ignore_errors=True)
    out.mkdir(parents=True)
    for fmt in FORMATS:
        r = subprocess.run([program, str(plant), "-o", str(out / f"{plant.stem}.{fmt}"), "--quiet"],
                           capture_output=True, env=env)
        files = {f.name: hashlib.sha256(f.read_bytes()).hexdigest() for f in sorted(out.iterdir())}
        for f in out.iterdir():
            f.unlink()
        entry[fmt] = {"status": r.returncode, "files": files}
    return rel, entry


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--bin", required=True)
    ap.add_argument("--work", required=True)
    ap.add_argument("--record", action="store_true")
    ap.add_argument("-j", type=int, default=os.cpu_count() or 1)
    a = ap.parse_args()
    program = str(pathlib.Path(a.bin).resolve() / "syvimport")
    work = pathlib.Path(a.work).resolve()
    shutil.rmtree(work, ignore_errors=True)
    plants = []
    for name, folder in PLANT_DIRS.items():
        shutil.copytree(folder, work / "in" / name)
        plants += [f"{name}/{p.name}" for p in sorted(folder.glob("*.syv"))]
    with concurrent.futures.ThreadPoolExecutor(a.j) as pool:
        got = dict(pool.map(lambda rel: convert(program, work, rel), plants))
    if a.record:
        RECORD.write_text(json.dumps(got, indent=1, sort_keys=True) + "\n")
        print(f"recorded {len(got)} plants in {RECORD}")
        return 0
    want = json.loads(RECORD.read_text())
    bad = 0
    for rel in sorted(set(want) | set(got)):
        if want.get(rel) != got.get(rel):
            bad += 1
            print(f"CHANGED: {rel}\n  recorded: {json.dumps(want.get(rel), sort_keys=True)[:2000]}"
                  f"\n  now:      {json.dumps(got.get(rel), sort_keys=True)[:2000]}")
    print(f"{len(got) - bad} passed, {bad} failed")
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main())

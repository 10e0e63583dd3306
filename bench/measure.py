#!/usr/bin/env python3
"""Whole-process speed and memory of syvimport on generated plants.

  measure.py --bin build/bin [--plants tree1,tree5,dense1] [--formats stats,glb] [-n 3]

Per plant and format: the median wall time of n runs, triangles per second
(of wall time, and of CPU time, which a busy machine disturbs less),
peak resident memory, the host mesh's bytes, and the import's stages (from
SYV_STAGE_TIMES, which the plug-in reads) with the converter's export time.
Plants are generated into --work (default out/measure) once and kept.
"""
import argparse
import json
import os
import pathlib
import statistics
import subprocess
import sys
import time

HERE = pathlib.Path(__file__).resolve().parent
PLANTS = {  # name: (kind, size, seed)
    "tree1": ("tree", 1, 1), "tree5": ("tree", 5, 2), "tree20": ("tree", 20, 3),
    "dense1": ("dense", 1, 4),
}
# Host mesh bytes per element: vertex 12, face 20, texture vertex 12, texture face 12.
FACE_BYTES = 20 + 12


def run(cmd):
    env = dict(os.environ, SYV_STAGE_TIMES="1")
    start = time.perf_counter()
    p = subprocess.Popen(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=env)
    out, err = p.communicate()
    wall = time.perf_counter() - start
    if p.returncode != 0:
        sys.exit(f"failed: {' '.join(cmd)}\n{err.decode()}")
    return wall, out.decode(), err.decode()


def measure(cmd):
    # ru_maxrss of a waited child, through a tiny wrapper so that runs do not mix.
    wrapper = [sys.executable, "-c",
               "import resource,subprocess,sys;r=subprocess.run(sys.argv[1:]);"
               "u=resource.getrusage(resource.RUSAGE_CHILDREN);"
               "print('maxrss',u.ru_maxrss,'cpu',u.ru_utime+u.ru_stime,file=sys.stderr);"
               "sys.exit(r.returncode)"] + cmd
    wall, out, err = run(wrapper)
    last = err.split("maxrss")[-1].split()
    rss, cpu = int(last[0]) * 1024, float(last[2])
    stages = {}
    for line in err.splitlines():
        if line.startswith("stages:"):
            parts = line.split()[1:]
            stages = {parts[i]: float(parts[i + 1]) for i in range(0, len(parts) - 1, 2)}
    return wall, rss, stages, out, cpu


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--bin", default="build/bin")
    ap.add_argument("--work", default="out/measure")
    ap.add_argument("--plants", default="tree1,tree5,dense1")
    ap.add_argument("--formats", default="stats,glb,obj,fbx")
    ap.add_argument("-n", type=int, default=3)
    a = ap.parse_args()
    program = str(pathlib.Path(a.bin).resolve() / "syvimport")
    work = pathlib.Path(a.work)
    work.mkdir(parents=True, exist_ok=True)
    print(f"load: {os.getloadavg()[0]:.2f} {os.getloadavg()[1]:.2f} {os.getloadavg()[2]:.2f}")
    header = (f"{'plant':8} {'format':6} {'Mtri':>6} {'wall s':>7} {'Mtri/s':>7} {'cpu s':>6} {'/cpu-s':>6} "
              f"{'peak MB':>8} "
              f"{'mesh MB':>8} {'read':>5} {'build':>5} {'gen':>5} {'smooth':>6} {'export':>6}")
    print(header)
    for name in a.plants.split(","):
        kind, size, seed = PLANTS[name]
        plant = work / f"{name}.syv"
        if not plant.exists():
            subprocess.run([sys.executable, str(HERE / "gen_plant.py"), "--kind", kind, "--size",
                            str(size), "--seed", str(seed), "-o", str(plant)], check=True)
        for fmt in a.formats.split(","):
            cmd = [program, str(plant), "--stats", "--quiet"]
            if fmt != "stats":
                cmd += ["-o", str(work / f"{name}.{fmt}")]
            runs = [measure(cmd) for _ in range(a.n)]
            wall = statistics.median(r[0] for r in runs)
            rss = statistics.median(r[1] for r in runs)
            cpu = statistics.median(r[4] for r in runs)
            stats = json.loads(runs[0][3])
            tris = stats["triangles"]
            mesh = stats["vertices"] * 12 + stats.get("texture_vertices", 0) * 12 + tris * FACE_BYTES
            st = {k: statistics.median(r[2].get(k, 0.0) for r in runs) for k in runs[0][2]}
            exp = statistics.median(r[3] and json.loads(r[3])["seconds"]["export"] for r in runs)

            def share(x):
                return f"{100 * x / wall:4.0f}%"
            print(f"{name:8} {fmt:6} {tris / 1e6:6.2f} {wall:7.3f} {tris / wall / 1e6:7.2f} "
                  f"{cpu:6.2f} {tris / cpu / 1e6:6.2f} {rss / 2**20:8.0f} {mesh / 2**20:8.0f} {share(st.get('read', 0)):>5} "
                  f"{share(st.get('build', 0)):>5} {share(st.get('generate', 0)):>5} "
                  f"{share(st.get('finish', 0)):>6} {share(exp):>6}", flush=True)


if __name__ == "__main__":
    main()

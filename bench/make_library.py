#!/usr/bin/env python3
"""Writes a library of N plants for whole-run timings of batches: varied copies
of the small examples (every one but oak.syv), in sub-folders of 25, each with
the textures beside it. Lengths and radii are scaled by a factor from 0.7 to
1.3 so that no two plants are the same.

    python3 bench/make_library.py OUTDIR [N]    (N defaults to 200)
"""
import pathlib
import random
import re
import shutil
import sys

root = pathlib.Path(__file__).resolve().parent.parent / "examples"
out = pathlib.Path(sys.argv[1])
count = int(sys.argv[2]) if len(sys.argv) > 2 else 200
sources = sorted(p for p in root.glob("*.syv") if p.name != "oak.syv")
rng = random.Random(17)
scaled = re.compile(r"^((?:Length|Len|Radius) \{)\s*([-+0-9.eE]+)", re.M)
for i in range(count):
    src = sources[i % len(sources)]
    folder = out / f"part{i // 25:02d}"
    folder.mkdir(parents=True, exist_ok=True)
    for png in root.glob("*.png"):
        if not (folder / png.name).exists():
            shutil.copy(png, folder / png.name)
    factor = rng.uniform(0.7, 1.3)
    text = scaled.sub(lambda m: f"{m.group(1)}{float(m.group(2)) * factor:.4g}", src.read_text())
    (folder / f"{src.stem}_{i:03d}.syv").write_text(text)

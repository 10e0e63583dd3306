#!/usr/bin/env python3
"""Lines of code and of tests, C++ and Python alike, counted over the files git knows.

Tests: everything under tests/ and the fuzz targets (fuzz/*.cc).
Code:  core/, host/, app/, blender/, bench/, scripts/, tools/; the headline share is of the
       product alone (core/, host/, app/, blender/), the measure the project holds tests to.
Data and corpora (examples/, tests/data/, fuzz/corpus/) hold no source and are left out;
every line of a source file counts, blank and comment lines too.
"""
import subprocess
import sys
from pathlib import Path

SOURCE = (".cc", ".h", ".cpp", ".hpp", ".py")
CODE = ("core", "host", "app", "blender", "bench", "scripts", "tools")
PRODUCT = ("core", "host", "app", "blender")
TESTS = ("tests", "fuzz")
LEFT_OUT = ("examples/", "tests/data/", "fuzz/corpus/", "tools/validator/node_modules/")


def tracked(root):
    out = subprocess.run(["git", "ls-files", "--cached", "--others", "--exclude-standard"],
                         cwd=root, capture_output=True, text=True, check=True).stdout
    return [p for p in out.splitlines()
            if p.endswith(SOURCE) and not p.startswith(LEFT_OUT) and (root / p).is_file()]


def main():
    root = Path(__file__).resolve().parent.parent
    counts = {}
    for path in tracked(root):
        top = path.split("/", 1)[0]
        kind = "tests" if top in TESTS else "code" if top in CODE else None
        if kind:
            lines = len((root / path).read_bytes().splitlines())
            counts[kind, top] = counts.get((kind, top), 0) + lines
    total = {k: sum(n for (kind, _), n in counts.items() if kind == k) for k in ("code", "tests")}
    for (kind, top), n in sorted(counts.items()):
        print(f"{kind:5} {top + '/':10} {n:6}")
    product = sum(n for (kind, top), n in counts.items() if top in PRODUCT)
    share = lambda whole: 100.0 * total["tests"] / whole if whole else 0.0
    print(f"product {product:6}  (core/ host/ app/ blender/)\ncode    {total['code']:6}")
    print(f"tests   {total['tests']:6}  ({share(product):.1f} % of product code)\n"
          f"{'':16}({share(total['code']):.1f} % of all code)")
    return 0


if __name__ == "__main__":
    sys.exit(main())

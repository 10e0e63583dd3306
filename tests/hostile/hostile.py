#!/usr/bin/env python3
"""Hostile plants: generated, run through syvimport, bounded from outside.

Each plant is written into --work (the repository keeps only this script),
then converted twice, `--stats` and `-o OUT.glb`, under `prlimit` (address
space and processor time) and a wall-clock timeout. A run passes when it ends
with the expected exit status, names the problem on stderr, stays within the
bounds (processor seconds and peak resident memory, as the kernel counts them
for the child), and leaves nothing in the output folder but what it was asked
to write. Processor time rather than wall time: the bound must hold on a busy
machine too.

  hostile.py --bin build/bin --work build/hostile [--only NAME] [--table]
"""
import argparse
import os
import re
import shutil
import subprocess
import sys

SECONDS = 10.0
MEMORY = 2 << 30


def model(*records):
    return "Version 4.0\nModel {\n" + "".join(records) + "}\n"


def struct(name, body):
    return 'Struct {\nName "%s"\n%s}\n' % (name, body)


def names(key, *targets):
    return "%s {\n%s}\n" % (key, "".join('"%s"\n' % t for t in targets))


CAMERA = "Camera {\n}\n"
BOX = 'Primitive {\nType "Box"\n}\nSimple {\n}\n'
TUBE = 'Primitive {\nType "Tube"\nPoints 4\n}\n'


def camera(*children):
    return struct("Camera", names("Children", *children) + CAMERA)


def tree(count, branches=(), segments=4):
    body = "Tree {\nSegments {%s, 1, 100}\nBranch_Num {%s, 1, 100}\nLength {2, 0, 20}\n" % (
        segments, count)
    return TUBE + body + (names("Branches", *branches) if branches else "") + "}\n"


def horn(ribs):
    return "Horn {\nSegments {4, 1, 100}\n" + names("Ribs", *ribs) + "}\n"


def plant(body, name="T"):
    return model(camera(name), struct(name, body))


def scaled_horn(expr, segments=4):
    return plant("Horn {\nSegments {%d, 1, 100}\nScale 0.3, 0.1, \"%s\", 0, 5\n}\n" % (segments, expr), "H")


def shape(size, points, segments=""):
    return plant(TUBE + "Tree {\n%sShape {\nSize %d\n%s}\n}\n" % (segments, size, points))


def levels(width, depth):
    return model(camera("L0"), *(struct("L%d" % i, tree(width, ["L%d" % (i + 1)] if i + 1 < depth else []))
                                  for i in range(depth)))


def cycles():
    # Every kind of link, to itself and round a loop through all kinds.
    return model(
        camera("Self", "Loop1"),
        struct("Self", names("Children", "Self") + tree(3, ["Self"]) + horn(["Self"])),
        struct("Loop1", names("Children", "Loop2")),
        struct("Loop2", tree(3, ["Loop3"])),
        struct("Loop3", horn(["Loop4"])),
        struct("Loop4", names("Children", "Loop1", "Loop2", "Loop3") + BOX))


def links(count):
    # Each level's two children make a Standard_Link node: a chain of link nodes of one name.
    return model(camera("K0"), *(struct("K%d" % i, names("Children", "K%d" % (i + 1), "Leaf")) for i in range(count)),
                 struct("K%d" % count, BOX), struct("Leaf", ""))


def materials(count):
    return model(camera(*["M%d" % i for i in range(count)]), *(struct(
        "M%d" % i, 'Primitive {\nType "Box"\nUse_GFXColor TRUE\nColor "c%d"\n}\nSimple {\n}\n' % i) for i in range(count)))


def keyframes(count):
    return "Version 4.0\n" + "".join(
        'KeyFrame {\nName "K%d"\nTime %d\nModel {\n%s}\n}\n' % (i, i, camera("B") + struct("B", BOX))
        for i in range(count))


def alike(count):
    # Every record with two children gets a link node: all of them "Standard_Link".
    return model(camera(*["R%d" % i for i in range(count)]),
                 *(struct("R%d" % i, names("Children", "A", "B")) for i in range(count)), struct("A", BOX), struct("B", BOX))


def huge_exponents():
    return plant('Horn {\nSegments {1e99999, 1, 1e308}\nScale 1e308, 1e-400, "exp(exp(exp(x*1e308)))", -1e308, 1e308\n'
                 'RotX 1e308, -1e308, "x/0", 0, 1\n}\nTransform {\nScale {1e308, 0, 1e309} {1e-320, 0, 1} {1, 0, 1}\n}\n', "H")


# name, text or bytes, expected status, stderr pattern[, processor seconds[, runs]]
def corpus():
    yield "nesting_300k", "Queue {\n" * 300000, 1, r"nested deeper than 256.*--max-depth"
    yield "line_20mb", model("Struct {\nName \"" + "x" * (20 << 20) + "\"\n}\n", camera("B"), struct("B", BOX)), 1, r"longer than \d+ bytes.*--max-line-length"
    for value in ("1e12", "-1", "nan"):
        counts = model(camera("T"), struct("T", tree(value, ["B"], segments=value)), struct("B", BOX))
        yield "count_" + value.replace("-", "minus_"), counts, 0, r"segments" if value == "1e12" else r""
    yield "knots_2e31", shape(1 << 31, "0, 1, 0\n1, 1, 0\n"), 0, r""
    # Stops at the default budget of 10 M triangles, all of them generated first.
    yield "placements_200_5", levels(200, 5), 1, r"more than \d+ (triangles|objects).*--max-"
    yield "cycles_every_kind", cycles(), 0, r"ancestors"
    yield "link_chain_100k", links(100000), 0, r""
    yield "expression_200k_deep", scaled_horn("(" * 200000 + "x" + ")" * 200000), 1, r"expression nests deeper than 256.*--max-depth"
    yield "huge_exponents", huge_exponents(), 0, r""
    yield "keyframes_100k", keyframes(100000), 0, r""
    # 65 536 materials reach the .glb (the host's 16 bits), one primitive each.
    yield "materials_100k", materials(100000), 0, r""
    yield "curve_100k_points", shape(100000, "".join("%g, 0.5, 0\n" % (i / 100000) for i in range(100000)), "Segments {8, 1, 100}\n"), 0, r""
    yield "name_1mb", plant(BOX, "N" * (1 << 20)), 0, r""
    yield "nul_bytes", plant(BOX, "B").replace("Model", "Mo\0del"), 1, r"binary"
    yield "cr_only", plant(BOX, "B").replace("\n", "\r"), 1, r"no model|holds no model"
    yield "utf16", plant(BOX, "B").encode("utf-16"), 1, r"binary"
    yield "braces_50mb", "{\n}\n" * (50 << 18), 1, r"no model"
    yield "braces_50mb_open", "{\n" * (50 << 19), 1, r"nested deeper than 256"
    # Found by fuzz_convert: names that are not UTF-8 once made the glTF unwritable.
    yield "names_not_utf8", model(camera("B"), struct("B", 'Primitive {\nType "Box"\nUse_GFXColor TRUE\nColor "Gree\xc3\xc3n"\n}\nSimple {\n}\n'), struct("R\xc3\xc3", "")), 0, r""
    yield "binary", bytes((i * 7919 + 13) % 251 for i in range(1 << 20)), 1, r"binary"
    yield "binary_without_nul", bytes(1 + (i * 7919 + 13) % 251 for i in range(1 << 20)), 1, r"nested deeper|no model"
    # Evaluated at every point of the curve: split once, it costs its length once.
    yield "expression_4mb", scaled_horn("x" + "+x*1" * (1 << 20), 64), 0, r""
    yield "names_100k_alike", alike(100000), 0, r""


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--bin", required=True)
    ap.add_argument("--work", required=True)
    ap.add_argument("--only")
    ap.add_argument("--table", action="store_true", help="print a table, worst first")
    args = ap.parse_args()
    tool = os.path.abspath(os.path.join(args.bin, "syvimport"))
    failures, rows = [], []
    for case in corpus():
        name, content, status, pattern = case[:4]
        limit = case[4] if len(case) > 4 else SECONDS
        if args.only and name != args.only:
            continue
        folder = os.path.join(os.path.abspath(args.work), name)
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(os.path.join(folder, "out"))
        plant = os.path.join(folder, name + ".syv")
        with open(plant, "wb") as f:
            f.write(content if isinstance(content, bytes) else content.encode("latin-1"))
        for mode, extra in (("stats", ["--stats"]), ("glb", ["-o", "out/plant.glb"])):
            # Each run in its own process, so that the figures are its own.
            probe = [sys.executable, "-c",
                     "import resource,subprocess,sys;"
                     "r=subprocess.run(sys.argv[1:],stdout=subprocess.DEVNULL,stderr=subprocess.PIPE);"
                     "sys.stderr.buffer.write(r.stderr);"
                     "u=resource.getrusage(resource.RUSAGE_CHILDREN);"
                     "print(u.ru_maxrss,u.ru_utime+u.ru_stime,file=sys.stderr);"
                     "sys.exit(r.returncode if r.returncode>=0 else 128-r.returncode)",
                     "timeout", "-s", "KILL", "300", "prlimit", "--as=%d" % MEMORY,
                     "--cpu=%d" % (limit * 2), "--", tool, plant, "--no-progress"] + extra
            r = subprocess.run(probe, cwd=folder, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
            err = r.stderr.decode("utf-8", "replace").rstrip("\n").split("\n")
            figures = err[-1].split() if err else []
            peak = int(figures[0]) * 1024 if len(figures) == 2 else MEMORY + 1
            seconds = float(figures[1]) if len(figures) == 2 else limit + 1
            message = "\n".join(err[:-1])
            wrote = sorted(os.listdir(os.path.join(folder, "out")))
            expected_files = ["plant.glb"] if mode == "glb" and status == 0 else []
            problems = [text for bad, text in (
                (r.returncode != status, "exit %d, expected %d" % (r.returncode, status)),
                (pattern and not re.search(pattern, message), "no message matching %r" % pattern),
                (seconds > limit, "%.1f s" % seconds), (peak > MEMORY, "peak %d MB" % (peak >> 20)),
                (wrote != expected_files, "output folder holds %s" % wrote),
                (set(os.listdir(folder)) != {"out", name + ".syv"}, "stray files %s" % sorted(os.listdir(folder))))
                if bad]
            first = message.split("\n")[0].replace(plant + ": ", "")
            rows.append((seconds, peak, name, mode, r.returncode, first[:100]))
            if problems:
                failures.append("%s (%s): %s; stderr: %s" % (name, mode, ", ".join(problems), message[:300]))
            shutil.rmtree(os.path.join(folder, "out"))
            os.makedirs(os.path.join(folder, "out"))
        os.remove(plant)
    if args.table:
        print("| plant | run | exit | processor s | peak MB | message |\n|---|---|---|---|---|---|")
        for seconds, peak, name, mode, code, message in sorted(rows, reverse=True):
            print("| %s | %s | %d | %.2f | %d | %s |" % (name, mode, code, seconds, peak >> 20,
                                                        message.replace("|", "\\|")))
    for f in failures:
        print("FAIL " + f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

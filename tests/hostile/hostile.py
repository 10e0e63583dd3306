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


def camera(*children):
    return struct("Camera", names("Children", *children) + CAMERA)


def tree(count, branches=(), segments=4):
    body = "Tree {\nSegments {%s, 1, 100}\nBranch_Num {%s, 1, 100}\nLength {2, 0, 20}\n" % (
        segments, count)
    if branches:
        body += names("Branches", *branches)
    return 'Primitive {\nType "Tube"\nPoints 4\n}\n' + body + "}\n"


def horn(ribs):
    return "Horn {\nSegments {4, 1, 100}\n" + names("Ribs", *ribs) + "}\n"


def counts(value):
    return model(camera("T"), struct("T", tree(value, ["B"], segments=value)), struct("B", BOX))


def deep_expression(depth):
    expr = "(" * depth + "x" + ")" * depth
    return model(camera("H"), struct("H", "Horn {\nSegments {4, 1, 100}\nScale 0.3, 0.1, \"%s\", 0, 5\n}\n" % expr))


def levels(width, depth):
    records = [camera("L0")]
    for i in range(depth):
        records.append(struct("L%d" % i, tree(width, ["L%d" % (i + 1)] if i + 1 < depth else [])))
    return model(*records)


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
    records = [camera("K0")]
    for i in range(count):
        records.append(struct("K%d" % i, names("Children", "K%d" % (i + 1), "Leaf")))
    records.append(struct("K%d" % count, BOX))
    records.append(struct("Leaf", ""))
    return model(*records)


def materials(count):
    records = [camera(*["M%d" % i for i in range(count)])]
    for i in range(count):
        records.append(struct("M%d" % i, 'Primitive {\nType "Box"\nUse_GFXColor TRUE\nColor "c%d"\n}\nSimple {\n}\n' % i))
    return model(*records)


def keyframes(count):
    return "Version 4.0\n" + "".join(
        'KeyFrame {\nName "K%d"\nTime %d\nModel {\n%s}\n}\n' % (i, i, camera("B") + struct("B", BOX))
        for i in range(count))


def curve_points(count):
    points = "".join("%g, %g, 0\n" % (i / count, 0.5) for i in range(count))
    return model(camera("T"), struct("T", 'Primitive {\nType "Tube"\nPoints 4\n}\nTree {\nSegments {8, 1, 100}\nShape {\nSize %d\n%s}\n}\n' % (count, points)))


def knots(announced):
    return model(camera("T"), struct("T", 'Primitive {\nType "Tube"\nPoints 4\n}\nTree {\nShape {\nSize %d\n0, 1, 0\n1, 1, 0\n}\n}\n' % announced))


def long_expression(size):
    # Evaluated at every point of the curve: split once, it costs its length once.
    expr = "x" + "+x*1" * (size // 4)
    return model(camera("H"), struct("H", "Horn {\nSegments {64, 1, 100}\nScale 0.3, 0.1, \"%s\", 0, 5\n}\n" % expr))


def alike(count):
    # Every record with two children gets a link node: all of them "Standard_Link".
    records = [camera(*["R%d" % i for i in range(count)])]
    records += [struct("R%d" % i, names("Children", "A", "B")) for i in range(count)]
    return model(*records, struct("A", BOX), struct("B", BOX))


def huge_exponents():
    body = ('Horn {\nSegments {1e99999, 1, 1e308}\nScale 1e308, 1e-400, "exp(exp(exp(x*1e308)))", -1e308, 1e308\n'
            'RotX 1e308, -1e308, "x/0", 0, 1\n}\nTransform {\nScale {1e308, 0, 1e309} {1e-320, 0, 1} {1, 0, 1}\n}\n')
    return model(camera("H"), struct("H", body))


# name, text or bytes, expected status, stderr pattern[, processor seconds[, runs]]
def corpus():
    yield "nesting_300k", "Queue {\n" * 300000, 1, r"nested deeper than 256.*--max-depth"
    yield "line_20mb", model("Struct {\nName \"" + "x" * (20 << 20) + "\"\n}\n", camera("B"), struct("B", BOX)), 1, r"longer than \d+ bytes.*--max-line-length"
    yield "count_1e12", counts("1e12"), 0, r"segments"
    yield "count_minus_1", counts("-1"), 0, r""
    yield "count_nan", counts("nan"), 0, r""
    yield "knots_2e31", knots(1 << 31), 0, r""
    # Stops at the default budget of 10 M triangles, all of them generated first.
    yield "placements_200_5", levels(200, 5), 1, r"more than \d+ (triangles|objects).*--max-"
    yield "cycles_every_kind", cycles(), 0, r"ancestors"
    yield "link_chain_100k", links(100000), 0, r""
    yield "expression_200k_deep", deep_expression(200000), 1, r"expression nests deeper than 256.*--max-depth"
    yield "huge_exponents", huge_exponents(), 0, r""
    yield "keyframes_100k", keyframes(100000), 0, r""
    # 65 536 materials reach the .glb (the host's 16 bits), one primitive each:
    # linear, but about 10 processor seconds on the development machine.
    yield "materials_100k", materials(100000), 0, r"", 20
    yield "curve_100k_points", curve_points(100000), 0, r""
    yield "name_1mb", model(camera("N" * (1 << 20)), struct("N" * (1 << 20), BOX)), 0, r""
    yield "nul_bytes", model(camera("B"), struct("B", BOX)).replace("Model", "Mo\0del"), 1, r"binary"
    yield "cr_only", model(camera("B"), struct("B", BOX)).replace("\n", "\r"), 1, r"no model|holds no model"
    yield "utf16", model(camera("B"), struct("B", BOX)).encode("utf-16"), 1, r"binary"
    yield "braces_50mb", "{\n}\n" * (50 << 18), 1, r"no model"
    yield "braces_50mb_open", "{\n" * (50 << 19), 1, r"nested deeper than 256"
    # Found by fuzz_convert: names that are not UTF-8 once made the glTF unwritable.
    yield "names_not_utf8", model(camera("B"), struct("B", 'Primitive {\nType "Box"\nUse_GFXColor TRUE\nColor "Gree\xc3\xc3n"\n}\nSimple {\n}\n'), struct("R\xc3\xc3", "")), 0, r""
    yield "binary", bytes((i * 7919 + 13) % 251 for i in range(1 << 20)), 1, r"binary"
    yield "binary_without_nul", bytes(1 + (i * 7919 + 13) % 251 for i in range(1 << 20)), 1, r"nested deeper|no model"
    yield "expression_4mb", long_expression(4 << 20), 0, r""
    yield "names_100k_alike", alike(100000), 0, r""


def write(path, content):
    with open(path, "wb") as f:
        f.write(content if isinstance(content, bytes) else content.encode("latin-1"))


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
        modes = case[5] if len(case) > 5 else ("stats", "glb")
        if args.only and name != args.only:
            continue
        folder = os.path.join(os.path.abspath(args.work), name)
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(os.path.join(folder, "out"))
        plant = os.path.join(folder, name + ".syv")
        write(plant, content)
        for mode, extra in (("stats", ["--stats"]), ("glb", ["-o", "out/plant.glb"])):
            if mode not in modes:
                continue
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
            problems = []
            if r.returncode != status:
                problems.append("exit %d, expected %d" % (r.returncode, status))
            if pattern and not re.search(pattern, message):
                problems.append("no message matching %r" % pattern)
            if seconds > limit:
                problems.append("%.1f s" % seconds)
            if peak > MEMORY:
                problems.append("peak %d MB" % (peak >> 20))
            if wrote != expected_files:
                problems.append("output folder holds %s" % wrote)
            if set(os.listdir(folder)) != {"out", name + ".syv"}:
                problems.append("stray files %s" % sorted(os.listdir(folder)))
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

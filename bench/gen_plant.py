#!/usr/bin/env python3
"""Writes large plants for measurement, the same file for the same arguments.

  gen_plant.py --kind tree --size 5 --seed 1 -o out/tree5.syv
  gen_plant.py --kind dense --size 1 --seed 1 -o out/dense1.syv

kind "tree": a tree of trees (trunk, boughs, twigs) carrying leaves, with
horns (tendrils with buds on their ribs) at the trunk; curves and
expressions with random functions. kind "dense": many short branches with
little geometry each, so that the cost per placement dominates.
--size is about the millions of triangles (0.1 gives some 100 k).
"""
import argparse
import math
import random

FUNCS = ["sin", "cos", "sqrt", "abs", "exp", "rnd", "rndabs", "tanh", "atan", "sqr"]


class Plant:
    def __init__(self, seed):
        self.r = random.Random(seed)
        self.lines = []

    def w(self, *lines):
        self.lines.extend(lines)

    def u(self, lo, hi):
        return round(self.r.uniform(lo, hi), 4)

    def curve(self, name, points, lo, hi):
        self.w(name + " {", f"Size {points}")
        for i in range(points):
            x = 0 if i == 0 else (1 if i == points - 1 else round(i / (points - 1), 3))
            self.w(f"{x}, {self.u(lo, hi)}, 0")
        self.w("}")

    def expression(self):
        f, g = self.r.choice(FUNCS), self.r.choice(FUNCS)
        forms = [f"{f}(x)", f"{f}(x)*0.5+{g}(x)*0.1", f"{f}(x*2)-0.2", f"0.5*{f}(x)+{g}(0.3)"]
        return self.r.choice(forms)

    def linear(self, name, lo, hi):
        a, b = self.u(lo, hi), self.u(lo, hi)
        self.w(f'{name} {a}, {b}, "{self.expression()}", -1, 1')

    def material(self, colour, rgb):
        self.w("Use_GFXColor TRUE", f'Color "{colour}"', "GFXColor {",
               "DIFFUSE " + ",".join(str(c) for c in rgb), "}")

    def tube(self, points, colour="Bark"):
        self.w("Primitive {", 'Type "Tube"', f"Points {points}")
        self.material(colour, (0.45, 0.32, 0.2))
        self.w("}")

    def tree(self, name, segments, points, branches, length, children, extra=()):
        self.w("Struct {", f'Name "{name}"')
        self.tube(points)
        self.w("Tree {", f"Segments {{{segments}, 1, 1000}}",
               f"Branch_Num {{{branches}, 0, 10000}}", f"Length {{{length}, 0, 20}}")
        self.curve("Shape", 3, 0.05, 0.6)
        self.curve("Angle", 2, 0.2, 0.6)
        self.curve("Screw", 2, 0.6, 0.9)
        if self.r.random() < 0.7:
            self.w("Gravitropism {", "Size 2", "0, 0, 0", f"1, {self.u(0, 0.4)}, 0", "}")
        self.w("Branches {", *[f'"{c}"' for c in children], "}", "}")
        if extra:
            self.w("Children {", *[f'"{c}"' for c in extra], "}")
        self.w("}")

    def leaf(self, name, segments):
        self.w("Struct {", f'Name "{name}"', "Primitive {", 'Type "Area"')
        self.material("Leaf", (0.3, 0.6, 0.2))
        self.w("Profil {", "Size 5", *[f"{x}, {self.u(-0.05, 0.05)}, 0" for x in
                                      (0, 0.25, 0.5, 0.75, 1)], "}", "}")
        self.w("Leaf {", f"Segments {segments}", f"Length {{{self.u(0.3, 0.8)}, 0, 20}}",
               'Shape 0, 3.14159, "sin", 0, 3.14159')
        self.linear("RotX", 0.1, 0.8)
        self.w("}", "}")

    def horn(self, name, segments, points, rib):
        self.w("Struct {", f'Name "{name}"', "Transform {",
               "Scale {0.3, 0, 10} {0.3, 0, 10} {0.6, 0, 10}", "}")
        self.tube(points, "Vine")
        self.w("Horn {", f"Segments {{{segments}, 1, 1000}}", f"MoveScale {self.u(1, 4)}",
               'Shape 0, 1.57, "cos", -3.14159, 3.14159')
        self.linear("RotX", 0.2, 1.2)
        self.linear("Screw", 0, 1)
        self.w("Ribs {", f'"{rib}"', "}", "}", "}")
        self.w("Struct {", f'Name "{rib}"', "Primitive {", 'Type "Sphere"', "Resolution 1", "}",
               "Simple {", "}", "}")

    def text(self):
        return "\n".join(["Version 4.0", "KeyFrame {", 'Name "Key 1"', "Time 0", "Model {",
                          "Struct {", 'Name "Camera"', "Children {", '"Trunk"', "}",
                          "Camera {", "}", "}"] + self.lines + ["}", "}", ""])


def tree_plant(seed, size):
    p = Plant(seed)
    # Triangles grow with boughs x twigs x leaves; spread the size over the three.
    k = max(size, 0.02) ** (1 / 3)
    boughs = max(2, round(36 * k))
    twigs = max(2, round(17 * k))
    leaves = max(1, round(7 * k))
    p.tree("Trunk", 60, 16, boughs, p.u(5, 7), ["Bough"], extra=["Vine"])
    p.tree("Bough", 30, 10, twigs, p.u(2, 3), ["Twig"])
    p.tree("Twig", 10, 6, leaves, p.u(0.6, 1), ["Blade"])
    p.leaf("Blade", 8)
    p.horn("Vine", max(4, round(40 * k)), 8, "Bud")
    return p


def dense_plant(seed, size):
    p = Plant(seed)
    k = max(size, 0.02) ** (1 / 3)
    p.tree("Trunk", 40, 6, max(2, round(48 * k)), p.u(5, 7), ["Bough"], extra=["Vine"])
    p.tree("Bough", 12, 3, max(2, round(32 * k)), p.u(2, 3), ["Twig"])
    p.tree("Twig", 2, 3, max(1, round(19 * k)), p.u(0.3, 0.6), ["Blade"])
    p.leaf("Blade", 1)
    p.horn("Vine", 8, 3, "Bud")
    return p


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--kind", choices=["tree", "dense"], default="tree")
    ap.add_argument("--size", type=float, default=1.0)
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("-o", "--output", required=True)
    a = ap.parse_args()
    make = tree_plant if a.kind == "tree" else dense_plant
    with open(a.output, "w") as f:
        f.write(make(a.seed, a.size).text())


if __name__ == "__main__":
    main()

# The add-on as a user gets it: its zip installed into a fresh profile and
# enabled, plants imported through File > Import's operator.
#   blender -b --factory-startup --python addon_test.py -- ZIP SYVIMPORT EXAMPLES DATA
import glob
import json
import os
import subprocess
import sys
import tempfile
import unittest

import bpy
import numpy

ZIP, PROGRAM, EXAMPLES, DATA = sys.argv[sys.argv.index("--") + 1:]
KINDS = ("objects", "meshes", "materials", "images")


def stats(path):
    r = subprocess.run([PROGRAM, path, "--stats", "--quiet"], capture_output=True, text=True, check=True)
    return json.loads(r.stdout)


def scene():
    return {k: sorted(x.name for x in getattr(bpy.data, k)) for k in KINDS}


def leftovers():
    return [n for n in os.listdir(tempfile.gettempdir()) if n.startswith("syv-")]


class Addon(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        bpy.ops.preferences.addon_install(filepath=ZIP)
        bpy.ops.preferences.addon_enable(module="sylvo_import")
        import sylvo_import
        cls.addon = sylvo_import
        profile = os.environ["BLENDER_USER_SCRIPTS"]
        assert sylvo_import.__file__.startswith(profile), sylvo_import.__file__

    def setUp(self):
        for k in KINDS:
            for x in list(getattr(bpy.data, k)):
                getattr(bpy.data, k).remove(x)

    def test_every_example_at_once(self):
        plants = sorted(glob.glob(os.path.join(EXAMPLES, "*.syv")))
        self.assertGreater(len(plants), 5)
        bpy.ops.import_scene.sylvo(directory=EXAMPLES, files=[{"name": os.path.basename(p)} for p in plants])
        names = [os.path.splitext(os.path.basename(p))[0] for p in plants]
        self.assertEqual(sorted(o.name for o in bpy.data.objects), sorted(names))
        for path, name in zip(plants, names):
            with self.subTest(plant=name):
                s = stats(path)
                obj = bpy.data.objects[name]
                self.assertTrue(obj.select_get())
                self.assertEqual(obj.data.name, name)
                obj.data.calc_loop_triangles()
                self.assertEqual(len(obj.data.loop_triangles), s["triangles"])
                mats = {m.name for m in obj.data.materials}
                self.assertEqual(len(mats), len(s["materials"]))
                self.assertTrue(all(m.startswith(name + "_") for m in mats), mats)
                self.assertLessEqual({name + "_" + m["name"] for m in s["materials"] if m["name"]}, mats)
                # Metres by default; the plant's bounds are centimetres, Z up like Blender.
                size = [hi - lo for lo, hi in zip(s["bounds"]["min"], s["bounds"]["max"])]
                for got, want in zip(obj.dimensions, size):
                    self.assertAlmostEqual(got, want / 100, delta=1e-4 * max(size))
        self.assertTrue(bpy.data.images)
        self.assertTrue(all(i.packed_file for i in bpy.data.images))  # the temporary .glb is gone
        self.assertEqual(leftovers(), [])
        self.assertNotIn("bool", vars(numpy), "the add-on changed numpy")

    def test_failure_leaves_the_scene_as_it_was(self):
        bpy.ops.import_scene.sylvo(filepath=os.path.join(DATA, "app_plant.syv"), scale=1)
        obj = bpy.data.objects["app_plant"]
        s = stats(os.path.join(DATA, "app_plant.syv"))
        self.assertAlmostEqual(obj.dimensions.z, s["bounds"]["max"][2] - s["bounds"]["min"][2], places=3)
        before = scene()
        with tempfile.TemporaryDirectory() as folder:
            broken = os.path.join(folder, "broken.syv")
            open(broken, "w").close()
            with self.assertRaisesRegex(RuntimeError, "broken.syv"):
                bpy.ops.import_scene.sylvo(filepath=broken)
        self.assertEqual(scene(), before)
        self.assertEqual(leftovers(), [])

    def test_strict_refuses_a_plant_with_warnings(self):
        truncated = os.path.join(DATA, "app_truncated.syv")
        batch = self.addon.Batch(PROGRAM, [truncated], 0.01, False)
        while not batch.step():
            batch.current.process.wait()
        self.assertIn("open blocks", " ".join(t for k, t in batch.reports if k == 'WARNING'))
        batch.remove()
        with self.assertRaisesRegex(RuntimeError, "app_truncated") as e:
            bpy.ops.import_scene.sylvo(filepath=truncated, strict=True)
        self.assertIn("with --strict; nothing was written", str(e.exception))
        self.assertEqual(scene(), {k: [] for k in KINDS})

    def test_cancel_interrupts_the_conversion(self):
        batch = self.addon.Batch(PROGRAM, [os.path.join(EXAMPLES, "oak.syv")] * 2, 0.01, False)
        batch.step()
        process = batch.current.process
        batch.cancel()
        self.assertIsNotNone(process.poll())
        self.assertNotEqual(process.returncode, 0)
        self.assertTrue(batch.step())  # nothing left to convert
        self.assertEqual(batch.import_all(bpy.context), [])
        self.assertEqual(bpy.data.objects[:], [])
        self.assertEqual(leftovers(), [])


if not unittest.main(argv=["addon_test"], exit=False, verbosity=2).result.wasSuccessful():
    raise SystemExit(1)

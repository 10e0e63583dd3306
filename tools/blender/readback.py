# Reads a converted plant with Blender's own importers and prints what Blender
# sees, so that tests and users can check a file against a real DCC tool.
#   blender -b --factory-startup --python readback.py -- FILE [PICTURE.png]
# With PICTURE, also renders a quick look at the plant (Cycles on the CPU).
# A .syv FILE goes through the installed add-on (make install-blender-addon).
import math
import sys

import bpy
import mathutils

args = sys.argv[sys.argv.index("--") + 1:]
path = args[0]
picture = args[1] if len(args) > 1 else None

bpy.ops.wm.read_factory_settings(use_empty=True)
if not path.endswith(".syv"):
    import numpy
    numpy.bool = bool  # Blender 3.4's glTF importer still uses the alias numpy 1.24 removed.
if path.endswith(".syv"):
    bpy.ops.preferences.addon_enable(module="sylvo_import")
    bpy.ops.import_scene.sylvo(filepath=path)
elif path.endswith(".fbx"):
    bpy.ops.import_scene.fbx(filepath=path)
elif path.endswith(".obj"):
    bpy.ops.wm.obj_import(filepath=path)
else:
    bpy.ops.import_scene.gltf(filepath=path)

triangles = 0
materials = set()
lo = [math.inf] * 3
hi = [-math.inf] * 3
for obj in bpy.context.scene.objects:
    if obj.type != 'MESH':
        continue
    obj.data.calc_loop_triangles()
    triangles += len(obj.data.loop_triangles)
    materials.update(s.material.name for s in obj.material_slots if s.material)
    for corner in obj.bound_box:
        w = obj.matrix_world @ mathutils.Vector(corner)
        for k in range(3):
            lo[k] = min(lo[k], w[k])
            hi[k] = max(hi[k], w[k])
print("READBACK triangles=%d materials=%d" % (triangles, len(materials)))
# Levels of detail are objects of their own, named PLANT_LODn.
for obj in sorted(bpy.context.scene.objects, key=lambda o: o.name):
    if obj.type == 'MESH' and "_LOD" in obj.name:
        print("READBACK object %s triangles=%d" % (obj.name, len(obj.data.loop_triangles)))

if picture and triangles:
    scene = bpy.context.scene
    camera = bpy.data.objects.new("camera", bpy.data.cameras.new("camera"))
    scene.collection.objects.link(camera)
    scene.camera = camera
    centre = [(lo[k] + hi[k]) / 2 for k in range(3)]
    size = max(hi[k] - lo[k] for k in range(3))
    camera.location = (centre[0], centre[1] - 1.8 * size, centre[2] + 0.2 * size)
    camera.rotation_euler = (math.radians(84), 0, 0)
    sun = bpy.data.objects.new("sun", bpy.data.lights.new("sun", 'SUN'))
    scene.collection.objects.link(sun)
    sun.rotation_euler = (math.radians(40), math.radians(20), math.radians(30))
    sun.data.energy = 4
    scene.world = bpy.data.worlds.new("sky")
    scene.world.color = (0.6, 0.7, 0.8)
    scene.render.engine = 'CYCLES'
    scene.cycles.device = 'CPU'
    scene.cycles.samples = 16
    scene.cycles.use_denoising = False
    scene.render.resolution_x = scene.render.resolution_y = 480
    scene.render.filepath = picture
    bpy.ops.render.render(write_still=True)

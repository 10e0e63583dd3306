# File > Import > Sylvo plant (.syv): converts each plant with syvimport in a
# subprocess to a temporary .glb and brings that in with Blender's glTF importer.
bl_info = {
    "name": "Sylvo plant importer",
    "author": "syvimport developers",
    "version": (1, 0, 0),
    "blender": (3, 4, 0),
    "location": "File > Import > Sylvo plant (.syv)",
    "description": "Imports .syv plant models through the syvimport converter",
    "category": "Import-Export",
}

import contextlib
import json
import os
import re
import shutil
import signal
import stat
import struct
import subprocess
import tempfile

import bpy
from bpy.props import BoolProperty, CollectionProperty, FloatProperty, StringProperty
from bpy_extras.io_utils import ImportHelper

PROGRAM = "syvimport"
BUNDLED = os.path.join(os.path.dirname(os.path.abspath(__file__)), "bin", PROGRAM)


def find_program(context):
    """Bundled with the add-on, else on PATH, else the preference; None if none runs."""
    if os.path.isfile(BUNDLED):
        mode = os.stat(BUNDLED).st_mode
        if not mode & stat.S_IXUSR:
            # Blender's add-on installer unpacks zips without file modes.
            os.chmod(BUNDLED, mode | stat.S_IXUSR | stat.S_IXGRP | stat.S_IXOTH)
        return BUNDLED
    found = shutil.which(PROGRAM)
    if found:
        return found
    addon = context.preferences.addons.get(__name__)
    chosen = bpy.path.abspath(addon.preferences.program) if addon and addon.preferences.program else ""
    return chosen if os.path.isfile(chosen) and os.access(chosen, os.X_OK) else None


class Conversion:
    """One plant converted by syvimport into a temporary folder of its own."""

    def __init__(self, program, path, scale, strict):
        self.path = path
        self.plant = os.path.splitext(os.path.basename(path))[0]
        self.folder = tempfile.mkdtemp(prefix="syv-")
        self.glb = os.path.join(self.folder, "plant.glb")
        self.stats_file = os.path.join(self.folder, "stats.json")
        args = [program, path, "-o", self.glb, "--scale", repr(scale),
                "--stats-json", self.stats_file, "--no-progress"]
        if strict:
            args.append("--strict")
        env = None
        if program == BUNDLED:
            # The host library came along in the same folder.
            env = dict(os.environ)
            env["LD_LIBRARY_PATH"] = os.pathsep.join(
                p for p in (os.path.dirname(BUNDLED), env.get("LD_LIBRARY_PATH")) if p)
        # A file, not a pipe: a plant with many warnings cannot stall the program.
        try:
            with open(os.path.join(self.folder, "log"), "wb") as log:
                self.process = subprocess.Popen(args, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                                stderr=log, env=env)
        except OSError:
            self.remove()
            raise

    def running(self):
        return self.process.poll() is None

    def succeeded(self):
        return self.process.poll() == 0 and os.path.isfile(self.glb)

    def messages(self):
        """syvimport's warnings and errors as (Blender report type, text)."""
        out = []
        name = os.path.basename(self.path)
        with open(os.path.join(self.folder, "log"), encoding="utf-8", errors="replace") as log:
            for line in log:
                for prefix, kind in (("Error: ", 'ERROR'), ("Warning: ", 'WARNING')):
                    if line.startswith(prefix):
                        text = line[len(prefix):].strip()
                        out.append((kind, text if name in text else name + ": " + text))
        if self.process.returncode not in (0, None) and not any(k == 'ERROR' for k, _ in out):
            out.append(('ERROR', "%s: syvimport failed (exit status %d)" % (name, self.process.returncode)))
        return out

    def stats(self):
        with open(self.stats_file, encoding="utf-8") as f:
            return json.load(f)

    def cancel(self):
        if self.running():
            # Interrupted, syvimport stops at its next cancel check and writes nothing.
            self.process.send_signal(signal.SIGINT)
            try:
                self.process.wait(2)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self.remove()

    def remove(self):
        shutil.rmtree(self.folder, ignore_errors=True)


@contextlib.contextmanager
def numpy_bool_alias():
    """Blender 3.4's glTF importer uses numpy.bool, gone from numpy 1.24: lend it
    for the import only, so the user's Python is left as it was."""
    import numpy
    lent = "bool" not in vars(numpy)  # hasattr would print numpy's FutureWarning
    if lent:
        numpy.bool = bool
    try:
        yield
    finally:
        if lent:
            del numpy.bool


def _data_collections():
    d = bpy.data
    return (d.objects, d.meshes, d.materials, d.images, d.textures, d.node_groups,
            d.cameras, d.lights, d.collections)


def import_glb(context, conversion):
    """Imports one converted plant and names it; on failure, removes whatever came in."""
    before = [{x.as_pointer() for x in c} for c in _data_collections()]
    try:
        if not hasattr(bpy.ops.import_scene, "gltf"):
            import addon_utils
            addon_utils.enable("io_scene_gltf2", default_set=False)
        with numpy_bool_alias():
            bpy.ops.import_scene.gltf(filepath=conversion.glb)
    except Exception:
        for coll, old in zip(_data_collections(), before):
            for x in [x for x in coll if x.as_pointer() not in old]:
                coll.remove(x)
        raise
    new = [[x for x in c if x.as_pointer() not in old] for c, old in zip(_data_collections(), before)]
    objects, meshes, materials = new[0], new[1], new[2]
    roots = [o for o in objects if o.parent is None]
    for o in roots:
        o.name = conversion.plant
    for m in meshes:
        m.name = conversion.plant
    own = set(glb_material_names(conversion.glb))
    for m in materials:
        name = m.name
        # Blender numbers a name already taken ("Bark.001"); the plant's prefix makes it unique.
        plain = re.sub(r"\.\d{3,}$", "", name)
        if plain in own:
            name = plain
        m.name = name if name.startswith(conversion.plant + "_") else conversion.plant + "_" + name
    return roots


def glb_material_names(path):
    with open(path, "rb") as f:
        length = struct.unpack("<I", f.read(20)[12:16])[0]
        doc = json.loads(f.read(length))
    return [m.get("name", "") for m in doc.get("materials", [])]


class Batch:
    """Converts the plants one after another, then imports them all: cancelled
    while converting, nothing has entered the scene."""

    def __init__(self, program, paths, scale, strict):
        self.program, self.scale, self.strict = program, scale, strict
        self.waiting = list(paths)
        self.total = len(paths)
        self.converted = []
        self.current = None
        self.reports = []

    def step(self):
        """Starts the next conversion when the current one ended; True when all are done."""
        if self.current and self.current.running():
            return False
        if self.current:
            self.reports += self.current.messages()
            if self.current.succeeded():
                self.converted.append(self.current)
            else:
                self.current.remove()
            self.current = None
        while self.waiting:
            path = self.waiting.pop(0)
            try:
                self.current = Conversion(self.program, path, self.scale, self.strict)
                return False
            except OSError as e:
                self.reports.append(('ERROR', "%s: syvimport could not be run: %s" % (os.path.basename(path), e)))
        return True

    def progress(self):
        """Share of the whole job done, counting conversion as half of each plant."""
        started = self.total - len(self.waiting)
        return 0.5 * (started - (1 if self.current else 0)) / max(self.total, 1)

    def current_name(self):
        return os.path.basename(self.current.path) if self.current else ""

    def import_all(self, context, progress=lambda f: None):
        roots = []
        try:
            for i, conversion in enumerate(self.converted):
                try:
                    stats = conversion.stats()
                    roots += import_glb(context, conversion)
                    self.reports.append(('INFO', "%s: %d triangles, %d materials" % (
                        conversion.plant, stats["triangles"], len(stats["materials"]))))
                except Exception as e:
                    self.reports.append(('ERROR', "%s: the converted plant could not be imported: %s"
                                         % (os.path.basename(conversion.path), e)))
                progress(0.5 + 0.5 * (i + 1) / len(self.converted))
        finally:
            self.remove()
        if roots:
            for o in context.view_layer.objects:
                o.select_set(False)
            for o in roots:
                o.select_set(True)
            context.view_layer.objects.active = roots[-1]
        return roots

    def cancel(self):
        if self.current:
            self.current.cancel()
            self.current = None
        self.waiting = []
        self.remove()

    def remove(self):
        for conversion in self.converted:
            conversion.remove()
        self.converted = []


class IMPORT_SCENE_OT_sylvo(bpy.types.Operator, ImportHelper):
    """Import Sylvo plant models (.syv) through syvimport"""
    bl_idname = "import_scene.sylvo"
    bl_label = "Import Sylvo Plant"
    bl_options = {'REGISTER', 'UNDO'}

    filename_ext = ".syv"
    filter_glob: StringProperty(default="*.syv", options={'HIDDEN'})
    files: CollectionProperty(type=bpy.types.OperatorFileListElement, options={'HIDDEN', 'SKIP_SAVE'})
    directory: StringProperty(subtype='DIR_PATH', options={'HIDDEN', 'SKIP_SAVE'})
    scale: FloatProperty(
        name="Scale", default=0.01, min=1e-6, max=1e6, precision=4,
        description="Blender units per centimetre of the plant (0.01: metres)")
    strict: BoolProperty(
        name="Strict", default=False,
        description="Refuse a plant that gives any warning (missing texture, empty plant, ...)")

    def paths(self):
        names = [f.name for f in self.files if f.name]
        if names and self.directory:
            return [os.path.join(self.directory, n) for n in names]
        return [self.filepath]

    def invoke(self, context, event):
        self._modal = not bpy.app.background
        return ImportHelper.invoke(self, context, event)

    def execute(self, context):
        program = find_program(context)
        if not program:
            self.report({'ERROR'}, "syvimport not found: install the add-on's zip with it, put it on "
                        "PATH or set its path in the add-on's preferences")
            return {'CANCELLED'}
        self._batch = Batch(program, self.paths(), self.scale, self.strict)
        wm = context.window_manager
        wm.progress_begin(0, 100)
        if not getattr(self, "_modal", False):
            # Called from a script, or no event loop (blender -b): convert in place.
            while not self._batch.step():
                self._batch.current.process.wait()
            result = self._finish(context)
            wm.progress_end()
            return result
        self._timer = wm.event_timer_add(0.1, window=context.window)
        wm.modal_handler_add(self)
        self._batch.step()
        self._status(context)
        return {'RUNNING_MODAL'}

    def modal(self, context, event):
        if event.type == 'ESC':
            self.cancel(context)
            self.report({'WARNING'}, "Import cancelled")
            return {'CANCELLED'}
        if event.type == 'TIMER':
            if self._batch.step():
                result = self._finish(context)
                self._end_modal(context)
                return result
            self._status(context)
        # Blender stays usable while syvimport works; the plants come in at the end.
        return {'PASS_THROUGH'}

    def cancel(self, context):
        self._batch.cancel()
        self._end_modal(context)

    def _status(self, context):
        context.window_manager.progress_update(100 * self._batch.progress())
        if context.workspace:
            context.workspace.status_text_set("Converting %s (Esc cancels)" % self._batch.current_name())

    def _end_modal(self, context):
        wm = context.window_manager
        wm.event_timer_remove(self._timer)
        wm.progress_end()
        if context.workspace:
            context.workspace.status_text_set(None)

    def _finish(self, context):
        wm = context.window_manager
        roots = self._batch.import_all(context, lambda f: wm.progress_update(100 * f))
        for kind, text in self._batch.reports:
            self.report({kind}, text)
        return {'FINISHED'} if roots else {'CANCELLED'}

    def draw(self, context):
        self.layout.prop(self, "scale")
        self.layout.prop(self, "strict")


class SylvoPreferences(bpy.types.AddonPreferences):
    bl_idname = __name__

    program: StringProperty(
        name="syvimport", subtype='FILE_PATH',
        description="The syvimport program, used when none came with the add-on and none is on PATH")

    def draw(self, context):
        self.layout.prop(self, "program")
        found = find_program(context)
        self.layout.label(text="Using " + found if found else "syvimport not found", icon='INFO')


def menu_import(self, context):
    self.layout.operator(IMPORT_SCENE_OT_sylvo.bl_idname, text="Sylvo plant (.syv)")


def register():
    bpy.utils.register_class(SylvoPreferences)
    bpy.utils.register_class(IMPORT_SCENE_OT_sylvo)
    bpy.types.TOPBAR_MT_file_import.append(menu_import)


def unregister():
    bpy.types.TOPBAR_MT_file_import.remove(menu_import)
    bpy.utils.unregister_class(IMPORT_SCENE_OT_sylvo)
    bpy.utils.unregister_class(SylvoPreferences)

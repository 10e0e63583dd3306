#include "app/plugin_import.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <type_traits>
#include <vector>

#include "app/side_library.h"
#include "host/sdk/sdk.h"

namespace syv::app {
namespace {

using namespace hostsdk;

// The title under which the plug-in logs what its file check found.
constexpr const char* kCheckLogTitle = "SYV Check";

// The host's log, shown by the converter as the lines arrive; the entry that
// says why an import failed is kept as the failure's reason instead.
class ForwardingLog : public LogSys {
 public:
  explicit ForwardingLog(const ImportCallbacks& cb) : cb_(cb) {}
  void LogEntry(DWORD type, const char* title, const char* text, DWORD code) override {
    LogSys::LogEntry(type, title, text, code);
    if (!text) return;
    if (code == LOGCODE_IMPORT_FAILED) {
      failure = text;
      return;
    }
    // The plug-in's file check logs its findings as information under its own title.
    if ((type & SYSLOG_INFO) && title && std::string(title) == kCheckLogTitle) {
      if (cb_.finding) cb_.finding(text);
      return;
    }
    if (!cb_.message) return;
    if (type & SYSLOG_ERROR) cb_.message(true, text);
    else if (type & SYSLOG_WARN) cb_.message(false, text);
  }

  std::string failure;

 private:
  const ImportCallbacks& cb_;
};

// Progress and cancel go to the converter's terminal line and Ctrl-C.
class ConverterHost : public Interface {
 public:
  ConverterHost(Scene& scene, const ImportCallbacks& cb) : Interface(scene), cb_(cb), log_(cb) {}
  BOOL ProgressStart(const char* title, BOOL, LPTHREAD_START_ROUTINE fn, void* arg) override {
    if (cb_.progressBegin) cb_.progressBegin(title ? title : "");
    if (fn) fn(arg);
    return TRUE;
  }
  void ProgressUpdate(int percent, BOOL, const char* title) override {
    if (cb_.progressUpdate) cb_.progressUpdate(percent, title ? title : "");
  }
  void ProgressEnd() override {
    if (cb_.progressEnd) cb_.progressEnd();
  }
  BOOL GetCancel() override { return (cb_.cancelled && cb_.cancelled()) ? TRUE : FALSE; }
  LogSys* Log() override { return &log_; }
  const std::string& failure() const { return log_.failure; }

 private:
  const ImportCallbacks& cb_;
  ForwardingLog log_;
};

struct Library {
  void* handle = nullptr;
  ~Library() {
    if (handle) ::dlclose(handle);
  }
};

std::string textureOf(Mtl* material) {
  Texmap* map = material->GetSubTexmap(ID_DI);
  if (map && map->kind() == MtlKind::TintTex) map = map->GetSubTexmap(0);
  if (map && map->kind() == MtlKind::BitmapTex) return static_cast<BitmapTex*>(map)->GetMapName();
  return {};
}

void addMaterial(Model& model, uint32_t id, Mtl* m) {
  if (!m || m->kind() != MtlKind::StdMat) return;
  auto* std = static_cast<StdMat2*>(m);
  MaterialInfo info;
  info.id = id;
  info.name = std->GetName().str();
  const Color d = std->GetDiffuse(0);
  info.diffuse = {d.r, d.g, d.b};
  info.texture = textureOf(std);
  model.materials.push_back(info);
}

TriFace toTriFace(const Face& f, const TVFace* tv) {
  TriFace t;
  t.v = {f.v[0], f.v[1], f.v[2]};
  if (tv) t.tv = {tv->t[0], tv->t[1], tv->t[2]};
  t.smoothing = f.getSmGroup();
  t.material = f.getMatID();
  return t;
}

// Huge pages of a host array that the widening has read to the end, for the
// model's faces to take over instead of fresh ones.
void offerSpent(const void* data, size_t readBytes, size_t& offered, std::vector<char*>& spent) {
  char* base = static_cast<char*>(const_cast<void*>(data));
  if (reinterpret_cast<uintptr_t>(base) % detail::kHugePage) return;
  for (; offered + detail::kHugePage <= readBytes; offered += detail::kHugePage)
    spent.push_back(base + offered);
}

// The model's faces, front to back from the host's faces and texture faces.
// Those two are together as large as the wider faces, and fresh memory is
// dear: each whole huge page of theirs read through is moved under the next
// huge page of the output, so hardly a page is newly cleared. The materials
// are counted on the way.
HostArray<TriFace> facesOf(Mesh& mesh, bool withTexture, MeshTally& tally) {
  static_assert(std::is_trivially_copyable_v<TriFace>);
  const size_t n = mesh.faces.size();
  const Face* in = mesh.faces.data();
  const TVFace* tv = withTexture ? mesh.tvFace.data() : nullptr;
  HostArray<TriFace> out;
  if (!out.reserve(n)) throw std::bad_alloc();
  char* const dest = reinterpret_cast<char*>(out.data());
  constexpr size_t kStep = detail::kHugePage / sizeof(TriFace);
  std::vector<char*> spent;
  size_t facesOffered = 0, tvOffered = 0;
  MaterialRuns runs;
  for (size_t first = 0; first < n; first += kStep) {
    const size_t last = std::min(n, first + kStep);
    // Only a huge page the faces fill wholly: the rest of the output stays zero.
    if (last - first == kStep && !spent.empty() &&
        reinterpret_cast<uintptr_t>(dest) % detail::kHugePage == 0 &&
        detail::movePages(spent.back(), dest + first * sizeof(TriFace), detail::kHugePage))
      spent.pop_back();
    for (size_t i = first; i < last; ++i) {
      out[i] = toTriFace(in[i], tv ? tv + i : nullptr);
      runs.add(i, out[i].material);
    }
    offerSpent(in, last * sizeof(Face), facesOffered, spent);
    if (tv) offerSpent(tv, last * sizeof(TVFace), tvOffered, spent);
  }
  runs.finish(n, tally);
  out.resize(n);
  mesh.faces.release();
  mesh.tvFace.release();
  return out;
}

// The host's box is the statistics' box (the finite vertices') when every
// vertex was finite and the box left its starting corners (+-1e30) on every
// axis: both take the same minima and maxima in the same order from there.
void tallyBounds(const Mesh& mesh, MeshTally& tally) {
  const Box3 box = mesh.getBoundingBox();
  if (mesh.verts.empty() || !mesh.verticesFinite()) return;
  for (int k = 0; k < 3; ++k)
    if (!(box.pmin[k] < 1e30f && box.pmax[k] > -1e30f)) return;
  tally.bounded = true;
  tally.min = {box.pmin.x, box.pmin.y, box.pmin.z};
  tally.max = {box.pmax.x, box.pmax.y, box.pmax.z};
}

bool copyNode(INode* node, bool withFaces, Model& model, MeshTally& tally, std::string& error) {
  model.nodeName = node->GetName();
  Object* object = node->GetObjectRef();
  if (!object || object->ClassID() != triObjectClassID) {
    error = "the plug-in placed a node without a triangle mesh";
    return false;
  }
  // The host's arrays become the model's, without a copy: the host's scene
  // is not read for geometry again.
  Mesh& mesh = static_cast<TriObject*>(object)->GetMesh();
  TriMesh& out = model.mesh;
  tallyBounds(mesh, tally);
  static_assert(sizeof(Point3) == sizeof(Vec3f) && sizeof(UVVert) == sizeof(Vec3f));
  out.vertices = std::move(mesh.verts).takeAs<Vec3f>(mesh.verts.size());
  out.tverts = std::move(mesh.tVerts).takeAs<Vec3f>(mesh.tVerts.size());
  out.hasTexCoords = !mesh.faces.empty() && mesh.tvFace.size() == mesh.faces.size();
  if (withFaces) {
    out.faces = facesOf(mesh, out.hasTexCoords, tally);
  } else {
    MaterialRuns runs;
    const Face* face = mesh.faces.data();
    for (size_t i = 0; i < mesh.faces.size(); ++i) runs.add(i, face[i].getMatID());
    runs.finish(mesh.faces.size(), tally);
  }
  Mtl* material = node->GetMtl();
  if (material && material->kind() == MtlKind::MultiMtl) {
    for (int id = 0; id < material->NumSubMtls(); ++id)
      addMaterial(model, uint32_t(id), material->GetSubMtl(id));
  } else if (material) {
    addMaterial(model, 0, material);
  }
  return true;
}

}  // namespace

void passLimitsToPlugin(const ImportLimits& limits) {
  ::setenv("SYV_MAX_TRIANGLES", std::to_string(limits.maxTriangles).c_str(), 1);
  ::setenv("SYV_MAX_PLACEMENTS", std::to_string(limits.maxPlacements).c_str(), 1);
  ::setenv("SYV_MAX_DEPTH", std::to_string(limits.maxDepth).c_str(), 1);
  ::setenv("SYV_MAX_LINE_LENGTH", std::to_string(limits.maxLineLength).c_str(), 1);
}

std::string defaultPluginPath() { return besideProgram("libsyvimp.so"); }

ImportResult importWithPlugin(const std::string& pluginPath, const std::string& plantPath,
                              const std::vector<std::string>& textureFolders,
                              const ImportCallbacks& callbacks, bool withFaces) {
  ImportResult result;
  result.status = ImportStatus::NoPlugin;
  Library lib;
  lib.handle = ::dlopen(pluginPath.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!lib.handle) {
    const char* why = ::dlerror();
    // dlerror names the file already.
    result.error = std::string("cannot load the plug-in: ") + (why ? why : pluginPath.c_str());
    return result;
  }
  auto version = reinterpret_cast<LibVersionFn>(::dlsym(lib.handle, "LibVersion"));
  auto count = reinterpret_cast<LibNumberClassesFn>(::dlsym(lib.handle, "LibNumberClasses"));
  auto classDesc = reinterpret_cast<LibClassDescFn>(::dlsym(lib.handle, "LibClassDesc"));
  auto description = reinterpret_cast<LibDescriptionFn>(::dlsym(lib.handle, "LibDescription"));
  if (!version || !count || !classDesc || !description) {
    result.error = pluginPath + ": not a plug-in (LibVersion, LibNumberClasses, LibClassDesc or "
                                "LibDescription missing)";
    return result;
  }
  if (version() != HOST_VERSION_WORD) {
    result.error = pluginPath + ": plug-in built for another host version";
    return result;
  }
  ClassDesc* importer = nullptr;
  for (int i = 0; i < count() && !importer; ++i) {
    ClassDesc* cd = classDesc(i);
    if (cd && cd->SuperClassID() == SCENE_IMPORT_CLASS_ID) importer = cd;
  }
  if (!importer) {
    result.error = pluginPath + ": the plug-in offers no scene importer";
    return result;
  }
  std::unique_ptr<SceneImport> imp(static_cast<SceneImport*>(importer->Create(FALSE)));
  if (!imp) {
    result.error = pluginPath + ": the plug-in's importer could not be created";
    return result;
  }

  Scene scene;
  ImpInterface importInterface(scene);
  ConverterHost host(scene, callbacks);
  for (const std::string& folder : textureFolders) AddMapDir(folder);
  const int status = imp->DoImport(plantPath.c_str(), &importInterface, &host, TRUE);
  imp.reset();  // its code lives in the library
  ClearMapDirs();

  if (status == IMPEXP_CANCEL) {
    result.status = ImportStatus::Cancelled;
  } else if (status != IMPEXP_SUCCESS) {
    result.status = ImportStatus::Failed;
    result.error = host.failure();
  } else if (scene.nodes().empty()) {
    result.status = ImportStatus::Failed;
    result.error = "the plug-in reported success but placed no node";
  } else if (!copyNode(scene.nodes().back(), withFaces, result.model, result.tally,
                       result.error)) {
    result.status = ImportStatus::Failed;
  } else {
    result.status = ImportStatus::Done;
  }
  return result;
}

}  // namespace syv::app

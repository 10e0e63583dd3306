#include "app/exporter.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <memory>

#include "app/fbx_binary.h"
#include "app/fbx_geometry.h"
#include "app/fbx_scene.h"
#include "app/gltf_writer.h"
#include "app/lod.h"
#include "app/mesh_order.h"
#include "app/obj_writer.h"
#include "app/side_library.h"
#include "app/submeshes.h"
#include "app/textures.h"

namespace syv::app {
namespace {

bool isGltf(Format f) { return f == Format::Glb || f == Format::Gltf; }

// Pieces are named after the plant and its materials, so that they read in a
// host's outliner; a material without a name takes the plant's and its id.
std::string materialName(const Model& model, const MaterialInfo* info, uint32_t id) {
  if (info && !info->name.empty()) return info->name;
  return (model.nodeName.empty() ? std::string("plant") : model.nodeName) + "_" + std::to_string(id);
}

// One image per distinct resolved file, so that a .glb stores it once.
struct TextureTable {
  std::vector<GltfImage> images;                  // glTF, in order of first use
  std::map<std::string, int> imageOf;             // resolved path -> image, -1 if unusable
  std::map<std::string, std::string> referenceOf;  // OBJ and FBX: resolved path -> reference
  std::map<std::string, std::string> copies;       // copy beside the output -> bytes
};

bool sameFile(const std::string& a, const std::string& b) {
  std::error_code ec;
  return std::filesystem::equivalent(a, b, ec);
}

// A copy of `found` in the output's folder, under a name no other file of
// this output uses and that holds nothing else already; its bare name when
// `found` is there already.
std::string copyBeside(const std::string& found, const std::string& bytes, const ExportRequest& req,
                       TextureTable& table) {
  const std::filesystem::path dir = std::filesystem::path(req.outputPath).parent_path();
  auto pathOf = [&](const std::string& name) { return (dir / name).string(); };
  const std::string name = copyName(found, [&](const std::string& n) {
    const std::string p = pathOf(n);
    if (p == req.outputPath || table.copies.count(p)) return true;
    std::error_code ec;
    std::string old;
    return std::filesystem::exists(p, ec) && !sameFile(p, found) && (!readFile(p, old) || old != bytes);
  });
  if (!sameFile(pathOf(name), found)) table.copies[pathOf(name)] = bytes;
  return name;
}

// Where a material's texture is: an image (glTF) or a reference (OBJ, FBX);
// none when there is none to give (a texture not found was reported after
// the import; one that cannot be used is a warning here).
struct TextureUse {
  int image = -1;
  std::string reference;
};

TextureUse textureUse(const MaterialInfo& info, const ExportRequest& req, TextureTable& table,
                      std::vector<std::string>& warnings) {
  TextureUse use;
  if (info.texture.empty()) return use;
  const std::string found = resolveTexture(req.textureFolders, info.texture);
  if (found.empty()) return use;
  const bool copy = req.copyTextures && req.format != Format::Glb;
  if (!isGltf(req.format)) {
    auto known = table.referenceOf.find(found);
    if (known == table.referenceOf.end()) {
      std::string bytes;
      if (copy && !readFile(found, bytes)) {
        warnings.push_back("texture \"" + found + "\" cannot be read; the material keeps its colour only");
        known = table.referenceOf.emplace(found, std::string()).first;
      } else {
        known = table.referenceOf
                    .emplace(found, copy ? copyBeside(found, bytes, req, table)
                                         : relativeTo(req.outputPath, found))
                    .first;
      }
    }
    use.reference = known->second;
    return use;
  }
  auto known = table.imageOf.find(found);
  if (known != table.imageOf.end()) {
    use.image = known->second;
    return use;
  }
  std::string bytes;
  if (!readFile(found, bytes)) {
    warnings.push_back("texture \"" + found + "\" cannot be read; the material keeps its colour only");
    return use;
  }
  const ImageKind kind = imageKind(bytes);
  if (kind == ImageKind::Other) {
    warnings.push_back("texture \"" + found +
                       "\" is neither PNG nor JPEG, which glTF requires; the material keeps its "
                       "colour only");
    table.imageOf[found] = -1;
    return use;
  }
  GltfImage image;
  if (req.format == Format::Glb) {
    image.name = std::filesystem::path(found).filename().string();
    image.mimeType = kind == ImageKind::Png ? "image/png" : "image/jpeg";
    image.bytes = std::move(bytes);
  } else {
    image.uri = uriEncodePath(copy ? copyBeside(found, bytes, req, table) : relativeTo(req.outputPath, found));
  }
  use.image = int(table.images.size());
  table.images.push_back(std::move(image));
  table.imageOf[found] = use.image;
  return use;
}

Vec3f clampedDiffuse(const MaterialInfo* info) {
  const Vec3f d = info ? info->diffuse : Vec3f{0.5f, 0.5f, 0.5f};
  return {std::clamp(d[0], 0.f, 1.f), std::clamp(d[1], 0.f, 1.f), std::clamp(d[2], 0.f, 1.f)};
}

// Which submesh's array each of the stand-ins' array records is: the
// Geometry records under Objects follow the scene's meshes in order.
bool mapGeometryArrays(const FbxDocument& doc, size_t meshCount,
                       std::map<const FbxNode*, std::pair<size_t, FbxGeometry::Array>>& arrays) {
  size_t mesh = 0;
  for (const FbxNode& top : doc.nodes) {
    if (top.name != "Objects") continue;
    for (const FbxNode& geometry : top.children) {
      if (geometry.name != "Geometry") continue;
      if (mesh == meshCount) return false;
      size_t found = 0;
      auto take = [&](const FbxNode& node) {
        FbxGeometry::Array array;
        if (!FbxGeometry::arrayNamed(node.name, array)) return;
        arrays[&node] = {mesh, array};
        ++found;
      };
      for (const FbxNode& child : geometry.children) {
        take(child);
        if (child.name == "LayerElementNormal" || child.name == "LayerElementUV")
          for (const FbxNode& leaf : child.children) take(leaf);
      }
      if (found != 5) return false;
      ++mesh;
    }
  }
  return mesh == meshCount;
}


// Coordinates are written in metres (the glTF unit); FBX readers scale by the
// declared centimetres per unit, which Assimp leaves at 1.
void declareMetres(FbxDocument& doc) {
  double cmPerUnit = 100.0;
  std::string value(1, 'D');
  value.append(reinterpret_cast<const char*>(&cmPerUnit), sizeof cmPerUnit);
  for (FbxNode& top : doc.nodes) {
    if (top.name != "GlobalSettings") continue;
    for (FbxNode& props : top.children) {
      if (props.name != "Properties70") continue;
      for (FbxNode& p : props.children) {
        if (p.name != "P" || p.properties.size() < 5 || p.properties.back()[0] != 'D') continue;
        const std::string& key = p.properties[0];
        if (key.size() > 5 && key[0] == 'S' &&
            (key.compare(5, std::string::npos, "UnitScaleFactor") == 0 ||
             key.compare(5, std::string::npos, "OriginalUnitScaleFactor") == 0))
          p.properties.back() = value;
      }
    }
  }
}

// Reproducible builds: with SOURCE_DATE_EPOCH set, the file's creation stamp is
// that time (UTC) instead of the clock's, so the same plant gives the same bytes.
void stampCreationTime(FbxDocument& doc) {
  const char* epoch = std::getenv("SOURCE_DATE_EPOCH");
  if (!epoch || !*epoch) return;
  char* end = nullptr;
  const long long seconds = std::strtoll(epoch, &end, 10);
  if (*end != '\0' || seconds < 0) return;
  const std::time_t t = std::time_t(seconds);
  std::tm utc{};
  if (!gmtime_r(&t, &utc)) return;
  const std::pair<const char*, int> fields[] = {
      {"Year", utc.tm_year + 1900}, {"Month", utc.tm_mon + 1}, {"Day", utc.tm_mday},
      {"Hour", utc.tm_hour},        {"Minute", utc.tm_min},    {"Second", utc.tm_sec},
      {"Millisecond", 0}};
  for (FbxNode& top : doc.nodes) {
    if (top.name != "FBXHeaderExtension") continue;
    for (FbxNode& stamp : top.children) {
      if (stamp.name != "CreationTimeStamp") continue;
      for (FbxNode& field : stamp.children)
        for (const auto& [name, value] : fields)
          if (field.name == name && field.properties.size() == 1 &&
              field.properties[0].size() == 5 && field.properties[0][0] == 'I')
            for (int i = 0; i < 4; ++i) field.properties[0][1 + size_t(i)] = char((value >> (8 * i)) & 0xff);
    }
  }
}

}  // namespace

bool parseFormat(std::string name, Format& format) {
  if (!name.empty() && name[0] == '.') name.erase(0, 1);
  for (char& c : name) c = char(std::tolower(static_cast<unsigned char>(c)));
  if (name == "glb") format = Format::Glb;
  else if (name == "gltf") format = Format::Gltf;
  else if (name == "obj") format = Format::Obj;
  else if (name == "fbx") format = Format::Fbx;
  else return false;
  return true;
}

bool formatFromPath(const std::string& path, Format& format) {
  const std::string ext = std::filesystem::path(path).extension().string();
  return !ext.empty() && parseFormat(ext, format);
}

const char* formatName(Format format) {
  switch (format) {
    case Format::Glb: return "glb";
    case Format::Gltf: return "gltf";
    case Format::Obj: return "obj";
    case Format::Fbx: return "fbx";
  }
  return "";
}

namespace {

// What every format of one output file needs: its levels (the first gives the
// materials, the others line up mesh for mesh with it), names and texture table.
struct FileJob {
  const Model& model;
  const ExportRequest& req;
  std::vector<SubmeshSet> levels;
  const std::string& path;
  const std::string& nodeName;
  std::vector<std::string> levelNames;  // PLANT_LODn, with levels only
  std::vector<std::string> meshNames;   // of the full plant's meshes
  TextureTable textures;

  void step(int percent, const char* what) const {
    if (req.progress) req.progress(percent, what);
  }
  const SubmeshSet& subs() const { return levels.front(); }
  // Every format gets at least one material: some readers expect one.
  size_t materialCount() const { return std::max<size_t>(subs().meshes.size(), 1); }
  uint32_t materialId(size_t i) const {
    return !subs().meshes.empty() ? subs().meshes[i].material
                                  : (model.materials.empty() ? 0 : model.materials.front().id);
  }
  // PLANT_MATERIAL, one per material id (PLANT_LODn_MATERIAL in a level).
  std::string meshName(size_t level, const Submesh& sub) const {
    return (levelNames.empty() ? nodeName : levelNames[level]) + "_" +
           materialName(model, findMaterial(model, sub.material), sub.material);
  }
};

FileJob makeJob(const Model& model, const ExportRequest& req, std::vector<SubmeshSet>&& levels,
                const std::string& path, const std::string& nodeName) {
  FileJob job{model, req, std::move(levels), path, nodeName, {}, {}, {}};
  if (job.levels.size() > 1)
    for (size_t l = 0; l < job.levels.size(); ++l)
      job.levelNames.push_back(nodeName + "_LOD" + std::to_string(l));
  for (const Submesh& sub : job.subs().meshes) job.meshNames.push_back(job.meshName(0, sub));
  return job;
}

// glTF and OBJ, written straight from the submeshes.
bool writeDirect(FileJob& job, std::map<std::string, std::string>& files, Spools& spooled,
                 std::vector<std::string>& warnings, std::string& error) {
  std::vector<OutputMaterial> materials;
  for (size_t i = 0; i < job.materialCount(); ++i) {
    const uint32_t id = job.materialId(i);
    const MaterialInfo* info = findMaterial(job.model, id);
    OutputMaterial m;
    m.name = materialName(job.model, info, id);
    m.color = clampedDiffuse(info);
    if (info) {
      const TextureUse use = textureUse(*info, job.req, job.textures, warnings);
      m.image = use.image;
      m.texture = use.reference;
    }
    materials.push_back(std::move(m));
  }
  job.step(50, "writing");
  if (job.req.format == Format::Obj) {
    auto spool = std::make_unique<SpooledFile>(job.path);
    error = spool->open();
    if (!error.empty()) return false;
    writeObj(materials, job.meshNames, std::move(job.levels.front()), job.path, files, spool.get());
    spooled.push_back(std::move(spool));
  } else {
    GltfScene scene;
    scene.nodeName = job.nodeName;
    // One mesh, a primitive per material.
    scene.meshName = job.meshNames.empty() ? std::string() : job.nodeName;
    scene.levelNames = std::move(job.levelNames);
    scene.materials = std::move(materials);
    scene.images = std::move(job.textures.images);
    scene.compress = job.req.compress;
    error = writeGltf(scene, std::move(job.levels), job.path, job.req.format == Format::Glb, files,
                      &spooled);
    if (!error.empty()) return false;
  }
  for (auto& [copy, bytes] : job.textures.copies) files.emplace(copy, std::move(bytes));
  return true;
}

// The scene around the geometry: materials, the node (with a child per
// level), a stand-in per mesh; `geometries` gets the real arrays, in the
// scene's mesh order.
FbxScene fbxScene(FileJob& job, std::vector<FbxGeometry>& geometries, std::vector<std::string>& warnings) {
  FbxScene scene;
  scene.root.name = job.nodeName;
  for (size_t i = 0; i < job.materialCount(); ++i) {
    const uint32_t id = job.materialId(i);
    const MaterialInfo* info = findMaterial(job.model, id);
    FbxSceneMaterial m;
    m.name = materialName(job.model, info, id);
    m.diffuse = clampedDiffuse(info);
    if (info) m.texture = textureUse(*info, job.req, job.textures, warnings).reference;
    scene.materials.push_back(std::move(m));
  }
  auto attach = [&](FbxSceneNode& node, size_t level) {
    for (size_t i = 0; i < job.levels[level].meshes.size(); ++i) {
      const Submesh& sub = job.levels[level].meshes[i];
      if (sub.indices.empty()) continue;
      node.meshes.push_back(
          {level == 0 && job.levelNames.empty() ? job.meshNames[i] : job.meshName(level, sub), unsigned(i)});
      geometries.emplace_back(sub);
    }
  };
  if (job.levelNames.empty()) {
    attach(scene.root, 0);
  } else {
    for (size_t l = 0; l < job.levels.size(); ++l) {
      scene.root.children.push_back({job.levelNames[l], {}, {}});
      attach(scene.root.children.back(), l);
    }
  }
  return scene;
}

// Assimp (in its own library) writes the scene into memory; its file is read
// back, mended and written again with the real arrays streamed in place of
// the stand-ins'.
bool writeFbx(FileJob& job, std::map<std::string, std::string>& files, Spools& spooled,
              std::vector<std::string>& warnings, std::string& error) {
  std::vector<FbxGeometry> geometries;
  const FbxScene scene = fbxScene(job, geometries, warnings);
  for (const FbxGeometry& geometry : geometries)
    if (geometry.largestArray() > 0xffffffffu / 8) {
      error = "the mesh is too large for FBX's 32-bit array sizes";
      return false;
    }
  job.step(50, "writing");
  std::string why;
  auto write = reinterpret_cast<WriteFbxSceneFn>(sideLibrarySymbol(kFbxLibrary, kWriteFbxSceneSymbol, why));
  if (!write) {
    error = "cannot load the FBX writer: " + why;
    return false;
  }
  std::map<std::string, std::string> written;
  if (!write(scene, job.path, written, error)) return false;
  auto main = written.find(job.path);
  if (main == written.end()) {
    error = std::string("Assimp wrote no ") + formatName(job.req.format) + " file";
    return false;
  }
  FbxDocument doc;
  if (!readFbxBinary(main->second, doc, error)) {
    error = "cannot re-read the FBX that Assimp wrote: " + error;
    return false;
  }
  release(main->second);
  declareMetres(doc);
  stampCreationTime(doc);
  std::map<const FbxNode*, std::pair<size_t, FbxGeometry::Array>> arrays;
  if (!mapGeometryArrays(doc, geometries.size(), arrays)) {
    error = "the FBX that Assimp wrote does not hold one geometry per mesh";
    return false;
  }
  // The tree around the arrays, as it is mended, checked on its own: the
  // arrays' records are sized by the writer from their counts.
  const std::string fault = checkFbxStructure(writeFbxBinary(doc));
  if (!fault.empty()) {
    error = "the rewritten FBX is unsound: " + fault;
    return false;
  }
  auto spool = std::make_unique<SpooledFile>(job.path);
  error = spool->open();
  if (!error.empty()) return false;
  FbxOut out(spool.get());
  writeFbxBinary(
      doc,
      [&](const FbxNode& node, int width, FbxOut& into) {
        auto it = arrays.find(&node);
        if (it == arrays.end()) return false;
        geometries[it->second.first].write(it->second.second, width, into);
        return true;
      },
      out);
  doc = {};
  geometries.clear();
  job.levels.clear();
  spooled.push_back(std::move(spool));
  written.erase(main);
  for (auto& [copy, bytes] : job.textures.copies) written.emplace(copy, std::move(bytes));
  for (auto& [name, bytes] : written) files.emplace(name, std::move(bytes));
  return true;
}

// One output file at `path`: the full plant alone, or with its levels as
// children nodes of `nodeName` (`levels` then line up mesh for mesh with the
// first, which gives the materials). Warnings of textures go to `warnings`.
bool writeFile(const Model& model, const ExportRequest& req, std::vector<SubmeshSet>&& levels,
               const std::string& path, const std::string& nodeName, ExportResult& result,
               std::vector<std::string>& warnings, std::string& error) {
  FileJob job = makeJob(model, req, std::move(levels), path, nodeName);
  job.step(40, "materials");
  if (req.format == Format::Fbx) return writeFbx(job, result.files, result.spooled, warnings, error);
  return writeDirect(job, result.files, result.spooled, warnings, error);
}

size_t triangleCount(const SubmeshSet& set) {
  size_t n = 0;
  for (const Submesh& sub : set.meshes) n += sub.indices.size() / 3;
  return n;
}

}  // namespace

std::string lodFilePath(const std::string& outputPath, size_t level) {
  std::filesystem::path p(outputPath);
  const std::string ext = p.extension().string();
  return p.replace_extension().string() + "_LOD" + std::to_string(level) + ext;
}

namespace {

// The plant welded into its submeshes, then its levels of detail, each in GPU order.
std::vector<SubmeshSet> buildLevels(const Model& model, const ExportRequest& req,
                                    ExportResult& result, TriMesh* spare) {
  if (req.progress) req.progress(0, "meshes");
  std::vector<SubmeshSet> levels;
  levels.reserve(req.lodShares.size() + 1);  // `subs` stays where it is
  levels.push_back(buildSubmeshes(model.mesh, req.scale));
  const SubmeshSet& subs = levels.front();
  if (subs.droppedFaces)
    result.warnings.push_back(std::to_string(subs.droppedFaces) +
                              " triangles with a bad index or a non-finite coordinate were left out");
  result.triangles = triangleCount(subs);
  if (!req.lodShares.empty() && req.progress) req.progress(10, "levels of detail");
  for (double share : req.lodShares) {
    levels.push_back(simplifyLevel(subs, share));
    result.levelTriangles.push_back(triangleCount(levels.back()));
  }
  // GPU order last: the levels are simplified from the plant as welded.
  Scratch scratch;
  if (spare) {
    auto lend = [&](auto& array) {
      if (array.capacity() > 0)
        scratch.regions.push_back({reinterpret_cast<char*>(array.data()),
                                   array.capacity() * sizeof(array[0])});
    };
    lend(spare->faces);
    lend(spare->tverts);
    lend(spare->vertices);
  }
  for (SubmeshSet& level : levels) optimizeOrder(level, &scratch);
  if (spare) *spare = TriMesh();
  return levels;
}

bool exportLevels(const Model& model, const ExportRequest& req, ExportResult& result,
                  std::string& error, TriMesh* spare) {
  std::vector<SubmeshSet> levels = buildLevels(model, req, result, spare);
  const std::string nodeName = model.nodeName.empty() ? "plant" : model.nodeName;
  if (!req.lodFiles)
    return writeFile(model, req, std::move(levels), req.outputPath, nodeName, result,
                     result.warnings, error);
  for (size_t l = 1; l < levels.size(); ++l) {
    SubmeshSet& level = levels[l];
    level.meshes.erase(std::remove_if(level.meshes.begin(), level.meshes.end(),
                                      [](const Submesh& s) { return s.indices.empty(); }),
                       level.meshes.end());
    std::vector<SubmeshSet> one;
    one.push_back(std::move(level));
    // Textures are looked up once: the same warning would only repeat.
    std::vector<std::string> repeated;
    if (!writeFile(model, req, std::move(one), lodFilePath(req.outputPath, l),
                   nodeName + "_LOD" + std::to_string(l), result, repeated, error))
      return false;
  }
  levels.resize(1);
  return writeFile(model, req, std::move(levels), req.outputPath, nodeName, result,
                   result.warnings, error);
}

}  // namespace

bool exportModel(const Model& model, const ExportRequest& req, ExportResult& result,
                 std::string& error) {
  return exportLevels(model, req, result, error, nullptr);
}

bool exportModelConsuming(Model& model, const ExportRequest& req, ExportResult& result,
                          std::string& error) {
  return exportLevels(model, req, result, error, &model.mesh);
}

}  // namespace syv::app

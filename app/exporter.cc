#include "app/exporter.h"

#include <assimp/Exporter.hpp>
#include <assimp/IOStream.hpp>
#include <assimp/IOSystem.hpp>
#include <assimp/material.h>
#include <assimp/scene.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <memory>

#include "app/fbx_binary.h"
#include "app/gltf_writer.h"
#include "app/mesh_order.h"
#include "app/obj_writer.h"
#include "app/submeshes.h"
#include "app/textures.h"

namespace syv::app {
namespace {

// Assimp writes through this into memory, so that nothing touches the disk
// before the whole output (companion files included) is known to be good.
class MemoryStream : public Assimp::IOStream {
 public:
  explicit MemoryStream(std::string& data) : data_(data) { data_.clear(); }
  size_t Read(void*, size_t, size_t) override { return 0; }
  size_t Write(const void* buffer, size_t size, size_t count) override {
    const size_t n = size * count;
    if (pos_ + n > data_.size()) data_.resize(pos_ + n);
    std::memcpy(&data_[pos_], buffer, n);
    pos_ += n;
    return count;
  }
  aiReturn Seek(size_t offset, aiOrigin origin) override {
    size_t to = origin == aiOrigin_SET ? offset
                : origin == aiOrigin_CUR ? pos_ + offset
                                         : data_.size() + offset;
    // Writers seek past the end to leave room for a header written last.
    pos_ = to;
    return aiReturn_SUCCESS;
  }
  size_t Tell() const override { return pos_; }
  size_t FileSize() const override { return std::max(data_.size(), pos_); }
  void Flush() override {}

 private:
  std::string& data_;
  size_t pos_ = 0;
};

class CaptureSystem : public Assimp::IOSystem {
 public:
  explicit CaptureSystem(std::map<std::string, std::string>& files) : files_(files) {}
  bool Exists(const char* file) const override { return files_.count(file) != 0; }
  char getOsSeparator() const override { return '/'; }
  Assimp::IOStream* Open(const char* file, const char* mode) override {
    if (!std::strchr(mode, 'w')) return nullptr;
    return new MemoryStream(files_[file]);
  }
  void Close(Assimp::IOStream* stream) override { delete stream; }

 private:
  std::map<std::string, std::string>& files_;
};

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

aiMaterial* makeMaterial(const Model& model, const MaterialInfo* info, uint32_t id,
                         const ExportRequest& req, TextureTable& textures,
                         std::vector<std::string>& warnings) {
  auto* mat = new aiMaterial();
  aiString name(materialName(model, info, id));
  mat->AddProperty(&name, AI_MATKEY_NAME);
  const Vec3f d = clampedDiffuse(info);
  aiColor4D diffuse(d[0], d[1], d[2], 1.f);
  mat->AddProperty(&diffuse, 1, AI_MATKEY_COLOR_DIFFUSE);
  mat->AddProperty(&diffuse, 1, AI_MATKEY_BASE_COLOR);
  // Bark and leaves are not metal; thin leaves are seen from both sides.
  const float metallic = 0.f, roughness = 0.8f;
  mat->AddProperty(&metallic, 1, AI_MATKEY_METALLIC_FACTOR);
  mat->AddProperty(&roughness, 1, AI_MATKEY_ROUGHNESS_FACTOR);
  const int twoSided = 1;
  mat->AddProperty(&twoSided, 1, AI_MATKEY_TWOSIDED);
  if (info) {
    const std::string ref = textureUse(*info, req, textures, warnings).reference;
    if (!ref.empty()) {
      aiString path(ref);
      mat->AddProperty(&path, AI_MATKEY_TEXTURE_DIFFUSE(0));
    }
  }
  return mat;
}

aiMesh* makeMesh(const Submesh& sub, unsigned materialIndex, const std::string& name) {
  auto* mesh = new aiMesh();
  mesh->mPrimitiveTypes = aiPrimitiveType_TRIANGLE;
  mesh->mMaterialIndex = materialIndex;
  mesh->mName = aiString(name);
  const unsigned n = unsigned(sub.positions.size());
  mesh->mNumVertices = n;
  mesh->mVertices = new aiVector3D[n];
  mesh->mNormals = new aiVector3D[n];
  mesh->mTextureCoords[0] = new aiVector3D[n];
  mesh->mNumUVComponents[0] = 2;
  for (unsigned i = 0; i < n; ++i) {
    mesh->mVertices[i] = aiVector3D(sub.positions[i][0], sub.positions[i][1], sub.positions[i][2]);
    mesh->mNormals[i] = aiVector3D(sub.normals[i][0], sub.normals[i][1], sub.normals[i][2]);
    mesh->mTextureCoords[0][i] = aiVector3D(sub.uvs[i][0], sub.uvs[i][1], 0.f);
  }
  const unsigned faces = unsigned(sub.indices.size() / 3);
  mesh->mNumFaces = faces;
  mesh->mFaces = new aiFace[faces];
  for (unsigned f = 0; f < faces; ++f) {
    aiFace& face = mesh->mFaces[f];
    face.mNumIndices = 3;
    face.mIndices = new unsigned[3];
    for (unsigned k = 0; k < 3; ++k) face.mIndices[k] = sub.indices[f * 3 + k];
  }
  return mesh;
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

bool exportModel(const Model& model, const ExportRequest& req, ExportResult& result,
                 std::string& error) {
  auto step = [&](int percent, const char* what) {
    if (req.progress) req.progress(percent, what);
  };
  step(0, "meshes");
  SubmeshSet subs = buildSubmeshes(model.mesh, req.scale);
  if (subs.droppedFaces)
    result.warnings.push_back(std::to_string(subs.droppedFaces) +
                              " triangles with a bad index or a non-finite coordinate were left out");
  for (const Submesh& sub : subs.meshes) result.triangles += sub.indices.size() / 3;
  optimizeOrder(subs);
  const std::string nodeName = model.nodeName.empty() ? "plant" : model.nodeName;
  // Every format gets at least one material: some readers expect one.
  const size_t meshCount = subs.meshes.size();
  const size_t materialCount = std::max<size_t>(meshCount, 1);
  auto materialId = [&](size_t i) -> uint32_t {
    return meshCount ? subs.meshes[i].material
                     : (model.materials.empty() ? 0 : model.materials.front().id);
  };
  // PLANT_MATERIAL, one per material id.
  std::vector<std::string> meshNames;
  for (const Submesh& sub : subs.meshes)
    meshNames.push_back(nodeName + "_" + materialName(model, findMaterial(model, sub.material), sub.material));
  TextureTable textures;
  step(40, "materials");

  if (isGltf(req.format) || req.format == Format::Obj) {
    std::vector<OutputMaterial> materials;
    for (size_t i = 0; i < materialCount; ++i) {
      const uint32_t id = materialId(i);
      const MaterialInfo* info = findMaterial(model, id);
      OutputMaterial m;
      m.name = materialName(model, info, id);
      m.color = clampedDiffuse(info);
      if (info) {
        const TextureUse use = textureUse(*info, req, textures, result.warnings);
        m.image = use.image;
        m.texture = use.reference;
      }
      materials.push_back(std::move(m));
    }
    step(50, "writing");
    if (req.format == Format::Obj) {
      writeObj(materials, meshNames, std::move(subs), req.outputPath, result.files);
    } else {
      GltfScene scene;
      scene.nodeName = nodeName;
      scene.meshName = meshNames.empty() ? std::string() : nodeName;  // one mesh, a primitive per material
      scene.materials = std::move(materials);
      scene.images = std::move(textures.images);
      scene.compress = req.compress;
      writeGltf(scene, std::move(subs), req.outputPath, req.format == Format::Glb, result.files);
    }
    for (auto& [path, bytes] : textures.copies) result.files.emplace(path, std::move(bytes));
    return true;
  }

  // FBX stays with Assimp.
  auto scene = std::make_unique<aiScene>();
  scene->mRootNode = new aiNode(nodeName);
  scene->mNumMaterials = unsigned(materialCount);
  scene->mMaterials = new aiMaterial*[materialCount];
  for (size_t i = 0; i < materialCount; ++i) {
    const uint32_t id = materialId(i);
    scene->mMaterials[i] =
        makeMaterial(model, findMaterial(model, id), id, req, textures, result.warnings);
  }
  scene->mNumMeshes = unsigned(meshCount);
  if (meshCount) {
    scene->mMeshes = new aiMesh*[meshCount];
    scene->mRootNode->mNumMeshes = unsigned(meshCount);
    scene->mRootNode->mMeshes = new unsigned[meshCount];
    for (size_t i = 0; i < meshCount; ++i) {
      scene->mMeshes[i] = makeMesh(subs.meshes[i], unsigned(i), meshNames[i]);
      subs.meshes[i] = {};
      scene->mRootNode->mMeshes[i] = unsigned(i);
    }
  }

  step(50, "writing");
  std::map<std::string, std::string> files;
  Assimp::Exporter exporter;
  exporter.SetIOHandler(new CaptureSystem(files));
  const aiReturn status = exporter.Export(scene.get(), "fbx", req.outputPath);
  scene.reset();
  if (status != aiReturn_SUCCESS) {
    const char* why = exporter.GetErrorString();
    error = std::string("Assimp could not write ") + formatName(req.format) +
            (why && *why ? std::string(": ") + why : std::string());
    return false;
  }
  auto main = files.find(req.outputPath);
  if (main == files.end()) {
    error = std::string("Assimp wrote no ") + formatName(req.format) + " file";
    return false;
  }
  FbxDocument doc;
  if (!readFbxBinary(main->second, doc, error)) {
    error = "cannot re-read the FBX that Assimp wrote: " + error;
    return false;
  }
  main->second = {};
  declareMetres(doc);
  stampCreationTime(doc);
  std::string fixed = writeFbxBinary(doc);
  doc = {};
  const std::string fault = checkFbxStructure(fixed);
  if (!fault.empty()) {
    error = "the rewritten FBX is unsound: " + fault;
    return false;
  }
  main->second = std::move(fixed);
  for (auto& [path, bytes] : textures.copies) files.emplace(path, std::move(bytes));
  result.files = std::move(files);
  return true;
}

}  // namespace syv::app

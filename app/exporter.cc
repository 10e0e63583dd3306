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

#include <nlohmann/json.hpp>

#include "app/fbx_binary.h"
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

const char* assimpFormatId(Format f) {
  switch (f) {
    case Format::Glb: return "glb2";
    case Format::Gltf: return "gltf2";
    case Format::Obj: return "obj";
    case Format::Fbx: return "fbx";
  }
  return "";
}

bool isGltf(Format f) { return f == Format::Glb || f == Format::Gltf; }

// Pieces are named after the plant and its materials, so that they read in a
// host's outliner; a material without a name takes the plant's and its id.
std::string materialName(const Model& model, const MaterialInfo* info, uint32_t id) {
  if (info && !info->name.empty()) return info->name;
  return (model.nodeName.empty() ? std::string("plant") : model.nodeName) + "_" + std::to_string(id);
}

// One image per distinct resolved file, so that a .glb stores it once.
struct TextureTable {
  std::vector<std::unique_ptr<aiTexture>> embedded;
  std::map<std::string, std::string> referenceOf;  // resolved path -> reference text
  std::map<std::string, std::string> copies;       // copy path -> bytes
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
    std::string old;
    return std::filesystem::exists(p) && !sameFile(p, found) && (!readFile(p, old) || old != bytes);
  });
  if (!sameFile(pathOf(name), found)) table.copies[pathOf(name)] = bytes;
  return name;
}

// The reference a material gets for its texture, or empty (with a warning) when
// there is none to give.
// The reference a material gets for its texture, or empty when there is none
// to give (a texture not found was reported after the import).
std::string textureReference(const MaterialInfo& info, const ExportRequest& req,
                             TextureTable& table, std::vector<std::string>& warnings) {
  if (info.texture.empty()) return {};
  const std::string found = resolveTexture(req.textureFolders, info.texture);
  if (found.empty()) return {};
  auto known = table.referenceOf.find(found);
  if (known != table.referenceOf.end()) return known->second;

  std::string bytes;
  const bool copy = req.copyTextures && req.format != Format::Glb;
  if ((isGltf(req.format) || copy) && !readFile(found, bytes)) {
    warnings.push_back("texture \"" + found + "\" cannot be read; the material keeps its colour only");
    table.referenceOf[found] = {};
    return {};
  }
  const ImageKind kind = imageKind(bytes);
  if (isGltf(req.format) && kind == ImageKind::Other) {
    warnings.push_back("texture \"" + found +
                       "\" is neither PNG nor JPEG, which glTF requires; the material keeps its "
                       "colour only");
    table.referenceOf[found] = {};
    return {};
  }
  std::string reference;
  if (req.format == Format::Glb) {
    auto tex = std::make_unique<aiTexture>();
    tex->mWidth = unsigned(bytes.size());
    tex->mHeight = 0;  // compressed image data of mWidth bytes
    std::strcpy(tex->achFormatHint, kind == ImageKind::Png ? "png" : "jpg");
    tex->pcData = new aiTexel[(bytes.size() + sizeof(aiTexel) - 1) / sizeof(aiTexel)];
    std::memcpy(tex->pcData, bytes.data(), bytes.size());
    tex->mFilename = aiString(std::filesystem::path(found).filename().string());
    reference = "*" + std::to_string(table.embedded.size());
    table.embedded.push_back(std::move(tex));
  } else {
    reference = copy ? copyBeside(found, bytes, req, table) : relativeTo(req.outputPath, found);
    if (isGltf(req.format)) reference = uriEncodePath(reference);
  }
  table.referenceOf[found] = reference;
  return reference;
}

aiMaterial* makeMaterial(const Model& model, const MaterialInfo* info, uint32_t id,
                         const ExportRequest& req, TextureTable& textures,
                         std::vector<std::string>& warnings) {
  auto* mat = new aiMaterial();
  aiString name(materialName(model, info, id));
  mat->AddProperty(&name, AI_MATKEY_NAME);
  const Vec3f d = info ? info->diffuse : Vec3f{0.5f, 0.5f, 0.5f};
  aiColor4D diffuse(std::clamp(d[0], 0.f, 1.f), std::clamp(d[1], 0.f, 1.f),
                    std::clamp(d[2], 0.f, 1.f), 1.f);
  mat->AddProperty(&diffuse, 1, AI_MATKEY_COLOR_DIFFUSE);
  mat->AddProperty(&diffuse, 1, AI_MATKEY_BASE_COLOR);
  // Bark and leaves are not metal; thin leaves are seen from both sides.
  const float metallic = 0.f, roughness = 0.8f;
  mat->AddProperty(&metallic, 1, AI_MATKEY_METALLIC_FACTOR);
  mat->AddProperty(&roughness, 1, AI_MATKEY_ROUGHNESS_FACTOR);
  const int twoSided = 1;
  mat->AddProperty(&twoSided, 1, AI_MATKEY_TWOSIDED);
  if (info) {
    const std::string ref = textureReference(*info, req, textures, warnings);
    if (!ref.empty()) {
      aiString path(ref);
      mat->AddProperty(&path, AI_MATKEY_TEXTURE_DIFFUSE(0));
      if (isGltf(req.format)) mat->AddProperty(&path, AI_MATKEY_TEXTURE(aiTextureType_BASE_COLOR, 0));
    }
  }
  return mat;
}

aiMesh* makeMesh(const Submesh& sub, unsigned materialIndex, const std::string& name, bool flipV) {
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
    const float v = sub.uvs[i][1];
    mesh->mTextureCoords[0][i] = aiVector3D(sub.uvs[i][0], flipV ? 1.f - v : v, 0.f);
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

uint32_t readU32(const std::string& b, size_t at) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | uint8_t(b[at + size_t(i)]);
  return v;
}

void appendU32(std::string& b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(char((v >> (8 * i)) & 0xff));
}

// A plant without geometry makes Assimp write a buffer of zero bytes, which
// glTF forbids: drop it (and the .bin or BIN chunk that would hold it).
bool dropEmptyBuffer(std::map<std::string, std::string>& files, const std::string& mainPath,
                     Format format, std::string& error) {
  std::string& main = files[mainPath];
  std::string jsonText;
  if (format == Format::Glb) {
    if (main.size() < 20 || main.compare(0, 4, "glTF") != 0) {
      error = "Assimp wrote no GLB header";
      return false;
    }
    const uint32_t jsonLength = readU32(main, 12);
    if (20 + size_t(jsonLength) > main.size()) {
      error = "Assimp wrote a truncated GLB";
      return false;
    }
    jsonText = main.substr(20, jsonLength);
  } else {
    jsonText = main;
  }
  nlohmann::json j = nlohmann::json::parse(jsonText, nullptr, false);
  if (j.is_discarded()) {
    error = "Assimp wrote glTF that is not JSON";
    return false;
  }
  if (!j.contains("buffers") || !j["buffers"].is_array() ||
      (j.contains("bufferViews") && !j["bufferViews"].empty()))
    return true;
  for (const auto& buffer : j["buffers"])
    if (buffer.value("byteLength", 1) != 0) return true;
  for (const auto& buffer : j["buffers"]) {
    if (format != Format::Gltf || !buffer.contains("uri") || !buffer["uri"].is_string()) continue;
    const std::string uri = buffer["uri"];
    files.erase((std::filesystem::path(mainPath).parent_path() / uri).string());
  }
  j.erase("buffers");
  j.erase("bufferViews");
  std::string text = j.dump();
  if (format == Format::Gltf) {
    main = text;
    return true;
  }
  text.append((4 - text.size() % 4) % 4, ' ');
  std::string glb("glTF", 4);
  appendU32(glb, 2);
  appendU32(glb, uint32_t(12 + 8 + text.size()));
  appendU32(glb, uint32_t(text.size()));
  glb += "JSON";
  glb += text;
  main = glb;
  return true;
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
  const SubmeshSet subs = buildSubmeshes(model.mesh, req.scale);
  if (subs.droppedFaces)
    result.warnings.push_back(std::to_string(subs.droppedFaces) +
                              " triangles with a bad index or a non-finite coordinate were left out");

  auto scene = std::make_unique<aiScene>();
  const std::string plant = model.nodeName.empty() ? "plant" : model.nodeName;
  scene->mRootNode = new aiNode(plant);
  step(40, "materials");
  TextureTable textures;
  // Every format gets at least one material: some readers expect one.
  const size_t meshCount = subs.meshes.size();
  const size_t materialCount = std::max<size_t>(meshCount, 1);
  scene->mNumMaterials = unsigned(materialCount);
  scene->mMaterials = new aiMaterial*[materialCount];
  for (size_t i = 0; i < materialCount; ++i) {
    const uint32_t id = meshCount ? subs.meshes[i].material
                                  : (model.materials.empty() ? 0 : model.materials.front().id);
    scene->mMaterials[i] =
        makeMaterial(model, findMaterial(model, id), id, req, textures, result.warnings);
  }
  // Assimp's glTF writer turns v over itself; the others keep the host's convention.
  const bool flipV = false;
  scene->mNumMeshes = unsigned(meshCount);
  if (meshCount) {
    scene->mMeshes = new aiMesh*[meshCount];
    scene->mRootNode->mNumMeshes = unsigned(meshCount);
    scene->mRootNode->mMeshes = new unsigned[meshCount];
    for (size_t i = 0; i < meshCount; ++i) {
      const uint32_t id = subs.meshes[i].material;
      const std::string name = plant + "_" + materialName(model, findMaterial(model, id), id);
      scene->mMeshes[i] = makeMesh(subs.meshes[i], unsigned(i), name, flipV);
      scene->mRootNode->mMeshes[i] = unsigned(i);
      result.triangles += subs.meshes[i].indices.size() / 3;
    }
  }
  if (!textures.embedded.empty()) {
    scene->mNumTextures = unsigned(textures.embedded.size());
    scene->mTextures = new aiTexture*[scene->mNumTextures];
    for (size_t i = 0; i < textures.embedded.size(); ++i)
      scene->mTextures[i] = textures.embedded[i].release();
  }

  step(50, "writing");
  std::map<std::string, std::string> files;
  Assimp::Exporter exporter;
  exporter.SetIOHandler(new CaptureSystem(files));
  const aiReturn status = exporter.Export(scene.get(), assimpFormatId(req.format), req.outputPath);
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
  if (isGltf(req.format) && result.triangles == 0 &&
      !dropEmptyBuffer(files, req.outputPath, req.format, error))
    return false;
  if (req.format == Format::Fbx) {
    FbxDocument doc;
    if (!readFbxBinary(main->second, doc, error)) {
      error = "cannot re-read the FBX that Assimp wrote: " + error;
      return false;
    }
    declareMetres(doc);
    stampCreationTime(doc);
    std::string fixed = writeFbxBinary(doc);
    const std::string fault = checkFbxStructure(fixed);
    if (!fault.empty()) {
      error = "the rewritten FBX is unsound: " + fault;
      return false;
    }
    main->second = std::move(fixed);
  }
  for (auto& [path, bytes] : textures.copies) files.emplace(path, std::move(bytes));
  result.files = std::move(files);
  return true;
}

}  // namespace syv::app

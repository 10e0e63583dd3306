// libsyvfbx.so: Assimp's FBX writer, loaded by syvimport only for an FBX.
#include "app/fbx_scene.h"

#include <assimp/Exporter.hpp>
#include <assimp/IOStream.hpp>
#include <assimp/IOSystem.hpp>
#include <assimp/material.h>
#include <assimp/scene.h>

#include <algorithm>
#include <cstring>
#include <memory>

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

aiMaterial* makeMaterial(const FbxSceneMaterial& m) {
  auto* mat = new aiMaterial();
  aiString name(m.name);
  mat->AddProperty(&name, AI_MATKEY_NAME);
  aiColor4D diffuse(m.diffuse[0], m.diffuse[1], m.diffuse[2], 1.f);
  mat->AddProperty(&diffuse, 1, AI_MATKEY_COLOR_DIFFUSE);
  mat->AddProperty(&diffuse, 1, AI_MATKEY_BASE_COLOR);
  // Bark and leaves are not metal; thin leaves are seen from both sides.
  const float metallic = 0.f, roughness = 0.8f;
  mat->AddProperty(&metallic, 1, AI_MATKEY_METALLIC_FACTOR);
  mat->AddProperty(&roughness, 1, AI_MATKEY_ROUGHNESS_FACTOR);
  const int twoSided = 1;
  mat->AddProperty(&twoSided, 1, AI_MATKEY_TWOSIDED);
  if (!m.texture.empty()) {
    aiString path(m.texture);
    mat->AddProperty(&path, AI_MATKEY_TEXTURE_DIFFUSE(0));
  }
  return mat;
}

aiMesh* makeStandIn(const FbxSceneMesh& m) {
  auto* mesh = new aiMesh();
  mesh->mPrimitiveTypes = aiPrimitiveType_TRIANGLE;
  mesh->mMaterialIndex = m.material;
  mesh->mName = aiString(m.name);
  mesh->mNumVertices = 3;
  mesh->mVertices = new aiVector3D[3];
  mesh->mNormals = new aiVector3D[3];
  mesh->mTextureCoords[0] = new aiVector3D[3];
  mesh->mNumUVComponents[0] = 2;
  mesh->mNumFaces = 1;
  mesh->mFaces = new aiFace[1];
  mesh->mFaces[0].mNumIndices = 3;
  mesh->mFaces[0].mIndices = new unsigned[3]{0, 1, 2};
  return mesh;
}

size_t meshCount(const FbxSceneNode& node) {
  size_t n = node.meshes.size();
  for (const FbxSceneNode& child : node.children) n += meshCount(child);
  return n;
}

aiNode* makeNode(const FbxSceneNode& from, aiScene& scene, unsigned& next) {
  auto* node = new aiNode(from.name);
  if (!from.meshes.empty()) {
    node->mNumMeshes = unsigned(from.meshes.size());
    node->mMeshes = new unsigned[from.meshes.size()];
    for (size_t i = 0; i < from.meshes.size(); ++i) {
      scene.mMeshes[next] = makeStandIn(from.meshes[i]);
      node->mMeshes[i] = next++;
    }
  }
  std::vector<aiNode*> children;
  for (const FbxSceneNode& child : from.children) children.push_back(makeNode(child, scene, next));
  if (!children.empty()) node->addChildren(unsigned(children.size()), children.data());
  return node;
}

}  // namespace
}  // namespace syv::app

extern "C" __attribute__((visibility("default"))) bool syvWriteFbxScene(
    const syv::app::FbxScene& from, const std::string& path,
    std::map<std::string, std::string>& files, std::string& error) {
  using namespace syv::app;
  auto scene = std::make_unique<aiScene>();
  scene->mNumMaterials = unsigned(from.materials.size());
  scene->mMaterials = new aiMaterial*[from.materials.size()];
  for (size_t i = 0; i < from.materials.size(); ++i) scene->mMaterials[i] = makeMaterial(from.materials[i]);
  const size_t total = meshCount(from.root);
  scene->mNumMeshes = unsigned(total);
  if (total) scene->mMeshes = new aiMesh*[total];
  unsigned next = 0;
  scene->mRootNode = makeNode(from.root, *scene, next);
  Assimp::Exporter exporter;
  exporter.SetIOHandler(new CaptureSystem(files));
  if (exporter.Export(scene.get(), "fbx", path) != aiReturn_SUCCESS) {
    const char* why = exporter.GetErrorString();
    error = std::string("Assimp could not write fbx") + (why && *why ? std::string(": ") + why : std::string());
    return false;
  }
  return true;
}

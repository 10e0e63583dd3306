#include <gtest/gtest.h>

#include <assimp/Exporter.hpp>
#include <assimp/Importer.hpp>
#include <assimp/scene.h>

#include "app/fbx_binary.h"
#include "app/fbx_geometry.h"

namespace syv::app {
namespace {

// Binary FBX exactly as Assimp writes it, from a two-triangle OBJ.
std::string assimpFbx() {
  static const std::string obj =
      "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nvn 0 0 1\nf 1//1 2//1 3//1\nf 1//1 3//1 4//1\n";
  Assimp::Importer importer;
  const aiScene* scene = importer.ReadFileFromMemory(obj.data(), obj.size(), 0, "obj");
  if (!scene) return {};
  Assimp::Exporter exporter;
  const aiExportDataBlob* blob = exporter.ExportToBlob(scene, "fbx");
  if (!blob) return {};
  return std::string(static_cast<const char*>(blob->data), blob->size);
}

bool sameTree(const std::vector<FbxNode>& a, const std::vector<FbxNode>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (a[i].name != b[i].name || a[i].properties != b[i].properties ||
        !sameTree(a[i].children, b[i].children))
      return false;
  return true;
}

FbxNode leaf(const std::string& name, int32_t value) {
  FbxNode n;
  n.name = name;
  std::string p(1, 'I');
  p.append(reinterpret_cast<const char*>(&value), 4);
  n.properties.push_back(p);
  return n;
}

TEST(FbxBinary, AssimpOutputIsFlaggedAndTheRewriteIsSoundAndEquivalent) {
  const std::string raw = assimpFbx();
  ASSERT_FALSE(raw.empty());
  // The fault this module exists for: an unclosed nested list.
  EXPECT_NE(checkFbxStructure(raw).find("CreationTimeStamp"), std::string::npos)
      << checkFbxStructure(raw);

  std::string fixed, error;
  ASSERT_TRUE(rewriteFbxBinary(raw, fixed, error)) << error;
  EXPECT_EQ(checkFbxStructure(fixed), "");
  FbxDocument before, after;
  ASSERT_TRUE(readFbxBinary(raw, before, error));
  ASSERT_TRUE(readFbxBinary(fixed, after, error));
  EXPECT_EQ(before.version, 7500u);
  EXPECT_EQ(after.version, before.version);
  EXPECT_TRUE(sameTree(before.nodes, after.nodes));
  EXPECT_EQ(after.footerMagic, before.footerMagic);
  // Writing is a fixed point.
  EXPECT_EQ(writeFbxBinary(after), fixed);

  // And Assimp's own reader takes the rewritten file.
  Assimp::Importer importer;
  const aiScene* scene = importer.ReadFileFromMemory(fixed.data(), fixed.size(), 0, "fbx");
  ASSERT_NE(scene, nullptr) << importer.GetErrorString();
  ASSERT_EQ(scene->mNumMeshes, 1u);
  EXPECT_EQ(scene->mMeshes[0]->mNumFaces, 2u);
}

TEST(FbxBinary, TruncatedCorruptAndDeepRecordsAreRefused) {
  FbxDocument doc;
  doc.version = 7500;
  FbxNode outer;
  outer.name = "Outer";
  outer.children.push_back(leaf("A", 1));
  outer.children.push_back(leaf("B", 2));
  doc.nodes.push_back(outer);
  // Older versions use narrow offsets: header 27, outer record 13 + 5, two
  // children of 13 + 1 + 5, two closing null records of 13; each reads back.
  doc.version = 7400;
  std::string bytes = writeFbxBinary(doc);
  EXPECT_EQ(bytes.size(), 27u + 18u + 2 * 19u + 13u + 13u);
  FbxDocument d;
  std::string error;
  ASSERT_TRUE(readFbxBinary(bytes, d, error)) << error;
  EXPECT_TRUE(sameTree(d.nodes, doc.nodes));
  doc.version = 7500;
  bytes = writeFbxBinary(doc);
  ASSERT_EQ(checkFbxStructure(bytes), "");
  // The top list's closing record is where the tree ends; any shorter prefix fails.
  for (size_t n = 0; n < bytes.size() - 13; ++n) {
    EXPECT_FALSE(readFbxBinary(bytes.substr(0, n), d, error)) << "prefix of " << n << " bytes";
    EXPECT_FALSE(checkFbxStructure(bytes.substr(0, n)).empty()) << n;
  }

  // An end offset beyond the file.
  std::string bad = bytes;
  bad[27] = char(0xff);
  bad[28] = char(0xff);
  EXPECT_FALSE(readFbxBinary(bad, d, error));
  EXPECT_NE(error.find("out of range"), std::string::npos) << error;
  // An unknown property type.
  bad = bytes;
  const size_t typeAt = bytes.find('I', 27 + 25 + 5);
  ASSERT_NE(typeAt, std::string::npos);
  bad[typeAt] = 'Q';
  EXPECT_FALSE(readFbxBinary(bad, d, error));
  EXPECT_NE(checkFbxStructure(bad), "");
  // Not FBX at all.
  EXPECT_FALSE(readFbxBinary("Kaydara FBX ASCII", d, error));

  // Nesting: within the bound reads, beyond it is refused without recursing on.
  auto nested = [](int depth) {
    FbxDocument deep;
    deep.version = 7500;
    FbxNode n = leaf("Leaf", 0);
    for (int i = 0; i < depth; ++i) {
      FbxNode up;
      up.name = "Level";
      up.children.push_back(std::move(n));
      n = std::move(up);
    }
    deep.nodes.push_back(std::move(n));
    return writeFbxBinary(deep);
  };
  EXPECT_TRUE(readFbxBinary(nested(kFbxMaxDepth), d, error)) << error;
  EXPECT_FALSE(readFbxBinary(nested(kFbxMaxDepth + 5), d, error));
  EXPECT_NE(error.find("nesting"), std::string::npos);
}

// The converter streams a mesh's arrays in place of a stand-in's; they must be
// what Assimp writes for the whole mesh, texture coordinates shared by value
// (-0 as +0) in order of first use.
TEST(FbxBinary, StreamedGeometryIsAssimpsOwn) {
  Submesh sub;
  sub.positions = {{0, 0, 0}, {1, -0.f, 0}, {1, 1, 0.5f}, {0, 1, 0}, {0, 0, 0}};
  sub.normals = {{0, 0, 1}, {0, 0, 1}, {0, 0.6f, 0.8f}, {0, 0, 1}, {1, 0, 0}};
  sub.uvs = {{0.5f, 1}, {-0.f, 1}, {0.25f, 0}, {0, 1}, {0.5f, 1}};
  sub.indices = {2, 1, 0, 0, 3, 2, 4, 3, 1};
  aiScene scene;
  scene.mRootNode = new aiNode("plant");
  scene.mNumMaterials = 1;
  scene.mMaterials = new aiMaterial*[1]{new aiMaterial()};
  auto* mesh = new aiMesh();
  mesh->mPrimitiveTypes = aiPrimitiveType_TRIANGLE;
  mesh->mNumVertices = unsigned(sub.positions.size());
  mesh->mVertices = new aiVector3D[mesh->mNumVertices];
  mesh->mNormals = new aiVector3D[mesh->mNumVertices];
  mesh->mTextureCoords[0] = new aiVector3D[mesh->mNumVertices];
  mesh->mNumUVComponents[0] = 2;
  for (unsigned i = 0; i < mesh->mNumVertices; ++i) {
    mesh->mVertices[i] = {sub.positions[i][0], sub.positions[i][1], sub.positions[i][2]};
    mesh->mNormals[i] = {sub.normals[i][0], sub.normals[i][1], sub.normals[i][2]};
    mesh->mTextureCoords[0][i] = {sub.uvs[i][0], sub.uvs[i][1], 0};
  }
  mesh->mNumFaces = 3;
  mesh->mFaces = new aiFace[3];
  for (unsigned f = 0; f < 3; ++f) {
    mesh->mFaces[f].mNumIndices = 3;
    mesh->mFaces[f].mIndices = new unsigned[3];
    for (unsigned k = 0; k < 3; ++k) mesh->mFaces[f].mIndices[k] = sub.indices[f * 3 + k];
  }
  scene.mNumMeshes = 1;
  scene.mMeshes = new aiMesh*[1]{mesh};
  scene.mRootNode->mNumMeshes = 1;
  scene.mRootNode->mMeshes = new unsigned[1]{0};
  Assimp::Exporter exporter;
  const aiExportDataBlob* blob = exporter.ExportToBlob(&scene, "fbx");
  ASSERT_NE(blob, nullptr);
  FbxDocument doc;
  std::string error;
  ASSERT_TRUE(readFbxBinary(std::string(static_cast<const char*>(blob->data), blob->size), doc, error));
  const FbxGeometry geometry(sub);
  int replaced = 0;
  const std::string streamed = writeFbxBinary(doc, [&](const FbxNode& node, int width, std::string& out) {
    FbxGeometry::Array array;
    if (!FbxGeometry::arrayNamed(node.name, array)) return false;
    geometry.write(array, width, out);
    ++replaced;
    return true;
  });
  EXPECT_EQ(replaced, 5);
  EXPECT_TRUE(streamed == writeFbxBinary(doc));
}

}  // namespace
}  // namespace syv::app

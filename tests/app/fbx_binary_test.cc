#include <gtest/gtest.h>

#include <assimp/Exporter.hpp>
#include <assimp/Importer.hpp>
#include <assimp/scene.h>

#include "app/fbx_binary.h"
#include "app/fbx_geometry.h"

namespace syv::app {
namespace {

// Binary FBX exactly as Assimp writes it from an OBJ; `sub`, when given, gets
// the OBJ's mesh as the converter holds one.
std::string assimpFbx(const std::string& obj, Submesh* sub = nullptr) {
  Assimp::Importer importer;
  const aiScene* scene = importer.ReadFileFromMemory(obj.data(), obj.size(), 0, "obj");
  if (!scene) return {};
  for (unsigned i = 0; sub && i < scene->mMeshes[0]->mNumVertices; ++i) {
    const aiMesh& m = *scene->mMeshes[0];
    sub->positions.push_back({m.mVertices[i].x, m.mVertices[i].y, m.mVertices[i].z});
    sub->normals.push_back({m.mNormals[i].x, m.mNormals[i].y, m.mNormals[i].z});
    sub->uvs.push_back({m.mTextureCoords[0][i].x, m.mTextureCoords[0][i].y});
    if (i % 3 == 0) sub->indices.insert(sub->indices.end(), m.mFaces[i / 3].mIndices, m.mFaces[i / 3].mIndices + 3);
  }
  Assimp::Exporter exporter;
  const aiExportDataBlob* blob = exporter.ExportToBlob(scene, "fbx");
  return blob ? std::string(static_cast<const char*>(blob->data), blob->size) : std::string();
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
  const std::string raw =
      assimpFbx("v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nvn 0 0 1\nf 1//1 2//1 3//1\nf 1//1 3//1 4//1\n");
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
  // The same tree and footer: both write as the rewrite.
  EXPECT_EQ(writeFbxBinary(before), fixed);
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
  EXPECT_EQ(writeFbxBinary(d), bytes);
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
  const std::string fbx = assimpFbx("v 0 0 0\nv 1 -0 0\nv 1 1 0.5\nv 0 1 0\nvt 0.5 1\nvt -0 1\nvt 0.25 0\nvt 0 1\n"
                                    "vn 0 0 1\nvn 0 0.6 0.8\nvn 1 0 0\n"
                                    "f 3/3/2 2/2/1 1/1/1\nf 1/1/1 4/4/1 3/3/2\nf 1/1/3 4/4/1 2/2/1\n", &sub);
  ASSERT_EQ(sub.indices.size(), 9u);
  FbxDocument doc;
  std::string error;
  ASSERT_TRUE(readFbxBinary(fbx, doc, error)) << error;
  const FbxGeometry geometry(sub);
  int replaced = 0;
  const std::string streamed = writeFbxBinary(doc, [&](const FbxNode& node, int width, FbxOut& out) {
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

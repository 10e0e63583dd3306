// HostMeshWriter, texture normalisation and material conversion, in-process.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include "host/host_material.h"
#include "host/host_mesh_writer.h"
#include "host/import_command.h"
#include "host/sdk/sdk.h"

namespace {

using syv::HostMeshWriter;

syv::TexFace texFace(double u0, double v0) {
  syv::TexFace t;
  for (int k = 0; k < 4; ++k) t.uv[k] = syv::Vector3{u0 + k, v0 + k, 0.5};
  return t;
}

TEST(HostMeshWriter, QuadBecomesTwoTrianglesWithFourTextureVertices) {
  hostsdk::Mesh mesh;
  HostMeshWriter w(mesh);
  uint32_t v = 99, q = 99;
  ASSERT_TRUE(w.reserve(4, 1, v, q));
  ASSERT_TRUE(w.reserve(4, 1, v, q));
  EXPECT_EQ(v, 4u);
  EXPECT_EQ(q, 1u);
  for (uint32_t i = 0; i < 8; ++i) ASSERT_TRUE(w.setVertex(i, syv::Vector3{double(i), 0.25, -1}));
  ASSERT_TRUE(w.setFace(0, syv::Face{0, 1, 2, 3, 5}));
  // A run stores what is in range: quad 2 would be one more clamped face.
  const syv::Face run[2] = {{4, 5, 6, 7, 70000}, {0, 1, 2, 3, -1}};
  const syv::TexFace runTex[2] = {texFace(10, 20), texFace(0, 0)};
  w.setQuads(1, run, runTex, 2);

  // Host triangles (c, b, a) and (a, d, c); the diagonal edge is hidden.
  auto corners = [&](size_t f) {
    const hostsdk::Face& x = mesh.faces[f];
    const hostsdk::TVFace& t = mesh.tvFace[f];
    return std::vector<uint32_t>{x.v[0], x.v[1], x.v[2], t.t[0], t.t[1], t.t[2], x.getEdgeVis(0),
                                 x.getEdgeVis(1), x.getEdgeVis(2), x.getMatID()};
  };
  EXPECT_EQ(corners(2), (std::vector<uint32_t>{6, 5, 4, 6, 5, 4, 1, 1, 0, 0xFFFF}));
  EXPECT_EQ(corners(3), (std::vector<uint32_t>{4, 7, 6, 4, 7, 6, 1, 1, 0, 0xFFFF}));
  EXPECT_EQ(mesh.faces[0].getMatID(), 5);
  // A material id past 16 bits is clamped and counted, never aliased.
  EXPECT_EQ(w.clampedFaces(), 1u);
  EXPECT_FLOAT_EQ(mesh.tVerts[5].y, 21.0f);

  // Out of range: refused, nothing written.
  EXPECT_FALSE(w.setVertex(8, syv::Vector3{}));
  EXPECT_FALSE(w.setFace(2, syv::Face{}));
  EXPECT_FALSE(w.setTexFace(2, syv::TexFace{}));

  ASSERT_TRUE(w.finish());
  EXPECT_EQ(mesh.getNumTVFaces(), 4);
  EXPECT_NE(mesh.faces[0].getSmGroup(), 0u);
  EXPECT_FLOAT_EQ(mesh.getBoundingBox().pmax.x, 7.0f);
}

TEST(HostMeshWriter, RefusedGrowthFailsAndKeepsTheCounts) {
  hostsdk::Mesh mesh;
  mesh.setElementLimit(10);
  HostMeshWriter w(mesh);
  uint32_t v, q;
  ASSERT_TRUE(w.reserve(4, 1, v, q));
  EXPECT_FALSE(w.reserve(4, 2, v, q));  // needs 12 texture vertices
  EXPECT_EQ(w.vertexCount(), 4u);
  EXPECT_EQ(w.faceCount(), 2u);
  EXPECT_EQ(w.textureVertexCount(), 4u);
  // Counts past the host's int range are refused before asking the host.
  hostsdk::Mesh big;
  HostMeshWriter huge(big);
  EXPECT_FALSE(huge.reserve(0, 0x40000000u, v, q));
  EXPECT_EQ(big.getNumFaces(), 0);
}

// Placed points round as transformPoint's sums would (operands that cancel
// when added in another order), shifted quads take the shift and the
// material, and faces the mesh already had keep their other flag bits.
TEST(HostMeshWriter, PlacedAndShiftedRunsMatchTheirPlainForm) {
  hostsdk::Mesh mesh;
  ASSERT_TRUE(mesh.setNumFaces(2));
  mesh.faces[0].flags = 0x100;
  HostMeshWriter w(mesh);
  uint32_t v, q;
  ASSERT_TRUE(w.reserve(64, 2, v, q));
  std::mt19937_64 random(7);
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  std::uniform_int_distribution<int> power(-30, 30);
  auto wide = [&] { return std::ldexp(unit(random), power(random)); };
  for (int round = 0; round < 50; ++round) {
    syv::Matrix4 m;
    for (auto& row : m.m)
      for (double& x : row) x = wide();
    std::vector<syv::Vector3> points(64);
    for (syv::Vector3& p : points) p = {wide(), wide(), wide()};
    if (round % 2 == 0) {
      // x and y cancel exactly, leaving the smaller z and w terms.
      for (int j = 0; j < 4; ++j) m.m[0][j] = std::ldexp(m.m[0][j], 40), m.m[1][j] = -m.m[0][j];
      for (syv::Vector3& p : points) p.y = p.x;
    }
    w.setPlacedVertices(0, points.data(), 65, m);  // one past the reservation: dropped
    for (size_t k = 0; k < points.size(); ++k) {
      const syv::Vector3 p = m.transformPoint(points[k]);
      const std::array<float, 3> want{float(p.x), float(p.y), float(p.z)};
      ASSERT_EQ(std::memcmp(&mesh.verts[k].x, want.data(), sizeof want), 0) << round << " " << k;
    }
  }
  const syv::Face faces[2] = {{0, 1, 2, 3, 4}, {4, 5, 6, 7, 70000}};
  const syv::TexFace tex[2] = {texFace(0, 0), texFace(1, 1)};
  w.setShiftedQuads(0, faces, tex, 2, 10, 3);
  EXPECT_EQ(mesh.faces[0].flags, 0x100u | 3u << 16 | hostsdk::EDGE_A | hostsdk::EDGE_B);
  EXPECT_EQ(mesh.faces[2].flags, 3u << 16 | hostsdk::EDGE_A | hostsdk::EDGE_B);
  EXPECT_EQ(mesh.faces[3].v[1], 17u);
  w.setShiftedQuads(1, faces + 1, tex, 1, 0, -1);
  EXPECT_EQ(mesh.faces[2].getMatID(), 0xFFFF);
  EXPECT_EQ(mesh.faces[3].v[1], 7u);
  EXPECT_EQ(w.clampedFaces(), 1u);
}

TEST(TextureNormalisation, DividesByScaleAndSubtractsShiftPerMaterial) {
  hostsdk::Mesh mesh;
  HostMeshWriter w(mesh);
  uint32_t v, q;
  ASSERT_TRUE(w.reserve(4, 3, v, q));
  syv::TexFace t;
  for (auto& c : t.uv) c = syv::Vector3{0.5, 0.5, 0.0};
  for (uint32_t i = 0; i < 3; ++i) {
    ASSERT_TRUE(w.setFace(i, syv::Face{0, 1, 2, 3, int32_t(i + 1)}));
    ASSERT_TRUE(w.setTexFace(i, t));
  }
  std::map<int32_t, syv::SceneMaterial> table;
  table[1].textureScale = syv::Vector3{0.25, 0.25, 0.0};
  table[1].textureShift = syv::Vector3{0.0, 1.0, 0.0};
  table[2].textureScale = syv::Vector3{0.0, std::numeric_limits<double>::infinity(), 1.0};
  // id 3 has no record: untouched.
  std::map<int32_t, int> zero;
  syv::normalizeTextureCoordinates(mesh, table, &zero);
  for (int k = 0; k < 12; ++k) {
    const hostsdk::UVVert& t = mesh.tVerts[size_t(k)];
    EXPECT_EQ(std::vector<float>({t.x, t.y, t.z}),
              k < 4 ? std::vector<float>({2, 1, 0}) : std::vector<float>({0.5, 0.5, 0}));
  }
  ASSERT_EQ(zero.size(), 1u);
  EXPECT_EQ(zero.begin()->first, 2);
}

syv::SceneMaterial record(const std::string& name) {
  syv::SceneMaterial m;
  m.name = name;
  m.diffuse = syv::ColorRecord(0.8f, 0.4f, 0.2f);
  return m;
}

TEST(ConvertMaterial, ColoursSelfIlluminationAndMaps) {
  using namespace hostsdk;
  const int before = LiveMaterialCount();
  syv::SceneMaterial plain = record("Plain");
  StdMat2* m = syv::convertMaterial(plain);
  ASSERT_NE(m, nullptr);
  EXPECT_FALSE(m->GetSelfIllumColorOn());
  for (int i = 0; i < m->NumSubTexmaps(); ++i) EXPECT_EQ(m->GetSubTexmap(i), nullptr);

  syv::SceneMaterial glowing = record("Glow");
  glowing.emission = syv::ColorRecord(0.5f, 0.0f, 0.0f);
  glowing.textureFile = "host_leaf.png";
  AddMapDir(SYV_TEST_DATA);
  StdMat2* g = syv::convertMaterial(glowing);
  ClearMapDirs();
  ASSERT_NE(g, nullptr);
  EXPECT_TRUE(g->GetSelfIllumColorOn());
  EXPECT_FLOAT_EQ(g->GetSelfIllumColor(0).r, 0.5f);
  auto* tint = static_cast<MultiTex*>(g->GetSubTexmap(ID_DI));
  ASSERT_NE(tint, nullptr);
  // The tint splits the diffuse colour into its channels.
  EXPECT_EQ(std::vector<float>({tint->GetColor(0).r, tint->GetColor(1).g, tint->GetColor(2).b,
                                tint->GetColor(0).g}),
            std::vector<float>({0.8f, 0.4f, 0.2f, 0.0f}));
  auto* bitmap = static_cast<BitmapTex*>(tint->GetSubTexmap(0));
  ASSERT_NE(bitmap, nullptr);
  EXPECT_EQ(std::string(bitmap->GetMapName()), glowing.textureFile);
  // The leaf image has alpha: it is the opacity map too.
  EXPECT_EQ(g->GetSubTexmap(ID_OP), bitmap);
  EXPECT_EQ(g->GetActiveTexmap(), tint);
  EXPECT_EQ(bitmap->refCount(), 2);

  // A texture that cannot be found still gets its maps, without an image.
  syv::SceneMaterial lost = record("Lost");
  lost.textureFile = "host_nowhere.png";
  StdMat2* l = syv::convertMaterial(lost);
  ASSERT_NE(l, nullptr);
  auto* lostTint = l->GetSubTexmap(ID_DI);
  ASSERT_NE(lostTint, nullptr);
  EXPECT_EQ(static_cast<BitmapTex*>(lostTint->GetSubTexmap(0))->GetBitmap(0), nullptr);
  EXPECT_EQ(l->GetSubTexmap(ID_OP), nullptr);

  SetMaterialCreationFails(MtlKind::StdMat, true);
  EXPECT_EQ(syv::convertMaterial(plain), nullptr);
  SetMaterialCreationFails(MtlKind::StdMat, false);

  EXPECT_EQ(DeleteUnreferencedMaterials(), 3);
  EXPECT_EQ(LiveMaterialCount(), before);
}

TEST(MultiMaterial, SizedToTheLargestIdSoNoFaceLosesItsMaterial) {
  using namespace hostsdk;
  std::map<int32_t, syv::SceneMaterial> table;
  table[1] = record("One");
  table[4] = record("Four");
  table[70000] = record("TooFar");
  std::vector<std::string> warnings;
  MultiMtl* multi = syv::buildMultiMaterial("plant", table, warnings);
  ASSERT_NE(multi, nullptr);
  ASSERT_EQ(multi->NumSubMtls(), 5);
  EXPECT_EQ(multi->GetSubMtl(0), nullptr);
  for (int id : {1, 4}) {
    ASSERT_NE(multi->GetSubMtl(id), nullptr);
    EXPECT_STREQ(multi->GetSubMtl(id)->GetName(), id == 1 ? "One" : "Four");
  }
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_NE(warnings[0].find("TooFar"), std::string::npos);

  // Ownership follows references: the node's material holds the rest.
  const int live = LiveMaterialCount();
  {
    INode node;
    node.SetMtl(multi);
  }
  EXPECT_EQ(LiveMaterialCount(), live - 3);
}

}  // namespace

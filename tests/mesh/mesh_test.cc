// The quad mesh as writer and reader, and the transforming sink in front of it.
#include <gtest/gtest.h>

#include <cmath>

#include "core/mesh/mesh.h"

namespace syv {
namespace {

TexFace texFace(double u) {
  TexFace t;
  for (int k = 0; k < 4; ++k) t.uv[k] = {u, double(k), 0.0};
  return t;
}

void expectFace(const Face& f, uint32_t a, uint32_t b, uint32_t c, uint32_t d, int32_t m) {
  EXPECT_EQ(f.a, a);
  EXPECT_EQ(f.b, b);
  EXPECT_EQ(f.c, c);
  EXPECT_EQ(f.d, d);
  EXPECT_EQ(f.material, m);
}

// Writes one quad through the generator protocol.
bool writeQuad(MeshSink& sink, const Vector3& origin, int32_t material) {
  uint32_t vb = 0, fb = 0;
  if (!sink.reserve(4, 1, vb, fb)) return false;
  const Vector3 corners[4] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
  for (uint32_t k = 0; k < 4; ++k) sink.setVertex(vb + k, origin + corners[k]);
  sink.setFace(fb, {vb, vb + 1, vb + 2, vb + 3, material});
  sink.setTexFace(fb, texFace(0.5));
  return true;
}

TEST(Mesh, ReserveAppendsZeroElementsAfterTheBases) {
  Mesh mesh;
  EXPECT_TRUE(mesh.isEmpty());
  EXPECT_FALSE(mesh.hasVertices());
  ASSERT_TRUE(mesh.resize(8, 2));
  for (uint32_t i = 0; i < 8; ++i) mesh.setVertex(i, {1, 2, 3});
  mesh.setFace(1, {1, 2, 3, 4, 7});

  uint32_t vb = 99, fb = 99;
  ASSERT_TRUE(mesh.reserve(4, 1, vb, fb));
  EXPECT_EQ(vb, 8u);
  EXPECT_EQ(fb, 2u);
  EXPECT_EQ(mesh.vertexCount(), 12u);
  EXPECT_EQ(mesh.faceCount(), 3u);
  EXPECT_EQ(mesh.texFaces().size(), 3u);
  EXPECT_EQ(mesh.vertex(7), Vector3(1, 2, 3));
  EXPECT_EQ(mesh.vertex(8), Vector3());
  expectFace(mesh.face(1), 1, 2, 3, 4, 7);
  expectFace(mesh.face(2), 0, 0, 0, 0, 0);
  EXPECT_TRUE(mesh.hasVertices());

  // Truncation keeps the front and the texture faces stay beside the faces.
  ASSERT_TRUE(mesh.resize(3, 2));
  EXPECT_EQ(mesh.vertexCount(), 3u);
  EXPECT_EQ(mesh.texFaces().size(), 2u);
  expectFace(mesh.face(1), 1, 2, 3, 4, 7);
}

TEST(Mesh, OutOfRangeWritesAreRefusedAndReadsGiveZero) {
  Mesh mesh;
  ASSERT_TRUE(writeQuad(mesh, {5, 5, 5}, 3));
  EXPECT_FALSE(mesh.setVertex(mesh.vertexCount(), {9, 9, 9}));
  EXPECT_FALSE(mesh.setFace(mesh.faceCount(), {0, 1, 2, 3, 1}));
  EXPECT_FALSE(mesh.setTexFace(mesh.faceCount(), texFace(1)));
  EXPECT_FALSE(mesh.setVertex(UINT32_MAX, {9, 9, 9}));
  EXPECT_EQ(mesh.vertexCount(), 4u);
  EXPECT_EQ(mesh.faceCount(), 1u);

  EXPECT_EQ(mesh.vertex(4), Vector3());
  EXPECT_EQ(mesh.vertex(UINT32_MAX), Vector3());
  expectFace(mesh.face(1), 0, 0, 0, 0, 0);
  const TexFace none = mesh.texFace(1);
  for (const Vector3& uv : none.uv) EXPECT_EQ(uv, Vector3());

  EXPECT_EQ(mesh.vertex(2), Vector3(6, 6, 5));
  expectFace(mesh.face(0), 0, 1, 2, 3, 3);
  EXPECT_EQ(mesh.texFace(0).uv[3], Vector3(0.5, 3, 0));
}

TEST(Mesh, BoundsAreTheComponentwiseExtremes) {
  Mesh mesh;
  Vector3 lo(7, 7, 7), hi(7, 7, 7);
  EXPECT_FALSE(mesh.bounds(lo, hi));
  EXPECT_EQ(lo, Vector3(7, 7, 7));  // untouched without vertices

  mesh.resize(3, 0);
  mesh.setVertex(0, {1, -2, 3});
  mesh.setVertex(1, {-4, 5, 0.5});
  mesh.setVertex(2, {std::nan(""), 0, 9});
  ASSERT_TRUE(mesh.bounds(lo, hi));
  EXPECT_EQ(lo, Vector3(-4, -2, 0.5));
  EXPECT_EQ(hi, Vector3(1, 5, 9));
}

TEST(Mesh, CopiesAreIndependent) {
  Mesh a;
  writeQuad(a, {0, 0, 0}, 1);
  a.materialGroups().push_back({"bark", 2, {0}});
  Mesh b = a;
  b.setVertex(0, {8, 8, 8});
  b.materialGroups()[0].name = "leaf";
  EXPECT_EQ(a.vertex(0), Vector3());
  EXPECT_EQ(a.materialGroups()[0].name, "bark");
  EXPECT_EQ(b.faceCount(), 1u);
}

TEST(Mesh, ReservationsBeyondTheLimitsLeaveTheMeshAlone) {
  Mesh mesh;
  mesh.setLimits(10, 3);
  uint32_t vb = 0, fb = 0;
  ASSERT_TRUE(mesh.reserve(8, 2, vb, fb));
  EXPECT_FALSE(mesh.reserve(3, 1, vb, fb));  // 11 vertices
  EXPECT_FALSE(mesh.reserve(2, 2, vb, fb));  // 4 faces
  EXPECT_EQ(vb, 8u);
  EXPECT_EQ(fb, 2u);
  EXPECT_TRUE(mesh.reserve(2, 1, vb, fb));
  EXPECT_EQ(mesh.vertexCount(), 10u);
  EXPECT_EQ(mesh.faceCount(), 3u);

  // Without limits the 32-bit index range still bounds a mesh: no wrap-around.
  Mesh open;
  open.resize(2, 0);
  EXPECT_FALSE(open.reserve(UINT32_MAX, 0, vb, fb));
  EXPECT_EQ(open.vertexCount(), 2u);
}

TEST(TransformingMeshSink, PlacesVerticesAndStampsMaterials) {
  Mesh mesh;
  writeQuad(mesh, {0, 0, 0}, 7);
  const Matrix4 m = Matrix4::scale(2) * Matrix4::translation(10, 0, 0);

  TransformingMeshSink keep(mesh, m, -1);
  ASSERT_TRUE(writeQuad(keep, {0, 0, 1}, 4));
  TransformingMeshSink stamp(mesh, Matrix4(), 5);
  ASSERT_TRUE(writeQuad(stamp, {0, 0, 0}, 4));

  ASSERT_EQ(mesh.vertexCount(), 12u);
  ASSERT_EQ(mesh.faceCount(), 3u);
  EXPECT_EQ(mesh.vertex(4), Vector3(10, 0, 2));  // scaled first, then moved
  EXPECT_EQ(mesh.vertex(6), Vector3(12, 2, 2));
  EXPECT_EQ(mesh.vertex(9), Vector3(1, 0, 0));
  expectFace(mesh.face(0), 0, 1, 2, 3, 7);
  expectFace(mesh.face(1), 4, 5, 6, 7, 4);    // material -1 keeps the face's own
  expectFace(mesh.face(2), 8, 9, 10, 11, 5);  // material 5 replaces it
  EXPECT_EQ(mesh.texFace(1).uv[2], Vector3(0.5, 2, 0));

  // Refusals of the inner sink come back unchanged.
  EXPECT_FALSE(keep.setVertex(12, {0, 0, 0}));
  EXPECT_FALSE(stamp.setFace(3, Face()));
  mesh.setLimits(12, 3);
  uint32_t vb = 0, fb = 0;
  EXPECT_FALSE(keep.reserve(1, 0, vb, fb));
  EXPECT_TRUE(keep.finish());
}

TEST(DiscardingMeshSink, AcceptsEverythingWithEmptyReservations) {
  DiscardingMeshSink sink;
  uint32_t vb = 5, fb = 5;
  EXPECT_TRUE(writeQuad(sink, {0, 0, 0}, 1));
  EXPECT_TRUE(sink.reserve(1000, 1000, vb, fb));
  EXPECT_EQ(vb, 0u);
  EXPECT_EQ(fb, 0u);
  EXPECT_TRUE(sink.setVertex(123456, {1, 1, 1}));
  EXPECT_TRUE(sink.finish());
}

}  // namespace
}  // namespace syv

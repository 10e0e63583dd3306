// The quad mesh as writer and reader, and the transforming sink in front of it.
#include <gtest/gtest.h>

#include <cmath>

#include "core/mesh/mesh.h"

namespace syv {
namespace {

bool sameFace(const Face& f, const Face& g) {
  return f.a == g.a && f.b == g.b && f.c == g.c && f.d == g.d && f.material == g.material;
}

// One unit quad at `origin`, written through the generator protocol.
bool writeQuad(MeshSink& sink, const Vector3& origin, int32_t material) {
  uint32_t vb = 0, fb = 0;
  if (!sink.reserve(4, 1, vb, fb)) return false;
  const Vector3 corners[4] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
  for (uint32_t k = 0; k < 4; ++k) sink.setVertex(vb + k, origin + corners[k]);
  TexFace tf;
  tf.uv[3] = {0.5, 3, 0};
  return sink.setFace(fb, {vb, vb + 1, vb + 2, vb + 3, material}) && sink.setTexFace(fb, tf);
}

TEST(Mesh, ReserveGrowsFromTheBasesAndRefusesOutOfRangeWrites) {
  Mesh mesh;
  ASSERT_TRUE(mesh.resize(8, 2));
  mesh.setVertex(7, {1, 2, 3});
  uint32_t vb = 99, fb = 99;
  ASSERT_TRUE(mesh.reserve(4, 1, vb, fb));
  EXPECT_EQ(vb, 8u);
  EXPECT_EQ(fb, 2u);
  EXPECT_EQ(mesh.vertexCount(), 12u);
  EXPECT_EQ(mesh.texFaces().size(), 3u);
  EXPECT_EQ(mesh.vertex(7), Vector3(1, 2, 3));
  EXPECT_FALSE(mesh.setVertex(12, {9, 9, 9}));
  EXPECT_FALSE(mesh.setFace(mesh.faceCount(), {0, 1, 2, 3, 1}));
  EXPECT_FALSE(mesh.setTexFace(3, TexFace()));
  EXPECT_EQ(mesh.vertex(UINT32_MAX), Vector3());
  EXPECT_TRUE(sameFace(mesh.face(3), Face()));
  EXPECT_EQ(mesh.vertexCount(), 12u);

  // Bounds are the componentwise extremes; a NaN coordinate does not spoil them.
  ASSERT_TRUE(mesh.resize(3, 0));
  Vector3 lo(7, 7, 7), hi;
  EXPECT_FALSE(Mesh().bounds(lo, hi));
  EXPECT_EQ(lo, Vector3(7, 7, 7));
  mesh.setVertex(0, {1, -2, 3});
  mesh.setVertex(1, {-4, 5, 0.5});
  mesh.setVertex(2, {std::nan(""), 0, 9});
  ASSERT_TRUE(mesh.bounds(lo, hi));
  EXPECT_EQ(lo, Vector3(-4, -2, 0.5));
  EXPECT_EQ(hi, Vector3(1, 5, 9));
}

TEST(Mesh, ReservationsBeyondTheLimitsLeaveTheMeshAlone) {
  Mesh mesh;
  mesh.setLimits(10, 3);
  uint32_t vb = 0, fb = 0;
  ASSERT_TRUE(mesh.reserve(8, 2, vb, fb));
  EXPECT_FALSE(mesh.reserve(3, 1, vb, fb));
  EXPECT_FALSE(mesh.reserve(2, 2, vb, fb));
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
  TransformingMeshSink keep(mesh, Matrix4::scale(2) * Matrix4::translation(10, 0, 0), -1);
  ASSERT_TRUE(writeQuad(keep, {0, 0, 1}, 4));
  TransformingMeshSink stamp(mesh, Matrix4(), 5);
  ASSERT_TRUE(writeQuad(stamp, {0, 0, 0}, 4));

  ASSERT_EQ(mesh.vertexCount(), 12u);
  EXPECT_EQ(mesh.vertex(4), Vector3(10, 0, 2));  // scaled first, then moved
  EXPECT_EQ(mesh.vertex(6), Vector3(12, 2, 2));
  EXPECT_EQ(mesh.vertex(9), Vector3(1, 0, 0));
  EXPECT_TRUE(sameFace(mesh.face(0), {0, 1, 2, 3, 7}));
  EXPECT_TRUE(sameFace(mesh.face(1), {4, 5, 6, 7, 4}));
  EXPECT_TRUE(sameFace(mesh.face(2), {8, 9, 10, 11, 5}));
  EXPECT_EQ(mesh.texFace(1).uv[3], Vector3(0.5, 3, 0));

  EXPECT_FALSE(keep.setVertex(12, {0, 0, 0}));  // the inner sink's refusals come back
  mesh.setLimits(12, 3);
  uint32_t vb = 0, fb = 0;
  EXPECT_FALSE(keep.reserve(1, 0, vb, fb));
}

}  // namespace
}  // namespace syv

// The quad mesh, its transforming sink and the primitive generators writing to it.
// The generators' layouts are kept by the recorded outputs (every kind is in a
// test plant), and their facing by the plug-in's volume test.
#include "core/mesh/primitives.h"

#include <gtest/gtest.h>

#include <cmath>

#include "core/mesh/mesh.h"
#include "tests/support/recorders.h"

namespace syv {
namespace {

using test::CountingSink;
using test::LogRecorder;

// Every generator appends after what the mesh holds, indexes only its own
// vertices and stamps its material (5) on every face.
TEST(Primitives, CountsMinimumsAndAppending) {
  struct Case {
    const char* name;
    bool (*make)(Mesh&);
    uint32_t vertices, faces;
  };
  const Case cases[] = {
      {"box", [](Mesh& m) { return generateBox(m, Vector3(1, 2, 3), 5); }, 24, 6},
      {"side 2x0 -> 3x1", [](Mesh& m) { return generateCylinderSide(m, 1, 1, 2, 0, 5); }, 6, 3},
      {"side 6x1", [](Mesh& m) { return generateCylinderSide(m, 1, 1, 6, 1, 5); }, 12, 6},
      {"disc 5x2", [](Mesh& m) { return generateDisc(m, 1, 0, 5, 2, 5); }, 15, 10},
      {"cone 4x4", [](Mesh& m) { return generateCone(m, 1, 4, 4, 4, 5); }, 20, 16},
      {"sphere 8x4", [](Mesh& m) { return generateSphere(m, 1, 8, 4, 5); }, 26, 32},
      {"sphere 1x1 -> 3x3", [](Mesh& m) { return generateSphere(m, 1, 1, 1, 5); }, 8, 9},
      {"plane 0 -> 1", [](Mesh& m) { return generatePlane(m, 1, 0, 5); }, 4, 1},
      {"plane 3", [](Mesh& m) { return generatePlane(m, 1, 3, 5); }, 16, 9},
  };
  for (const Case& c : cases) {
    Mesh m;
    m.resize(4, 1);
    EXPECT_TRUE(c.make(m)) << c.name;
    EXPECT_EQ(m.vertexCount(), 4 + c.vertices) << c.name;
    EXPECT_EQ(m.faceCount(), 1 + c.faces) << c.name;
    for (uint32_t f = 1; f < m.faceCount(); ++f) {
      const Face q = m.face(f);
      EXPECT_GE(std::min({q.a, q.b, q.c, q.d}), 4u) << c.name;
      EXPECT_LT(std::max({q.a, q.b, q.c, q.d}), m.vertexCount()) << c.name;
      EXPECT_EQ(q.material, 5) << c.name;
    }
  }
}

TEST(Primitives, RefusedSinksHugeCountsAndNonFiniteSizes) {
  CountingSink refusing;
  refusing.refuseAfter = 0;
  EXPECT_FALSE(generateBox(refusing, Vector3(1, 1, 1), 0) ||
               generateCylinderSide(refusing, 1, 1, 8, 2, 0) || generateDisc(refusing, 1, 0, 8, 2, 0) ||
               generateCone(refusing, 1, 1, 8, 2, 0) || generateSphere(refusing, 1, 8, 8, 0) ||
               generatePlane(refusing, 1, 4, 0));
  EXPECT_EQ(refusing.writes, 0u);

  LogRecorder log;
  CountingSink m;
  EXPECT_TRUE(generatePlane(m, 1, 4000000000u, 0));
  EXPECT_EQ(m.quads, uint64_t{kMaxPrimitiveCount} * kMaxPrimitiveCount);
  ASSERT_EQ(log.warnings.size(), 1u);
  EXPECT_NE(log.warnings[0].find("divisions"), std::string::npos);

  Mesh empty;
  EXPECT_TRUE(generateSphere(empty, std::nan(""), 8, 8, 0));
  EXPECT_TRUE(generateBox(empty, Vector3(1, INFINITY, 1), 0));
  EXPECT_TRUE(generateCone(empty, 1, -INFINITY, 8, 8, 0));
  EXPECT_EQ(empty.vertexCount(), 0u);
  EXPECT_EQ(log.warnings.size(), 4u);
}

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
  EXPECT_EQ(std::make_pair(vb, fb), std::make_pair(8u, 2u));
  EXPECT_EQ(mesh.texFaces().size(), 3u);
  EXPECT_EQ(mesh.vertex(7), Vector3(1, 2, 3));
  EXPECT_FALSE(mesh.setVertex(12, {9, 9, 9}));
  EXPECT_FALSE(mesh.setFace(mesh.faceCount(), {0, 1, 2, 3, 1}));
  EXPECT_FALSE(mesh.setTexFace(3, TexFace()));
  EXPECT_EQ(mesh.vertex(UINT32_MAX), Vector3());
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
  EXPECT_TRUE(sameFace(mesh.face(1), {4, 5, 6, 7, 4}));
  EXPECT_TRUE(sameFace(mesh.face(2), {8, 9, 10, 11, 5}));
  EXPECT_EQ(mesh.texFace(1).uv[3], Vector3(0.5, 3, 0));

  // Runs longer than the sink's chunks come out as the single calls do.
  Mesh runs;
  uint32_t rb = 0, rf = 0;
  ASSERT_TRUE(runs.reserve(70, 70, rb, rf));
  std::vector<Vector3> points(71);  // one past the reservation: dropped
  std::vector<Face> faces(70, Face{0, 1, 2, 3, 4});
  std::vector<TexFace> tex(70);
  for (size_t i = 0; i < points.size(); ++i) points[i] = {double(i), 1, 2};
  TransformingMeshSink(runs, Matrix4::translation(0, 5, 0), 9).setVertices(0, points.data(), 71);
  TransformingMeshSink(runs, Matrix4(), 9).setQuads(0, faces.data(), tex.data(), 70);
  EXPECT_EQ(runs.vertexCount(), 70u);
  EXPECT_EQ(runs.vertex(69), Vector3(69, 6, 2));
  EXPECT_TRUE(sameFace(runs.face(69), {0, 1, 2, 3, 9}));

  EXPECT_FALSE(keep.setVertex(12, {0, 0, 0}));  // the inner sink's refusals come back
  mesh.setLimits(12, 3);
  uint32_t vb = 0, fb = 0;
  EXPECT_FALSE(keep.reserve(1, 0, vb, fb));
}

}  // namespace
}  // namespace syv

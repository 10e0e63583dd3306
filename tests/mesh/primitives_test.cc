#include "core/mesh/primitives.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "core/expr/log.h"

namespace syv {
namespace {

struct Warnings : LogSink {
  std::vector<std::string> lines;
  Warnings() { LogChannel::setSink(this); }
  ~Warnings() override { LogChannel::clearSink(); }
  void error(const std::string& t) override { lines.push_back(t); }
  void warning(const std::string& t) override { lines.push_back(t); }
  void trace(const std::string&) override {}
  void info(const std::string&) override {}
};

Vector3 cross(const Vector3& a, const Vector3& b) {
  return Vector3(a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x);
}
double dot(const Vector3& a, const Vector3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Vector3 sub(const Vector3& a, const Vector3& b) { return Vector3(a.x - b.x, a.y - b.y, a.z - b.z); }

// Normal of the quad's first corner triangle (a, b, c).
Vector3 cornerNormal(const Mesh& m, uint32_t f) {
  const Face q = m.face(f);
  return cross(sub(m.vertex(q.b), m.vertex(q.a)), sub(m.vertex(q.c), m.vertex(q.a)));
}

Vector3 centroid(const Mesh& m, uint32_t f) {
  const Face q = m.face(f);
  Vector3 s(0, 0, 0);
  for (uint32_t i : {q.a, q.b, q.c, q.d}) {
    const Vector3 v = m.vertex(i);
    s = Vector3(s.x + v.x / 4, s.y + v.y / 4, s.z + v.z / 4);
  }
  return s;
}

void expectNear(const Vector3& a, const Vector3& b) {
  EXPECT_NEAR(a.x, b.x, 1e-12);
  EXPECT_NEAR(a.y, b.y, 1e-12);
  EXPECT_NEAR(a.z, b.z, 1e-12);
}

TEST(Primitives, CountsAndMinimums) {
  struct Case {
    const char* name;
    bool (*make)(Mesh&);
    uint32_t vertices, faces;
  };
  const Case cases[] = {
      {"box", [](Mesh& m) { return generateBox(m, Vector3(1, 2, 3), 0); }, 24, 6},
      {"side 2x0 -> 3x1", [](Mesh& m) { return generateCylinderSide(m, 1, 1, 2, 0, 0); }, 6, 3},
      {"side 6x1", [](Mesh& m) { return generateCylinderSide(m, 1, 1, 6, 1, 0); }, 12, 6},
      {"disc 5x2", [](Mesh& m) { return generateDisc(m, 1, 0, 5, 2, 0); }, 15, 10},
      {"cone 4x4", [](Mesh& m) { return generateCone(m, 1, 4, 4, 4, 0); }, 20, 16},
      {"sphere 8x4", [](Mesh& m) { return generateSphere(m, 1, 8, 4, 0); }, 26, 32},
      {"sphere 1x1 -> 3x3", [](Mesh& m) { return generateSphere(m, 1, 1, 1, 0); }, 8, 9},
      {"plane 0 -> 1", [](Mesh& m) { return generatePlane(m, 1, 0, 0); }, 4, 1},
      {"plane 3", [](Mesh& m) { return generatePlane(m, 1, 3, 0); }, 16, 9},
  };
  for (const Case& c : cases) {
    Mesh m;
    EXPECT_TRUE(c.make(m)) << c.name;
    EXPECT_EQ(m.vertexCount(), c.vertices) << c.name;
    EXPECT_EQ(m.faceCount(), c.faces) << c.name;
    for (uint32_t f = 0; f < m.faceCount(); ++f) {
      const Face q = m.face(f);
      EXPECT_LT(std::max({q.a, q.b, q.c, q.d}), m.vertexCount()) << c.name;
    }
  }
}

TEST(Primitives, AppendAfterExistingGeometryAndStampMaterial) {
  Mesh m;
  generateBox(m, Vector3(1, 1, 1), 3);
  generateCylinderSide(m, 1, 2, 3, 1, 7);
  ASSERT_EQ(m.vertexCount(), 24u + 6u);
  ASSERT_EQ(m.faceCount(), 6u + 3u);
  EXPECT_EQ(m.face(5).material, 3);
  EXPECT_EQ(m.face(6).material, 7);
  // The side's first quad joins its own first vertices, not the box's.
  EXPECT_EQ(m.face(6).a, 24u);
  EXPECT_EQ(m.face(6).d, 27u);
}

TEST(Primitives, BoxFacesRunClockwiseSeenFromOutside) {
  Mesh m;
  generateBox(m, Vector3(2, 4, 6), 0);
  Vector3 lo, hi;
  ASSERT_TRUE(m.bounds(lo, hi));
  expectNear(lo, Vector3(-1, -2, -3));
  expectNear(hi, Vector3(1, 2, 3));
  for (uint32_t f = 0; f < 6; ++f) {
    // Clockwise from outside: the right-hand normal points into the box.
    EXPECT_LT(dot(cornerNormal(m, f), centroid(m, f)), 0) << "face " << f;
    const TexFace t = m.texFace(f);
    EXPECT_EQ(t.uv[0].x + t.uv[2].x, 1.0);
    EXPECT_EQ(t.uv[0].y + t.uv[2].y, 1.0);
  }
  EXPECT_EQ(m.face(3).a, 13u);
  EXPECT_EQ(m.face(3).b, 12u);
}

TEST(Primitives, CylinderRingsSeamAndTextureRunTopDown) {
  Mesh m;
  generateCylinderSide(m, 2, 4, 4, 2, 0);
  expectNear(m.vertex(0), Vector3(0, 2, 2));   // first point on +Y at the top
  expectNear(m.vertex(1), Vector3(2, 0, 2));   // then towards +X
  expectNear(m.vertex(8), Vector3(0, 2, -2));  // last ring at the bottom
  const Face seam = m.face(3);                 // ring 0, last segment
  EXPECT_EQ(seam.a, 3u);
  EXPECT_EQ(seam.b, 0u);
  EXPECT_EQ(seam.c, 4u);
  EXPECT_EQ(seam.d, 7u);
  const TexFace t = m.texFace(3);
  EXPECT_DOUBLE_EQ(t.uv[0].x, 0.25);
  EXPECT_DOUBLE_EQ(t.uv[1].x, 0.0);  // no jump back to 1 at the seam
  EXPECT_DOUBLE_EQ(t.uv[0].y, 0.0);
  EXPECT_DOUBLE_EQ(t.uv[2].y, 0.5);
  EXPECT_DOUBLE_EQ(m.texFace(4).uv[0].y, 0.5);  // second ring of faces
}

TEST(Primitives, DiscAndConeGrids) {
  Mesh disc;
  generateDisc(disc, -2, -1, 4, 2, 0);
  expectNear(disc.vertex(0), Vector3(0, 0, -1));   // the first ring collapses
  expectNear(disc.vertex(4), Vector3(0, -1, -1));  // half radius, mirrored to -Y
  expectNear(disc.vertex(9), Vector3(-2, 0, -1));

  Mesh cone;
  generateCone(cone, 2, 6, 4, 3, 0);
  expectNear(cone.vertex(0), Vector3(0, 2, -3));  // base ring first
  expectNear(cone.vertex(12), Vector3(0, 0, 3));  // apex
  expectNear(cone.vertex(15), Vector3(0, 0, 3));
  EXPECT_DOUBLE_EQ(cone.texFace(4).uv[0].y, 1.0 / 3);
}

TEST(Primitives, SpherePolesAndRadius) {
  Mesh m;
  generateSphere(m, 3, 6, 4, 0);
  ASSERT_EQ(m.vertexCount(), 20u);
  expectNear(m.vertex(0), Vector3(0, 0, -3));
  expectNear(m.vertex(19), Vector3(0, 0, 3));
  for (uint32_t i = 0; i < m.vertexCount(); ++i) {
    const Vector3 v = m.vertex(i);
    EXPECT_NEAR(std::sqrt(dot(v, v)), 3.0, 1e-12);
  }
  const Face first = m.face(0), last = m.face(23);
  EXPECT_EQ(first.c, 0u);
  EXPECT_EQ(first.d, 0u);
  EXPECT_EQ(last.a, 19u);
  EXPECT_EQ(last.b, 19u);
  // Neighbouring bands share their latitude: band 1 starts where band 0 ends.
  EXPECT_EQ(m.face(6).c, m.face(0).b);
  EXPECT_DOUBLE_EQ(m.texFace(0).uv[0].y, 0.25);
  EXPECT_DOUBLE_EQ(m.texFace(23).uv[3].y, 0.75);
  // Same orientation as the cylinder side's quads: outward-facing alike.
  Mesh side;
  generateCylinderSide(side, 3, 1, 6, 1, 0);
  const double sphereSign = dot(cornerNormal(m, 8), centroid(m, 8));
  const double sideSign = dot(cornerNormal(side, 0), centroid(side, 0));
  EXPECT_GT(sphereSign * sideSign, 0);
}

TEST(Primitives, PlaneGridAndTextureCorners) {
  Mesh m;
  generatePlane(m, 4, 2, 0);
  expectNear(m.vertex(0), Vector3(-2, -2, 0));
  expectNear(m.vertex(4), Vector3(0, 0, 0));
  expectNear(m.vertex(5), Vector3(2, 0, 0));
  expectNear(m.vertex(8), Vector3(2, 2, 0));
  const Face q = m.face(3);  // cell i = 2, j = 2
  EXPECT_EQ(q.a, 5u);
  EXPECT_EQ(q.b, 4u);
  EXPECT_EQ(q.c, 7u);
  EXPECT_EQ(q.d, 8u);
  for (uint32_t f = 0; f < m.faceCount(); ++f) {
    const Face g = m.face(f);
    const TexFace t = m.texFace(f);
    const uint32_t idx[4] = {g.a, g.b, g.c, g.d};
    for (int c = 0; c < 4; ++c) {
      const uint32_t i = idx[c] % 3, j = idx[c] / 3;
      EXPECT_DOUBLE_EQ(t.uv[c].x, 1.0 - i / 2.0);
      EXPECT_DOUBLE_EQ(t.uv[c].y, 1.0 - j / 2.0);
    }
  }
}

TEST(Primitives, TransformMeshMovesEveryVertex) {
  Mesh m;
  generatePlane(m, 2, 1, 0);
  transformMesh(m, Matrix4::rotX(-kPi / 2) * Matrix4::translation(0, 0, 5));
  for (uint32_t i = 0; i < m.vertexCount(); ++i) EXPECT_NEAR(m.vertex(i).y, 0.0, 1e-12);
  Vector3 lo, hi;
  m.bounds(lo, hi);
  EXPECT_NEAR(lo.z, 4, 1e-12);
  EXPECT_NEAR(hi.z, 6, 1e-12);
}

struct RefusingSink : MeshSink {
  int writes = 0;
  bool reserve(uint32_t, uint32_t, uint32_t&, uint32_t&) override { return false; }
  bool finish() override { return true; }
  bool setVertex(uint32_t, const Vector3&) override { return ++writes, true; }
  bool setFace(uint32_t, const Face&) override { return ++writes, true; }
  bool setTexFace(uint32_t, const TexFace&) override { return ++writes, true; }
};

TEST(Primitives, RefusedReservationWritesNothing) {
  RefusingSink s;
  EXPECT_FALSE(generateBox(s, Vector3(1, 1, 1), 0));
  EXPECT_FALSE(generateCylinderSide(s, 1, 1, 8, 2, 0));
  EXPECT_FALSE(generateDisc(s, 1, 0, 8, 2, 0));
  EXPECT_FALSE(generateCone(s, 1, 1, 8, 2, 0));
  EXPECT_FALSE(generateSphere(s, 1, 8, 8, 0));
  EXPECT_FALSE(generatePlane(s, 1, 4, 0));
  EXPECT_EQ(s.writes, 0);
}

struct CountingSink : MeshSink {
  uint32_t vertices = 0, faces = 0;
  bool reserve(uint32_t nv, uint32_t nf, uint32_t& vb, uint32_t& fb) override {
    vb = vertices, fb = faces;
    vertices += nv, faces += nf;
    return true;
  }
  bool finish() override { return true; }
  bool setVertex(uint32_t i, const Vector3&) override { return i < vertices; }
  bool setFace(uint32_t i, const Face&) override { return i < faces; }
  bool setTexFace(uint32_t i, const TexFace&) override { return i < faces; }
};

TEST(Primitives, HugeCountsAreBoundedAndNonFiniteSizesEmitNothing) {
  Warnings log;
  CountingSink m;
  EXPECT_TRUE(generatePlane(m, 1, 4000000000u, 0));
  EXPECT_EQ(m.faces, kMaxPrimitiveCount * kMaxPrimitiveCount);
  ASSERT_EQ(log.lines.size(), 1u);
  EXPECT_NE(log.lines[0].find("divisions"), std::string::npos);

  Mesh empty;
  EXPECT_TRUE(generateSphere(empty, std::nan(""), 8, 8, 0));
  EXPECT_TRUE(generateBox(empty, Vector3(1, INFINITY, 1), 0));
  EXPECT_TRUE(generateCone(empty, 1, -INFINITY, 8, 8, 0));
  EXPECT_EQ(empty.vertexCount(), 0u);
  EXPECT_EQ(log.lines.size(), 4u);
}

}  // namespace
}  // namespace syv

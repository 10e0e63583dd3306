// ClassicSimple's own-frame placement and ClassicHyperpatch's deformation,
// on small meshes and lattices worked out by hand.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "core/components/classic_simple.h"
#include "tests/components/fixtures.h"

namespace syv {
namespace {

EvaluationContext nodeContext(const Matrix4& own, const Matrix4& accumulated) {
  EvaluationContext c;
  c.setNodeState(own, accumulated, 1, 1, 1, 0, 1, nullptr);
  return c;
}

// P_ijk = (i, j, k) / degree, k fastest: the volume that moves nothing.
std::vector<Vector3> regularLattice(uint32_t degree) {
  std::vector<Vector3> points;
  for (uint32_t i = 0; i <= degree; ++i)
    for (uint32_t j = 0; j <= degree; ++j)
      for (uint32_t k = 0; k <= degree; ++k)
        points.push_back(Vector3(i, j, k) / double(degree));
  return points;
}

size_t latticeIndex(uint32_t degree, uint32_t i, uint32_t j, uint32_t k) {
  return (i * (degree + 1) + j) * (degree + 1) + k;
}

Mesh meshOf(std::initializer_list<Vector3> points) {
  Mesh mesh;
  uint32_t vb = 0, fb = 0;
  mesh.reserve(uint32_t(points.size()), 1, vb, fb);
  uint32_t i = 0;
  for (const Vector3& p : points) mesh.setVertex(i++, p);
  mesh.setFace(0, {0, 1, 2, 3, 6});
  return mesh;
}

TEST(ClassicSimple, PhotoTurnPivotsAboutTheNodeOrigin) {
  ClassicSimple simple;
  simple.photo = 1.0;
  const Vector3 origin(1, 2, 3);
  const Matrix4 own = Matrix4::translation(origin);
  const Matrix4 accumulated = Matrix4::rotX(0.6) * own;
  Mesh sink;
  ChildGroups groups;
  ASSERT_EQ(simple.generate(nodeContext(own, accumulated), sink, 16, groups), 16u);
  const Matrix4 c = groups[0].placements[0].frame;
  // The node leans 0.6 rad off the vertical; the full turn stands it upright.
  const Vector3 axis = (c * accumulated.inverse()).row(2).normalized();
  expectNear(axis, {0, 0, 1}, 1e-6);
  expectNear(origin * c, origin, 1e-9);
  EXPECT_NEAR(c.determinant(), 1.0, 1e-9);
  EXPECT_TRUE(sink.isEmpty());
}

TEST(ClassicSimple, NonFiniteTurnPlacesNoChild) {
  CountingLog log;
  ClassicSimple simple;
  simple.photo = 0.5;
  Matrix4 broken = Matrix4::rotX(0.6);
  broken.m[3][0] = std::numeric_limits<double>::quiet_NaN();
  Mesh sink;
  ChildGroups groups;
  EXPECT_EQ(simple.generate(nodeContext(broken, Matrix4()), sink, 16, groups), 0u);
  EXPECT_TRUE(groups.empty());
  EXPECT_EQ(log.warnings, 1);

  simple.photo = std::nan("");  // either no turn or refused; never a NaN frame
  simple.generate(nodeContext(Matrix4(), Matrix4::rotX(0.6)), sink, 16, groups);
  for (const ChildGroup& g : groups) EXPECT_TRUE(g.placements[0].frame.isFinite());
}

TEST(ClassicHyperpatch, RegularLatticesLeaveEveryVertexInPlace) {
  // A box of extents 2, 1 and 0.5 with an inner point: only the longest side
  // spans the unit cube, the others sit in its middle.
  const Mesh original = meshOf({{-1, 0, 4}, {1, 1, 4.5}, {0.3, 0.2, 4.1}, {-0.5, 0.9, 4.4}});
  for (uint32_t degree = 1; degree <= 4; ++degree) {
    ClassicHyperpatch patch;
    patch.controlPoints = regularLattice(degree);
    Mesh mesh = original;
    EXPECT_TRUE(patch.deform(mesh)) << degree;
    for (uint32_t v = 0; v < mesh.vertexCount(); ++v)
      expectNear(mesh.vertex(v), original.vertex(v), 1e-12);
    EXPECT_EQ(mesh.face(0).material, 6);
  }
}

TEST(ClassicHyperpatch, MovedControlPointsBendByTheirWeights) {
  // Bounds [0, 2]^3: centre (1, 1, 1), extent 2, so q = p / 2.
  const Mesh cube = meshOf({{0, 0, 0}, {2, 2, 2}, {1, 1, 1}, {2, 0, 0}, {0, 0, 2}});

  // Degree 1, corner P_111 pulled out to (2, 2, 2) in unit-cube coordinates;
  // copied from another patch and run as the traversal runs an own mesh.
  ClassicHyperpatch linear;
  {
    ClassicHyperpatch source;
    source.patchKind = 7;
    source.controlPoints = regularLattice(1);
    source.controlPoints[latticeIndex(1, 1, 1, 1)] = {2, 2, 2};
    linear.copyPatch(source);
  }
  EXPECT_EQ(linear.patchKind, 7u);
  Mesh mesh = cube;
  ASSERT_TRUE(static_cast<const Component&>(linear).buildOwnMesh(EvaluationContext(), mesh));
  expectNear(mesh.vertex(0), {0, 0, 0});
  expectNear(mesh.vertex(1), {4, 4, 4});           // 1 + (2 - 0.5) * 2
  expectNear(mesh.vertex(2), {1.25, 1.25, 1.25});  // weight 1/8 on the moved corner
  expectNear(mesh.vertex(3), {2, 0, 0});

  // Degree 2, P_200 (the x = 1 corner) moved along z: the vertex at that
  // corner follows it, the one at the z = 1 corner (P_002) does not; this
  // fixes the storage order with k running fastest.
  ClassicHyperpatch quadratic;
  quadratic.controlPoints = regularLattice(2);
  quadratic.controlPoints[latticeIndex(2, 2, 0, 0)].z = 0.25;
  mesh = cube;
  ASSERT_TRUE(quadratic.deform(mesh));
  expectNear(mesh.vertex(3), {2, 0, 0.5});
  expectNear(mesh.vertex(4), {0, 0, 2});
  // The centre weighs P_200 by B_2(0.5) * B_0(0.5) * B_0(0.5) = 1 / 64.
  expectNear(mesh.vertex(2), {1, 1, 1 + 2 * 0.25 / 64});
}

TEST(ClassicHyperpatch, LeavesTheMeshAloneWhenItCannotBend) {
  CountingLog log;
  const Mesh original = meshOf({{0, 0, 0}, {2, 0, 0}, {0, 2, 0}, {2, 2, 2}});
  ClassicHyperpatch patch;
  patch.controlPoints = regularLattice(1);
  patch.controlPoints[0] = {3, 3, 3};

  auto unchanged = [&](const ClassicHyperpatch& p, const Mesh& before) {
    Mesh mesh = before;
    EXPECT_FALSE(p.deform(mesh));
    ASSERT_EQ(mesh.vertexCount(), before.vertexCount());
    for (uint32_t v = 0; v < mesh.vertexCount(); ++v) EXPECT_EQ(mesh.vertex(v), before.vertex(v));
  };
  unchanged(patch, Mesh());                                                // no bounds
  unchanged(patch, meshOf({{1, 2, 3}, {1, 2, 3}, {1, 2, 3}, {1, 2, 3}}));  // flat: E = 0
  unchanged(patch, meshOf({{0, 0, 0}, {5e-9, 0, 0}, {0, 0, 0}, {0, 0, 0}}));

  ClassicHyperpatch odd = patch;
  odd.controlPoints.resize(10);
  unchanged(odd, original);

  // Control points that are not finite, or so large that the sum overflows.
  ClassicHyperpatch bad = patch;
  bad.controlPoints[5].y = std::numeric_limits<double>::infinity();
  unchanged(bad, original);
  bad.controlPoints[5].y = 0.0;
  bad.controlPoints[0].y = 1e308;  // the corner vertex at the origin weighs it fully
  unchanged(bad, original);
  EXPECT_EQ(log.warnings, 2);
}

}  // namespace
}  // namespace syv

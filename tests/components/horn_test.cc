// ClassicHorn: the turtle path, the tube, the stamped meshes and the rib,
// tip and base placements, on small horns worked out by hand.
#include <gtest/gtest.h>

#include <cmath>

#include "core/components/classic_horn.h"
#include "tests/components/fixtures.h"

namespace syv {
namespace {

ClassicHorn straightHorn(double segments, double length) {
  ClassicHorn h;
  h.scale = 100.0;
  h.segments = segments;
  h.hornLength = length;
  h.stepFactor = 1.0;
  h.radius = constant(0.5);
  h.bendX = h.bendY = h.bendZ = h.shiftX = h.shiftY = h.twist = h.ribTwist = constant(0);
  h.step = h.ribScale = constant(1);
  h.profile = constant(0);
  return h;
}

Path pathOf(const ClassicHorn& h) {
  return buildHornPath(h.bendX, h.bendY, h.bendZ, h.shiftX, h.shiftY, h.step, h.twist,
                       h.ribScale, h.segments, h.hornLength, h.stepFactor);
}

TEST(HornPath, StraightArcAndTwist) {
  ClassicHorn h = straightHorn(4, 4);
  Path path = pathOf(h);
  ASSERT_EQ(path.size(), 5u);
  for (size_t i = 0; i < 5; ++i) {
    EXPECT_DOUBLE_EQ(path[i].t, 0.25 * i);
    EXPECT_NEAR((path[i].frame.position() - Vector3(0, 0, i)).length(), 0.0, 1e-12);
  }
  // A constant bendX turns every step by c * ls towards +Y in the YZ plane;
  // the first step already moves along the turned axis.
  const double c = 0.3;
  h.bendX = constant(c);
  path = pathOf(h);
  for (size_t i = 0; i < 5; ++i) {
    EXPECT_NEAR(path[i].frame.position().x, 0.0, 1e-12);
    EXPECT_NEAR(path[i].frame.m[2][1], std::sin(c * i), 1e-12);
    EXPECT_NEAR(path[i].frame.m[2][2], std::cos(c * i), 1e-12);
    if (i > 0) {
      EXPECT_NEAR((path[i].frame.position() - path[i - 1].frame.position()).length(), 1.0, 1e-12);
    }
  }
  EXPECT_NEAR((path[1].frame.position() - Vector3(0, std::sin(c), std::cos(c))).length(), 0, 1e-12);
  // The twist turns the emitted frames only: the turtle, and so every
  // position, stays where it was.
  ClassicHorn twisted = h;
  twisted.twist = constant(0.7);
  const Path turned = pathOf(twisted);
  for (size_t i = 0; i < 5; ++i)
    EXPECT_NEAR((path[i].frame.position() - turned[i].frame.position()).length(), 0.0, 1e-12);
  EXPECT_NEAR(turned[0].frame.m[0][0], std::cos(0.7), 1e-12);
  EXPECT_NEAR(turned[0].frame.m[0][1], -std::sin(0.7), 1e-12);
  // Half a segment leaves a single point at t = 0, not 0 / 0.
  h.segments = 0.5;
  path = pathOf(h);
  ASSERT_EQ(path.size(), 1u);
  EXPECT_EQ(path[0].t, 0.0);
}

TEST(HornGenerate, TubeRibsTipAndBase) {
  ClassicHorn h = straightHorn(4, 4);
  h.ribScale = constant(2);
  MeshShape circle(circles({{4, true}}));
  const EvaluationContext c = nodeContext(0.5, 0.7, 0.3, &circle);
  Mesh mesh;
  ChildGroups groups;
  EXPECT_EQ(h.generate(c, mesh, kLinkTip | kLinkOwnFrame, groups), 28u);
  EXPECT_EQ(mesh.vertexCount(), 20u);  // five rings of four points
  EXPECT_EQ(mesh.faceCount(), 16u);
  for (const Vector3& v : mesh.vertices()) EXPECT_NEAR(radial(v), 0.5, 1e-12);
  Vector3 lo, hi;
  ASSERT_TRUE(mesh.bounds(lo, hi));
  EXPECT_NEAR(hi.z, 400.0, 1e-9);  // path lengths are in file units

  ASSERT_EQ(groups.size(), 3u);
  const ChildGroup& ribs = groups[0];
  EXPECT_EQ(ribs.kind, kLinkBranches);
  ASSERT_EQ(ribs.placements.size(), 3u);  // inner points only
  for (uint32_t k = 0; k < 3; ++k) {
    const ChildPlacement& p = ribs.placements[k];
    EXPECT_EQ(p.index, k);
    EXPECT_EQ(p.count, 3u);
    EXPECT_DOUBLE_EQ(p.t, 0.25 * (k + 1));
    EXPECT_NEAR(p.frame.position().z, 100.0 * (k + 1), 1e-9);
    // Turned by -90 degrees about X and scaled by ribScale: Z along +Y.
    EXPECT_NEAR((p.frame.row(2) - Vector3(0, 2, 0)).length(), 0.0, 1e-12);
    // The node's values are handed down.
    EXPECT_EQ(p.valid, 1);
    EXPECT_DOUBLE_EQ(p.growth, 0.5);
    EXPECT_DOUBLE_EQ(p.thickness, 0.7);
    EXPECT_DOUBLE_EQ(p.density, 0.3);
  }
  EXPECT_EQ(groups[1].kind, kLinkTip);
  ASSERT_EQ(groups[1].placements.size(), 1u);
  EXPECT_NEAR(groups[1].placements[0].frame.position().z, 400.0, 1e-9);
  EXPECT_DOUBLE_EQ(groups[1].placements[0].t, 1.0);
  EXPECT_EQ(groups[2].kind, kLinkOwnFrame);
  EXPECT_EQ(groups[2].placements[0].valid, 0);

  // Without any asked kind the rib group is still there, and nothing else.
  uint32_t served = 0;
  groups = childrenOf(h, c, 0, &served);
  EXPECT_EQ(served, uint32_t(kLinkBranches));
  ASSERT_EQ(groups.size(), 1u);
  EXPECT_EQ(groups[0].placements.size(), 3u);
}

TEST(HornGenerate, StampsTheSolidMeshScaledByRadius) {
  ClassicHorn h = straightHorn(4, 4);
  h.radius = constant(2);
  MeshShape solid;
  solid.solid = unitQuad();
  solid.matrix = Matrix4::translation(0, 0, 10);
  Mesh mesh;
  ChildGroups groups;
  h.generate(nodeContext(1, 1, 1, &solid), mesh, 0, groups);
  // No outline, so no tube; one quad at every point but the tip.
  ASSERT_EQ(mesh.faceCount(), 4u);
  ASSERT_EQ(mesh.vertexCount(), 16u);
  // Corner (1, 1, 0) of the stamp at point 1: placed by the shape's matrix,
  // scaled by the radius, then moved to the point.
  EXPECT_NEAR((mesh.vertex(4 + 2) - Vector3(2, 2, 20 + 100)).length(), 0.0, 1e-9);
}

TEST(HornFaults, RefusedSinkNaNAndHugeCounts) {
  ClassicHorn h = straightHorn(4, 4);
  MeshShape circle(circles({{4, true}}));
  RefusingSink refusing;
  ChildGroups groups;
  EXPECT_EQ(h.generate(nodeContext(1, 1, 1, &circle), refusing, 28, groups), 0u);
  EXPECT_TRUE(groups.empty());

  CountingLog log;
  ClassicHorn bent = h;
  bent.bendY = constant(std::nan(""));
  Mesh mesh;
  EXPECT_EQ(bent.generate(nodeContext(1, 1, 1, &circle), mesh, 28, groups), 0u);
  EXPECT_TRUE(mesh.isEmpty());
  EXPECT_TRUE(groups.empty());
  EXPECT_GE(log.warnings, 1);

  // A NaN count counts as 0: a one-point path, so no tube and no ribs, but
  // the tip (at the base) and the base are still served.
  ClassicHorn none = h;
  none.segments = std::nan("");
  const int before = log.warnings;
  EXPECT_EQ(none.generate(nodeContext(1, 1, 1, &circle), mesh, 24, groups), 28u);
  EXPECT_TRUE(mesh.isEmpty());
  EXPECT_GT(log.warnings, before);
  ASSERT_NE(findGroup(groups, kLinkBranches), nullptr);
  EXPECT_TRUE(findGroup(groups, kLinkBranches)->placements.empty());
  ASSERT_NE(findGroup(groups, kLinkTip), nullptr);
  EXPECT_NEAR(findGroup(groups, kLinkTip)->placements[0].frame.position().z, 0.0, 1e-12);
}

}  // namespace
}  // namespace syv

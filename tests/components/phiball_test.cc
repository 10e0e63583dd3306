// ClassicPhiball: golden-angle placements on the sphere, the weighted zone
// packing, and counts.
#include <gtest/gtest.h>

#include <cmath>

#include "core/components/classic_phiball.h"
#include "tests/components/fixtures.h"

namespace syv {
namespace {

ClassicPhiball plainBall(double count) {
  ClassicPhiball b;
  b.scale = 100.0;
  b.ballRadius = 0.5;
  b.childCount = count;
  b.packing = 0.0;
  b.zone = CurveParameter(0.0, kPi, 0.0, kPi, "id");
  b.spiral = constant(0.5);
  b.childSize = b.childScale = constant(1);
  return b;
}

TEST(PhiballPlain, FiveChildrenOnTheGoldenSpiral) {
  ClassicPhiball b = plainBall(5);
  ChildGroups groups;
  Mesh mesh;
  EXPECT_EQ(b.generate(nodeContext(), mesh, kLinkOwnFrame, groups), 20u);
  EXPECT_TRUE(mesh.isEmpty());
  ASSERT_EQ(groups.size(), 2u);
  ASSERT_EQ(groups[0].kind, kLinkBranches);
  ASSERT_EQ(groups[0].placements.size(), 5u);
  const double z[] = {-1, -0.5, 0, 0.5, 1};
  for (uint32_t i = 0; i < 5; ++i) {
    const ChildPlacement& p = groups[0].placements[i];
    const double phi = i * kGoldenTurn, ring = std::sqrt(1 - z[i] * z[i]);
    const Vector3 at = p.frame.position();
    EXPECT_NEAR(at.x, 50 * ring * std::sin(phi), 1e-9) << i;
    EXPECT_NEAR(at.y, 50 * ring * std::cos(phi), 1e-9) << i;
    EXPECT_NEAR(at.z, 50 * z[i], 1e-9) << i;
    EXPECT_NEAR(p.frame.m[2][2], z[i], 1e-9);  // the child's Z axis is the outward normal
    EXPECT_DOUBLE_EQ(p.t, i / 5.0);
    EXPECT_EQ(p.index, i);
    EXPECT_EQ(p.count, 5u);
  }
}

TEST(PhiballPlain, CountsAreFloored) {
  ClassicPhiball fraction = plainBall(4.5), whole = plainBall(4), one = plainBall(1);
  const ChildGroups a = childrenOf(fraction, nodeContext(), 0);
  const ChildGroups b = childrenOf(whole, nodeContext(), 0);
  ASSERT_EQ(a[0].placements.size(), 4u);
  for (size_t i = 0; i < 4; ++i)
    EXPECT_EQ(a[0].placements[i].frame.position(), b[0].placements[i].frame.position()) << i;
  const ChildGroups south = childrenOf(one, nodeContext(), 0);
  ASSERT_EQ(south[0].placements.size(), 1u);
  EXPECT_NEAR(south[0].placements[0].frame.position().z, -50.0, 1e-9);
  ClassicPhiball none = plainBall(0.5);
  uint32_t served = 1;
  EXPECT_TRUE(childrenOf(none, nodeContext(), kLinkOwnFrame, &served).empty());
  EXPECT_EQ(served, 0u);
}

TEST(PhiballWeighted, ZeroSizedChildSkippedButPhaseAdvances) {
  ClassicPhiball b = plainBall(4);
  b.packing = 1.0;
  b.childSize = CurveParameter(0.0, 1.0, 0.0, 1.0, "id");  // 0, .25, .5, .75
  b.childScale = constant(2);
  uint32_t served = 0;
  const ChildGroups groups = childrenOf(b, nodeContext(), 0, &served);
  EXPECT_EQ(served, 4u);
  // Areas 0, 0.25, 1 (and 2.25 not counted): total 1.25; the remaining area
  // runs 1.25, 1.25, 1.0, 0 and the cosine 2 R / A - 1 gives 1, 0.6, -1.
  const auto& placed = groups[0].placements;
  ASSERT_EQ(placed.size(), 3u);
  const double cosine[] = {1.0, 0.6, -1.0};
  for (uint32_t k = 0; k < 3; ++k) {
    const ChildPlacement& p = placed[k];
    EXPECT_EQ(p.index, k + 1);
    EXPECT_EQ(p.count, 4u);
    EXPECT_NEAR(p.frame.position().z, 50 * cosine[k], 1e-9);
    EXPECT_NEAR(p.frame.position().length(), 50.0, 1e-9);
    EXPECT_NEAR(p.frame.row(0).length(), 2.0, 1e-12);
  }
  // Child 2 stands at azimuth 2 * 0.5 + pi / 2: child 0 used its phase too.
  const Vector3 at = placed[1].frame.position();
  const double az = 1.0 + kPi / 2, ring = 50 * 0.8;
  EXPECT_NEAR(at.x, ring * std::sin(az), 1e-9);
  EXPECT_NEAR(at.y, ring * std::cos(az), 1e-9);
}

}  // namespace
}  // namespace syv

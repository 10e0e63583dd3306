// ClassicHydra and ClassicWreath: radial placements by curve and on a circle.
#include <gtest/gtest.h>

#include <cmath>

#include "core/components/classic_hydra.h"
#include "core/components/classic_wreath.h"
#include "tests/components/fixtures.h"

namespace syv {
namespace {

ClassicHydra hydra(double count) {
  ClassicHydra h;
  h.armCount = count;
  h.armSpin = h.armAround = h.armTilt = constant(0);
  h.armScale = constant(1);
  return h;
}

TEST(Hydra, EvenArmsAndCompositionOrder) {
  ClassicHydra h = hydra(4);
  h.armAround = CurveParameter(0.0, 2 * kPi, 0.0, 1.5 * kPi, "id");  // i * pi / 2
  uint32_t served = 0;
  ChildGroups groups = childrenOf(h, nodeContext(), kLinkBranches, &served);
  EXPECT_EQ(served, 4u);
  ASSERT_EQ(groups.size(), 1u);
  ASSERT_EQ(groups[0].placements.size(), 4u);
  for (uint32_t i = 0; i < 4; ++i) {
    const ChildPlacement& p = groups[0].placements[i];
    const double a = -double(i) * kPi / 2;
    EXPECT_NEAR(p.frame.m[0][0], std::cos(a), 1e-9) << i;
    EXPECT_NEAR(p.frame.m[0][1], std::sin(a), 1e-9) << i;
    EXPECT_NEAR(p.frame.position().length(), 0.0, 1e-12);
    EXPECT_DOUBLE_EQ(p.t, i / 4.0);
    EXPECT_EQ(p.count, 4u);
  }

  // One arm: u = s = 0. Tilt a quarter turn, then around a quarter turn:
  // the child's Z axis ends along +X; the scale comes first.
  ClassicHydra one = hydra(1);
  one.armTilt = one.armAround = constant(kPi / 2);
  one.armScale = constant(3);
  groups = childrenOf(one, nodeContext(), kLinkBranches);
  ASSERT_EQ(groups[0].placements.size(), 1u);
  expectNear(groups[0].placements[0].frame.row(2), {3, 0, 0});
  EXPECT_DOUBLE_EQ(groups[0].placements[0].t, 0.0);

  // t runs over the unfloored count.
  ClassicHydra fraction = hydra(2.5);
  groups = childrenOf(fraction, nodeContext(), kLinkBranches);
  ASSERT_EQ(groups[0].placements.size(), 2u);
  EXPECT_DOUBLE_EQ(groups[0].placements[1].t, 1 / 2.5);
}

TEST(Wreath, ChildrenOnTheCircle) {
  ClassicWreath w;
  w.wreathCount = 4;
  w.wreathRadius = 1;
  uint32_t served = 0;
  ChildGroups groups = childrenOf(w, nodeContext(), kLinkBranches | kLinkOwnFrame, &served);
  EXPECT_EQ(served, 20u);
  ASSERT_EQ(groups.size(), 2u);
  const Vector3 expected[] = {{0, 1, 0}, {-1, 0, 0}, {0, -1, 0}, {1, 0, 0}};
  for (uint32_t i = 0; i < 4; ++i) {
    const Matrix4& m = groups[0].placements[i].frame;
    expectNear(m.position(), expected[i]);
    // Facing along the circle: the X axis is the tangent.
    const double theta = 2 * kPi * i / 4;
    EXPECT_NEAR(m.m[0][0], std::cos(theta), 1e-12);
    EXPECT_NEAR(m.m[0][1], std::sin(theta), 1e-12);
  }
  w.wreathCount = 2.7;
  groups = childrenOf(w, nodeContext(), kLinkBranches);
  ASSERT_EQ(groups[0].placements.size(), 2u);
  expectNear(groups[0].placements[1].frame.position(), {0, -1, 0});
  EXPECT_DOUBLE_EQ(groups[0].placements[1].t, 1 / 2.7);
  EXPECT_TRUE(childrenOf(w, nodeContext(), 0, &served).empty());
  EXPECT_EQ(served, 0u);
}

}  // namespace
}  // namespace syv

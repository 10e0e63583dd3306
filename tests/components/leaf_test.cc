// ClassicLeaf: unit-length blade, tropism, the outline swept as it stands,
// and its tip and base placements.
#include <gtest/gtest.h>

#include <cmath>

#include "core/components/classic_leaf.h"
#include "tests/components/fixtures.h"

namespace syv {
namespace {

ClassicLeaf flatLeaf(double segments) {
  ClassicLeaf l;
  l.scale = 1.0;
  l.segments = segments;
  l.hornLength = 7.0;  // not read by the leaf
  l.radius = constant(1);
  l.bendX = l.bendY = l.bendZ = l.shiftX = l.shiftY = l.twist = constant(0);
  l.step = constant(1);
  l.phototropism = l.gravitropism = constant(0);
  l.profile = constant(1);  // not read by the leaf either
  return l;
}

// Three points across the blade, x = -1, 0, 1.
Outline across() {
  Outline o;
  o.resize(3, 1);
  o.setContour(0, 3, false);
  for (uint32_t i = 0; i < 3; ++i) o.setPoint(i, 0.5 * i, {double(i) - 1.0, 0.0, 0.0});
  return o;
}

TEST(LeafGenerate, UnitBladeKeepsOutlineAndServesTipAndBase) {
  ClassicLeaf l = flatLeaf(10);
  MeshShape shape(across());
  shape.solid = unitQuad();                      // a leaf never stamps
  shape.matrix = Matrix4::translation(5, 0, 0);  // nor re-places its outline
  Mesh mesh;
  ChildGroups groups;
  EXPECT_EQ(l.generate(nodeContext(1, 1, 1, &shape), mesh, kLinkBranches | kLinkTip | kLinkOwnFrame,
                       groups),
            24u);
  EXPECT_EQ(mesh.vertexCount(), 33u);  // 11 rings of 3
  EXPECT_EQ(mesh.faceCount(), 20u);
  Vector3 lo, hi;
  ASSERT_TRUE(mesh.bounds(lo, hi));
  EXPECT_NEAR((lo - Vector3(-1, 0, 0)).length(), 0.0, 1e-12);
  EXPECT_NEAR((hi - Vector3(1, 0, 1)).length(), 0.0, 1e-12);

  ASSERT_EQ(groups.size(), 2u);
  EXPECT_EQ(findGroup(groups, kLinkBranches), nullptr);
  const ChildGroup* tip = findGroup(groups, kLinkTip);
  ASSERT_NE(tip, nullptr);
  EXPECT_NEAR(tip->placements[0].frame.position().z, 1.0, 1e-12);
  EXPECT_DOUBLE_EQ(tip->placements[0].t, 1.0);
  EXPECT_NE(findGroup(groups, kLinkOwnFrame), nullptr);
}

TEST(LeafGenerate, TropismBendsTowardsUpAndCancels) {
  // Up, seen in the leaf's coordinates, along -X.
  EvaluationContext c;
  c.setNodeState(Matrix4(), Matrix4::rotY(-kPi / 2), 1, 1, 1, 0, 1, nullptr);
  ClassicLeaf l = flatLeaf(4);
  l.phototropism = constant(1);
  const Vector3 bent = childrenOf(l, c, kLinkTip).at(0).placements.at(0).frame.position();
  EXPECT_LT(bent.x, -0.1);
  EXPECT_LT(bent.z, 1.0);
  l.gravitropism = constant(1);
  const Vector3 straight = childrenOf(l, c, kLinkTip).at(0).placements.at(0).frame.position();
  EXPECT_NEAR((straight - Vector3(0, 0, 1)).length(), 0.0, 1e-12);
}

TEST(LeafFaults, RefusedSinkPlacesNothing) {
  ClassicLeaf l = flatLeaf(4);
  MeshShape shape(across());
  RefusingSink refusing;
  ChildGroups groups;
  EXPECT_EQ(l.generate(nodeContext(1, 1, 1, &shape), refusing, 24, groups), 0u);
  EXPECT_TRUE(groups.empty());
  // Without a shape there is nothing to refuse: the children are still placed.
  EXPECT_EQ(l.generate(nodeContext(), refusing, 24, groups), 24u);
  EXPECT_EQ(groups.size(), 2u);
}

}  // namespace
}  // namespace syv

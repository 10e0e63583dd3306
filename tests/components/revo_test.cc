// ClassicRevo: rings at the profile heights, radii from the profile.
#include <gtest/gtest.h>

#include "core/components/classic_revo.h"
#include "tests/components/fixtures.h"

namespace syv {
namespace {

TEST(Revo, RingsAtProfileHeights) {
  ClassicRevo r;
  r.profilePoints = {{0.5, 0, 0}, {1, 0, 1}, {0.5, 0, 3}};
  MeshShape shape;
  shape.outline = circles({{4, true}});
  shape.matrix = Matrix4::scale(2);  // the outline is taken in the shape's own coordinates
  Mesh mesh;
  ChildGroups groups;
  EXPECT_EQ(r.generate(nodeContext(1, 1, 1, &shape), mesh, kLinkOwnFrame, groups), 16u);
  ASSERT_EQ(mesh.vertexCount(), 12u);
  EXPECT_EQ(mesh.faceCount(), 8u);
  const double z[] = {0, 1, 3}, radius[] = {0.25, 0.5, 0.25};
  for (uint32_t ring = 0; ring < 3; ++ring)
    for (uint32_t k = 0; k < 4; ++k) {
      const Vector3 v = mesh.vertex(ring * 4 + k);
      EXPECT_NEAR(v.z, z[ring], 1e-12);
      EXPECT_NEAR(radial(v), radius[ring], 1e-9);
    }
  ASSERT_EQ(groups.size(), 1u);

  // One point: no surface, the base still placed; a refused sink places nothing.
  r.profilePoints = {{1, 0, 0}};
  uint32_t served = 0;
  Mesh none;
  EXPECT_EQ(childrenOf(r, nodeContext(1, 1, 1, &shape), kLinkOwnFrame, &served, &none).size(), 1u);
  EXPECT_EQ(served, 16u);
  EXPECT_TRUE(none.isEmpty());
  r.profilePoints = {{0.5, 0, 0}, {1, 0, 1}};
  RefusingSink refusing;
  groups.clear();
  EXPECT_EQ(r.generate(nodeContext(1, 1, 1, &shape), refusing, kLinkOwnFrame, groups), 0u);
  EXPECT_TRUE(groups.empty());
}

}  // namespace
}  // namespace syv

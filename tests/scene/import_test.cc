// End-to-end imports of small plant files through loadFile.
#include <gtest/gtest.h>

#include "scene_fixtures.h"

namespace syv::test {
namespace {

TEST(Import, StemOnlyTreeBelowCameraIntoMesh) {
  LogRecorder log;
  ImportBuilder builder;
  Mesh mesh;
  ASSERT_TRUE(builder.loadFile(hostContext(), dataPath("scene_stem.syv"), mesh));
  EXPECT_EQ(builder.status(), ImportStatus::kComplete);
  // Branch_Num 10 gives 11 pieces, 12 nodes, 12 rings of a four-point circle.
  EXPECT_EQ(mesh.faceCount(), 44u);
  EXPECT_EQ(mesh.vertexCount(), 48u);
  Vector3 lo, hi;
  ASSERT_TRUE(mesh.bounds(lo, hi));
  // Radius 0.5 unit times the first ShapeKnots value 0.9; length 2 units.
  EXPECT_NEAR(hi.x, 45.0, 1e-9);
  EXPECT_NEAR(lo.y, -45.0, 1e-9);
  EXPECT_NEAR(lo.z, 0.0, 1e-9);
  EXPECT_NEAR(hi.z, 200.0, 1e-9);
  for (const Face& f : mesh.faces()) EXPECT_EQ(f.material, 0);
  EXPECT_TRUE(LogRecorder::has(log.infos, "Sylvo File Version : 4.0"));
}

}  // namespace
}  // namespace syv::test

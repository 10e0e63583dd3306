// The node list builder: unique names, linking under World, materials,
// primitive creators and the creators that make nothing.
#include <gtest/gtest.h>

#include "core/components/classic_tree.h"
#include "core/scene/node_list_builder.h"
#include "core/scene/primitive_shapes.h"
#include "scene_fixtures.h"

namespace syv::test {
namespace {

struct BuilderTest : ::testing::Test {
  LogRecorder log;
  World world;
  NodeListBuilder builder{world};
};

TEST_F(BuilderTest, RepeatedNamesGetCountersAndSkipTakenOnes) {
  EXPECT_EQ(builder.createNull(ObjectHeader("Leaf")), "Leaf");
  EXPECT_EQ(builder.createNull(ObjectHeader("Leaf")), "Leaf_2");
  EXPECT_EQ(builder.createNull(ObjectHeader("Stem_2")), "Stem_2");
  EXPECT_EQ(builder.createNull(ObjectHeader("Stem")), "Stem");
  EXPECT_EQ(builder.createNull(ObjectHeader("Stem")), "Stem_3");
  EXPECT_EQ(builder.createBranch(ObjectHeader("Leaf")), "Leaf_3");
  EXPECT_EQ(builder.createPhyllotaxis(ObjectHeader("P")), "P");
  EXPECT_EQ(builder.createHydra(ObjectHeader("H")), "H");
  EXPECT_EQ(builder.createVariation("first", "V", 1, 2, 3), "V");
  EXPECT_TRUE(LogRecorder::has(log.traces, "createVariation(V, first, 1, 2, 3)"));
  for (const char* name : {"Leaf", "Leaf_3", "P", "H", "V"})
    EXPECT_NE(builder.findNode(name)->component(), nullptr) << name;
}

TEST_F(BuilderTest, CreatorsThatMakeNothingReturnTheirArgument) {
  EXPECT_EQ(builder.createTropism("a"), "a");
  EXPECT_EQ(builder.createCurvature("b"), "b");
  EXPECT_EQ(builder.createMesh("c"), "c");
  EXPECT_EQ(builder.createArc("d"), "d");
  EXPECT_TRUE(builder.nodeList().empty());
}

TEST_F(BuilderTest, InsertUnderWorldLeavesTheNodeList) {
  const std::string x = builder.createNull(ObjectHeader("x"));
  const std::string y = builder.createNull(ObjectHeader("y"));
  EXPECT_TRUE(builder.insertUnder(y, x));
  EXPECT_EQ(builder.findNode(y)->referenceCount(), 1);
  EXPECT_TRUE(builder.insertUnder(x, ""));
  ASSERT_EQ(world.children().size(), 1u);
  EXPECT_EQ(world.children()[0]->name(), "x");
  EXPECT_EQ(builder.findNode(x), nullptr);

  log.traces.clear();
  EXPECT_FALSE(builder.insertUnder(y, x));
  EXPECT_TRUE(LogRecorder::has(log.traces, "parent not found in node list"));
  EXPECT_FALSE(builder.insertUnder("nobody", ""));
  EXPECT_TRUE(LogRecorder::has(log.traces, "object not found in node list"));
  EXPECT_FALSE(builder.addMaterial(x, SceneMaterial(), 3));
  EXPECT_EQ(world.children().size(), 1u);
}

TEST_F(BuilderTest, MaterialTableKeepsTheFirstRecordOfAnId) {
  const std::string a = builder.createNull(ObjectHeader("a"));
  const std::string b = builder.createNull(ObjectHeader("b"));
  SceneMaterial first, second;
  first.name = "first";
  second.name = "second";
  EXPECT_TRUE(builder.addMaterial(a, first, 4));
  EXPECT_TRUE(builder.addMaterial(b, second, 4));
  EXPECT_EQ(builder.materialTable().at(4).name, "first");
  EXPECT_EQ(builder.findNode(a)->materialId(), 4);
  EXPECT_EQ(builder.findNode(b)->materialId(), 4);
  EXPECT_TRUE(LogRecorder::has(log.traces, "addMaterial(b, second, 4)"));
}

TEST_F(BuilderTest, NodesKeepTheInverseOfTheHeaderTransform) {
  ObjectHeader moved("m");
  moved.transform = Matrix4::translation(1, 2, 3);
  ObjectHeader flat("f");
  flat.transform = Matrix4::scale(1, 0, 1);
  builder.createNull(moved);
  builder.createNull(flat);
  EXPECT_EQ(builder.findNode("m")->transform(), Matrix4::translation(-1, -2, -3));
  EXPECT_EQ(builder.findNode("f")->transform(), Matrix4());
}

TEST_F(BuilderTest, TreeWithoutShapeGetsAnUndefinedPlaceholder) {
  builder.createNull(ObjectHeader("T_Undefined"));
  const std::string t = builder.createClassicTree(ObjectHeader("T"), "", TreeArguments());
  const SceneNode* node = builder.findNode(t);
  ASSERT_EQ(node->children().size(), 1u);
  EXPECT_EQ(node->children()[0]->name(), "T_Undefined_2");
  EXPECT_EQ(node->component()->typeName(), "ClassicTree");

  TreeArguments args;
  args.stemSegments = 7;
  const std::string circle = builder.createCircle("c", Matrix4(), 1.0, 5);
  const std::string u = builder.createClassicTree(ObjectHeader("U"), circle, args);
  ASSERT_EQ(builder.findNode(u)->children().size(), 1u);
  EXPECT_EQ(builder.findNode(u)->children()[0]->name(), "c");
  EXPECT_EQ(static_cast<ClassicTree*>(builder.findNode(u)->component())->stemSegments, 7.0);
  EXPECT_TRUE(LogRecorder::has(log.traces, "createClassicTree 7"));
}

TEST_F(BuilderTest, PrimitiveCreatorsBuildTheirMeshes) {
  auto faces = [&](const std::string& name) { return builder.findNode(name)->mesh()->faceCount(); };
  EXPECT_EQ(faces(builder.createBox("box", Matrix4(), 2.0, 3)), 6u);
  // Sphere: segments x rings quads.
  EXPECT_EQ(faces(builder.createSphere("sphere", Matrix4(), 1.0, 6)), 36u);
  // Cylinder with 1 segment: 6 sides, 1 ring, a side and two discs.
  EXPECT_EQ(faces(builder.createCylinder("cyl", Matrix4(), 1.0, 2.0, 1)), 18u);
  EXPECT_EQ(faces(builder.createPlane("plane", Matrix4(), 1, 2.0, 3)), 9u);
  // Orientation 2 stands the XY plane up into XZ.
  builder.createPlane("up", Matrix4(), 2, 2.0, 1);
  Vector3 lo, hi;
  ASSERT_TRUE(builder.findNode("up")->mesh()->bounds(lo, hi));
  EXPECT_NEAR(hi.y - lo.y, 0.0, 1e-12);
  EXPECT_NEAR(hi.z - lo.z, 2.0, 1e-12);
  EXPECT_TRUE(LogRecorder::has(log.traces, "createSphere(sphere, [1 0 0 0 0 1 0 0"));

  const std::string circle = builder.createCircle("circle", Matrix4(), 2.0, 3);
  const Outline* outline = builder.findNode(circle)->shape();
  ASSERT_NE(outline, nullptr);
  EXPECT_EQ(outline->pointCount(), 3u);
  EXPECT_EQ(builder.findNode(circle)->component(), nullptr);
}

TEST_F(BuilderTest, DumpWritesOneIndentedLinePerNode) {
  const std::string a = builder.createNull(ObjectHeader("a"));
  const std::string b = builder.createNull(ObjectHeader("b"));
  builder.insertUnder(b, a);
  builder.insertUnder(a, "");
  world.dump(0);
  EXPECT_EQ(log.infos, (std::vector<std::string>{"World", "    a", "        b"}));
}

}  // namespace
}  // namespace syv::test

// The node list builder: unique names, linking under World, materials.
#include <gtest/gtest.h>

#include "core/scene/node_list_builder.h"
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

  EXPECT_FALSE(builder.insertUnder(y, x));
  EXPECT_FALSE(builder.insertUnder("nobody", ""));
  EXPECT_FALSE(builder.addMaterial(x, SceneMaterial(), 3));
  EXPECT_EQ(world.children().size(), 1u);
}

TEST_F(BuilderTest, FirstMaterialOfAnIdAndInverseHeaderTransforms) {
  ObjectHeader moved("a");
  moved.transform = Matrix4::translation(1, 2, 3);
  ObjectHeader flat("b");
  flat.transform = Matrix4::scale(1, 0, 1);
  const std::string a = builder.createNull(moved);
  const std::string b = builder.createNull(flat);
  // Nodes keep the inverse; a singular one leaves the node unmoved.
  EXPECT_EQ(builder.findNode(a)->transform(), Matrix4::translation(-1, -2, -3));
  EXPECT_EQ(builder.findNode(b)->transform(), Matrix4());
  SceneMaterial first, second;
  first.name = "first";
  second.name = "second";
  EXPECT_TRUE(builder.addMaterial(a, first, 4));
  EXPECT_TRUE(builder.addMaterial(b, second, 4));
  EXPECT_EQ(builder.materialTable().at(4).name, "first");
  EXPECT_EQ(builder.findNode(b)->materialId(), 4);
}

TEST_F(BuilderTest, TreeWithoutShapeGetsAnUndefinedPlaceholder) {
  builder.createNull(ObjectHeader("T_Undefined"));
  const std::string t = builder.createClassicTree(ObjectHeader("T"), "", TreeArguments());
  const SceneNode* node = builder.findNode(t);
  ASSERT_EQ(node->children().size(), 1u);
  EXPECT_EQ(node->children()[0]->name(), "T_Undefined_2");
  EXPECT_EQ(node->component()->typeName(), "ClassicTree");

  const std::string circle = builder.createCircle("c", Matrix4(), 1.0, 5);
  const std::string u = builder.createClassicTree(ObjectHeader("U"), circle, TreeArguments());
  ASSERT_EQ(builder.findNode(u)->children().size(), 1u);
  EXPECT_EQ(builder.findNode(u)->children()[0]->name(), "c");
}

}  // namespace
}  // namespace syv::test

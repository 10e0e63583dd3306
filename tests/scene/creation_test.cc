// Object creation from records: link nodes, materials, placements, the
// arguments each kind hands to its creator, and the primitive shapes.
#include <gtest/gtest.h>

#include "core/scene/object_creation.h"
#include "core/scene/primitive_shapes.h"
#include "scene_fixtures.h"

namespace syv::test {
namespace {

// Captures what each kind's creator receives and stands in with a null.
struct RecordingBuilder : PlantImport {
  std::string createClassicPhiball(const ObjectHeader& h, const PhiballArguments& a) override {
    phiball = a;
    return createNull(h);
  }
  std::string createClassicTree(const ObjectHeader& h, const std::string& s,
                                const TreeArguments& a) override {
    tree = a;
    treeHeader = h;
    return PlantImport::createClassicTree(h, s, a);
  }
  PhiballArguments phiball;
  TreeArguments tree;
  ObjectHeader treeHeader;
};

struct CreationTest : ::testing::Test {
  // Reads a model with the given records, all below one camera root "Cam".
  bool read(const std::string& structs, std::initializer_list<const char*> camChildren) {
    const std::string text =
        "Model {\n" + record("Cam", names("Children", camChildren) + "Camera {\n}\n") + structs +
        "}\n";
    return builder.readScene(hostContext(), writeTemp("creation", text));
  }
  const SceneNode* cam() const { return builder.world().children().at(0); }
  static std::vector<std::string> childNames(const SceneNode* n) {
    std::vector<std::string> out;
    for (const SceneNode* c : n->children()) out.push_back(c->name());
    return out;
  }

  LogRecorder log;
  RecordingBuilder builder;
};

const std::string kTube = "Primitive {\nType \"Tube\"\n}\n";

TEST_F(CreationTest, TreeChildrenAreTipChildrenAndBranchesStandard) {
  ASSERT_TRUE(read(record("T", kTube + names("Children", {"C1", "C2"}) + "Tree {\n" +
                                   names("Branches", {"B"}) + "}\n") +
                       record("U", kTube + names("Children", {"D"}) + "Tree {\n}\n") +
                       record("V", kTube + names("Children", {"E1", "E2", "E3"}) + "Tree {\n}\n") +
                       record("B", "") + record("C1", "") + record("C2", "") + record("D", "") +
                       record("E1", "") + record("E2", "") + record("E3", ""),
                   {"T", "U", "V"}));
  const SceneNode* t = builder.findNode("T");
  EXPECT_EQ(childNames(t), (std::vector<std::string>{"T_Tube", "B", "Special_Link"}));
  EXPECT_EQ(childNames(t->children()[2]), (std::vector<std::string>{"C1", "C2"}));
  EXPECT_EQ(childNames(builder.findNode("U")), (std::vector<std::string>{"U_Tube", "D"}));
  const SceneNode* v = builder.findNode("V");
  EXPECT_EQ(childNames(v), (std::vector<std::string>{"V_Tube", "Special_Link_2"}));
  EXPECT_EQ(v->children()[1]->children().size(), 3u);
}

TEST_F(CreationTest, SimpleObjectsGroupTheirStandardChildren) {
  ASSERT_TRUE(read(record("S", "Primitive {\nType \"Box\"\n}\n" + names("Children", {"K"})) +
                       record("K", "") +
                       record("W", names("Children", {"X", "Y"}) + "Wreath {\n}\n") +
                       record("X", "") + record("Y", ""),
                   {"S", "W"}));
  // Cam itself holds S and W, more than one standard child; its link node is
  // made after those of its children.
  EXPECT_EQ(childNames(cam()), (std::vector<std::string>{"Standard_Link_2"}));
  const SceneNode* s = builder.findNode("S");
  EXPECT_EQ(childNames(s), (std::vector<std::string>{"Standard_Link"}));
  EXPECT_EQ(childNames(s->children()[0]), (std::vector<std::string>{"S_Box", "K"}));
  const SceneNode* w = builder.findNode("W");
  EXPECT_EQ(childNames(w), (std::vector<std::string>{"X", "Y"}));
}

TEST_F(CreationTest, OwnMaterialsAreNamedAndSharedByName) {
  const std::string bark = "Primitive {\nUse_GFXColor TRUE\nColor \"Bark\"\n}\n";
  ASSERT_TRUE(read(record("Stem", bark + names("Children", {"Plain"})) + record("Plain", "") +
                       record("Stem_Bark", "Primitive {\nUse_GFXColor TRUE\n}\n") +
                       record("Tex", "Primitive {\nTexture_Handler 1\nTexture_File \"a.png\"\n"
                                     "Texture_ScaleS {2, 0, 10}\n}\n"),
                   {"Stem", "Stem_Bark", "Tex"}));
  const std::vector<SceneMaterial>& list = builder.materialList();
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list[1].name, "Stem_Bark");
  EXPECT_EQ(list[2].name, "Tex");
  EXPECT_EQ(list[2].textureFile, "a.png");
  EXPECT_EQ(list[2].textureScale, Vector3(2, 1, 0));
  EXPECT_EQ(list[2].diffuse, ColorRecord(0.6f, 0.6f, 0.6f));  // colour stays the inherited one
  EXPECT_EQ(builder.findNode("Stem")->materialId(), 1);
  EXPECT_EQ(builder.findNode("Stem_Bark")->materialId(), 1);
  EXPECT_EQ(builder.findNode("Plain")->materialId(), -1);
  EXPECT_EQ(builder.findNode("Tex")->materialId(), 2);
  EXPECT_EQ(builder.materialTable().size(), 2u);
}

TEST_F(CreationTest, PlacementComposesScaleRotationTranslationParent) {
  ComponentRecord r;
  r.Scale.value = Vector3(2, 1, 1);
  r.Rotation.value = Vector3(0, 0, kPi / 2);
  r.Translation.value = Vector3(1, 0, 0);
  const Matrix4 m = objectTransform(r, Matrix4::translation(0, 0, 5), 100.0);
  const Vector3 p = Vector3(1, 0, 0) * m;
  EXPECT_NEAR(p.x, 100.0, 1e-9);
  EXPECT_NEAR(p.y, -2.0, 1e-9);
  EXPECT_NEAR(p.z, 5.0, 1e-9);
  r.Rotation.value = Vector3(kPi / 2, 0, 0);
  const Vector3 q = Vector3(0, 1, 0) * objectTransform(r, Matrix4(), 1.0);
  EXPECT_NEAR(q.z, -1.0, 1e-9);
}

TEST_F(CreationTest, KnotListsBecomeCurvesAndSplines) {
  const CurveParameter firstWins = curveFromKnots({{0, 0, 0}, {0.5, 1, 0}, {0.5, 3, 0}, {1, 0, 0}}, 0, 4, 2.0);
  ASSERT_EQ(firstWins.pointCount(), 3);
  EXPECT_DOUBLE_EQ(firstWins.point(1)->y, 2.0);
  EXPECT_DOUBLE_EQ(firstWins.maximum(), 4.0);
  EXPECT_DOUBLE_EQ(curveFromKnots({}, 0, 4).evaluateCurve(0.3), 2.0);

  const Spline s = splineFromKnots({{0, 0, 0}, {0, 0, 3}, {0, 4, 3}});
  ASSERT_EQ(s.size(), 3u);
  EXPECT_DOUBLE_EQ(s[1].t, 3.0 / 7.0);
  const Spline still = splineFromKnots({{1, 1, 1}, {1, 1, 1}, {1, 1, 1}});
  EXPECT_DOUBLE_EQ(still[1].t, 0.5);
}

TEST_F(CreationTest, EachKindReceivesItsRecordValues) {
  ASSERT_TRUE(read(
      record("Ph", "PhiBall {\nNumber {7, 1, 500}\nAngle 1, 2, \"phi\", 0, 10\nRadius {2, 0, 10}\n}\n") +
          record("Pk", "PhiBall {\nAngle 4, 8, \"id\", 1, 2\n}\n") +
          record("Tr", kTube + "Hide\nPhoto_Dir X\nPhoto {0.5, -1, 1}\nExistence 0.2, 0.9\n"
                               "Tree {\nSegments {12, 1, 100}\nPairs 3\nVersion 4\n}\n"),
      {"Ph", "Pk", "Tr"}));
  // Only the last PhiBall's values stay; "Pk" does not use phi.
  EXPECT_DOUBLE_EQ(builder.phiball.spiral.evaluateCurve(0.0), 2 * kPi / 4);
  EXPECT_DOUBLE_EQ(builder.phiball.spiral.evaluateCurve(1.0), 2 * kPi / 8);
  EXPECT_DOUBLE_EQ(builder.tree.stemSegments, 12.0);
  EXPECT_EQ(builder.tree.divergenceMode, 3);
  EXPECT_EQ(builder.tree.treeMode, 4);
  // The angle knots (0.4, 0.4, 0.6) are turned into radians.
  EXPECT_NEAR(builder.tree.branchAngle.evaluateCurve(1.0), 0.6 * kPi, 1e-12);
  EXPECT_EQ(builder.tree.nodeDistribution.point(0)->kind, kCorner);
  EXPECT_EQ(builder.treeHeader.hidden, 1);
  EXPECT_EQ(builder.treeHeader.photoDir, 0);
  EXPECT_DOUBLE_EQ(builder.treeHeader.photo, 0.5);
  EXPECT_DOUBLE_EQ(builder.treeHeader.existenceStart, 0.2);

  RecordingBuilder other;
  ASSERT_TRUE(other.readScene(hostContext(),
                              writeTemp("phi", "Model {\n" + record("Cam", "Camera {\n}\n" + names("Children", {"P"})) +
                                                   record("P", "PhiBall {\nAngle 1, 2, \"phi\", 0, 10\n}\n") + "}\n")));
  EXPECT_DOUBLE_EQ(other.phiball.spiral.evaluateCurve(1.0), 2 * 3.8832221);
  EXPECT_EQ(other.phiball.spiral.expression(), "id");
}

TEST_F(CreationTest, PrimitiveTypesBecomeShapes) {
  auto prim = [](const std::string& type, const std::string& extra = "") {
    return "Primitive {\nType \"" + type + "\"\n" + extra + "}\n";
  };
  ASSERT_TRUE(read(record("Tu", prim("Tube", "Points 3\n")) +
                       record("Sp", prim("Sphere")) + record("Co", prim("Cone", "Resolution 1.5\n")) +
                       record("Ar", prim("Area") + "Simple {\n}\n") + record("Un", prim("Undefinedx")) +
                       record("Zz", prim("Blob")),
                   {"Tu", "Sp", "Co", "Ar", "Un", "Zz"}));
  const SceneNode* tube = builder.findNode("Tu_Tube");
  ASSERT_NE(tube, nullptr);
  EXPECT_EQ(tube->shape()->pointCount(), 3u);
  // The solids' sizes, facing and volumes are checked through the plug-in.
  EXPECT_NE(builder.findNode("Sp_Sphere")->mesh(), nullptr);
  EXPECT_EQ(builder.findNode("Co_Cone")->mesh()->faceCount(), 49u);  // resolution 1.5: 7 x 7
  EXPECT_EQ(builder.findNode("Un_Undefinedx"), nullptr);
  EXPECT_EQ(builder.findNode("Zz_Blob"), nullptr);
}

TEST(PrimitiveShapes, AreaIsAStraightLineWithoutPoints) {
  World world;
  NodeListBuilder nodes(world);
  ComponentRecord r;
  r.Name = "A";
  r.Primitive.Type = "Area";
  r.Primitive.Profil.assign(5, Vector3(0, 0.3, 0));
  for (const bool profiled : {false, true}) {
    r.Primitive.ApplyProfil = profiled;
    const Outline* outline = nodes.findNode(createPrimitiveShape(hostContext(), nodes, r))->shape();
    ASSERT_EQ(outline->pointCount(), 5u);
    for (uint32_t i = 0; i < 5; ++i) {
      double u = -1;
      Vector3 p;
      outline->getPoint(i, u, p);
      EXPECT_DOUBLE_EQ(u, i * 0.25);
      EXPECT_DOUBLE_EQ(p.x, (0.5 - i * 0.25) * 100.0);
      EXPECT_DOUBLE_EQ(p.y, profiled ? 30.0 : 0.0);
    }
  }
}

}  // namespace
}  // namespace syv::test

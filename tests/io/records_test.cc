// Value, primitive, component and key-frame records read from small blocks.
#include <gtest/gtest.h>

#include <sstream>

#include "core/io/component_parameters.h"
#include "core/io/component_record.h"
#include "core/io/key_frame.h"
#include "core/io/primitive_record.h"
#include "core/io/value_types.h"

namespace syv {
namespace {

// The first block of `text`, which must have one.
TextNode firstBlock(const std::string& text) {
  TextNode root;
  std::istringstream in(text);
  readTextTree(in, root);
  return std::move(root.children.at(0).second);
}

TextNode block(const std::string& body) { return firstBlock("B {\n" + body + "}\n"); }

ComponentRecord readStruct(const std::string& body) {
  return readComponentRecord(2, firstBlock("Struct {\n" + body + "}\n"));
}

PrimitiveRecord readPrimitive(const std::string& body) {
  PrimitiveRecord record;
  EXPECT_TRUE(readPrimitiveRecord(3, firstBlock("Primitive {\n" + body + "}\n"), record));
  return record;
}

ComponentParameters readKind(const std::string& kind, const std::string& body) {
  ComponentParameters parameters;
  readComponentParameters(kind, firstBlock(kind + " {\n" + body + "}\n"), parameters);
  return parameters;
}

TEST(ValueTypes, TriplesAndVectorRanges) {
  EXPECT_EQ(readTriple("x {4,5,6} {7,8,9}"), Triple(4, 5, 6));
  EXPECT_EQ(readTriple("{2, 0}"), Triple(2, 0, 0));
  // Without braces a triple reads as three zeros.
  EXPECT_EQ(readTriple("5, 6, 7"), Triple(0, 0, 0));
  EXPECT_EQ(readTriple("{5, 6, 7"), Triple(0, 0, 0));

  EXPECT_EQ(readBareTriple("255,128, 0"), Vector3(255, 128, 0));
  EXPECT_EQ(readBareTriple("1,0.5"), Vector3(1, 0.5, 0));

  // One group per axis: value, minimum, maximum.
  EXPECT_EQ(readVectorRange("{2, 0, 10}"), VectorRange({2, 0, 0}, {0, 0, 0}, {10, 0, 0}));
  EXPECT_EQ(readVectorRange("{1, -1, 2} {3, -3, 4} {5, -5, 6}"),
            VectorRange({1, 3, 5}, {-1, -3, -5}, {2, 4, 6}));
  EXPECT_EQ(readVectorRange("1, 2, 3"), VectorRange());
}

TEST(ValueTypes, LinearParameters) {
  LinearParameterRecord full;
  EXPECT_TRUE(readLinearParameter("0.5, 2, \"sin\", -1, 3, ignored", full));
  EXPECT_EQ(full, LinearParameterRecord(0.5, 2, "sin", -1, 3));

  // A short list keeps the remaining defaults.
  LinearParameterRecord partial;
  EXPECT_FALSE(readLinearParameter("0, 100", partial));
  EXPECT_EQ(partial, LinearParameterRecord(0, 100, "id", 0, 1));

  // An empty first field changes nothing.
  LinearParameterRecord none(7, 8, "rnd", 1, 2);
  EXPECT_FALSE(readLinearParameter(",5, \"x\", 1, 2", none));
  EXPECT_EQ(none, LinearParameterRecord(7, 8, "rnd", 1, 2));

  // Fields are applied over what is there; an unquoted expression is empty.
  LinearParameterRecord over(7, 8, "rnd", 1, 2);
  EXPECT_FALSE(readLinearParameter("3, 4, phi", over));
  EXPECT_EQ(over, LinearParameterRecord(3, 4, "", 1, 2));
}

TEST(ValueTypes, KnotLists) {
  EXPECT_EQ(readKnotList(block("Size 3\n0, 0.5, 0\n0.5,1\n1, 0, 2\n")),
            (KnotList{{0, 0.5, 0}, {0.5, 1, 0}, {1, 0, 2}}));

  // Fewer knots than lines: the extra lines are not knots.
  EXPECT_EQ(readKnotList(block("Size 1\n1,2,3\n4,5,6\n")).size(), 1u);

  for (const char* body : {"", "Size 0\n1,2,3\n", "Size -4\n1,2,3\n", "Sizes 1\n1,2,3\n",
                           "1,2,3\nSize 1\n", " Size 1\n1,2,3\n"}) {
    EXPECT_TRUE(readKnotList(block(body)).empty()) << body;
  }

  // A count larger than the lines stops at the node's end, and costs nothing
  // in memory beyond the knots that exist.
  const KnotList huge = readKnotList(block("Size 2000000000\n1,2,3\n4,5,6\n"));
  ASSERT_EQ(huge.size(), 2u);
  EXPECT_EQ(huge[1], Knot(4, 5, 6));
  EXPECT_LT(huge.capacity(), 16u);
}

TEST(ValueTypes, NameSetsAndSwitchMasks) {
  EXPECT_EQ(readNameSet(block("\"b\"\n  \"a\" \n\"b\"\nnoquotes\n")), (NameSet{"", "a", "b"}));
  EXPECT_EQ(readSwitchList(block("0x3,0xFF\n")), (std::vector<SwitchMask>{3, 255}));
  EXPECT_EQ(readSwitchList(block("0X3, 0x\n0xAg,0x1FFFF,\n")),
            (std::vector<SwitchMask>{0, 0, 10, 0xFFFF}));
  EXPECT_EQ(readSwitchMask("0x12345"), 0x2345);
  EXPECT_EQ(readSwitchMask(" 0x1") + readSwitchMask("1x1"), 0);
}

TEST(ComponentRecord, PlantFileFieldByField) {
  TextNode root;
  ASSERT_TRUE(readTextFile(std::string(SYV_TEST_DATA) + "/io_plant.syv", root).ok());
  ASSERT_EQ(root.children.size(), 1u);
  const TextNode& model = root.children[0].second;
  ASSERT_EQ(model.children.size(), 1u);
  ASSERT_EQ(model.children[0].first, "Struct");
  const ComponentRecord r = readComponentRecord(2, model.children[0].second);

  EXPECT_EQ(r.Name, "Trunk");  // the later "Name" line wins
  EXPECT_TRUE(r.Hide);         // presence counts, not the value FALSE
  EXPECT_EQ(r.Photo_Mode, "Sun light");
  EXPECT_EQ(r.Children, (NameSet{"Leaf_A", "Leaf_B"}));
  EXPECT_EQ(r.Switch, (std::vector<SwitchMask>{3, 255, 0, 0}));

  // A given axis list replaces the whole field; untouched fields keep defaults.
  EXPECT_EQ(r.Scale, VectorRange({2, 0, 0}, {0, 0, 0}, {10, 0, 0}));
  EXPECT_EQ(r.Rotation, VectorRange({0.1, 0.2, 0.3}, {-1, -2, -3}, {1, 2, 3}));
  EXPECT_EQ(r.Translation, VectorRange({0, 0, 0}, {-50, -50, -50}, {50, 50, 50}));

  const PrimitiveRecord& p = r.Primitive;
  EXPECT_EQ(p.Type + "/" + p.Texture_File, "Cylinder/bark.png");
  EXPECT_TRUE(p.Flat && !p.Deformable);
  EXPECT_EQ(p.Diffuse, ColorRecord(1.0f, 0.5f, 0.0f));
  EXPECT_EQ(p.Profil, (KnotList{{0, 1, 0}, {1, 0.5, 0}}));

  // Tree then Horn: the last block names the kind, both blocks take effect,
  // and the "Simple" block is not a kind block.
  const ComponentParameters& k = r.Parameters;
  EXPECT_EQ(k.TypeName, "Horn");
  EXPECT_EQ(k.Segments, Triple(0, 0, 0));  // Horn's bare "Segments 8" overrides Tree's
  EXPECT_EQ(k.Shape, ComponentParameters().Shape);  // ignored in Tree
  EXPECT_EQ(k.ShapeKnots, (KnotList{{0.25, 0.75, 0}}));
  EXPECT_EQ(k.ScaleRange, VectorRange({3, 4, 5}, {0, 0, 0}, {10, 10, 10}));
  EXPECT_EQ(k.Scale, LinearParameterRecord(2, 3, "id", 0, 5));
  EXPECT_EQ(k.BranchNames, (NameSet{"Rib", "Twig"}));
}

TEST(PrimitiveRecord, FlagsAndPrecedence) {
  EXPECT_TRUE(readPrimitive("").Deformable);  // set by default: "yes" below clears it
  EXPECT_EQ(readPrimitive("Texture_Handler 5\nTexture_Mode 1\n").Texture_Handler, 0);
  EXPECT_EQ(readPrimitive("Texture_Mode 1\nTexture_Handler 5\n").Texture_Handler, 5);

  const PrimitiveRecord f = readPrimitive(
      "Separator TRUE\nDeformable yes\nUse_GFXColor FALSE\nApplyProfil\nApplyProfil3D 0\n"
      "Texture_ScaleS 2, 3, 4\nTorusMinor {0.5, 0.1}\nColor \"Bark\"\nTexture \"t\"\n"
      "Displace 1, 2\nPoints 4\nPoints 6\nResolution x\n"
      "Transform {\nTranslation {1,0,9} {2,0,9} {3,0,9}\n}\n"
      "GFXColor {\nEMISSION 0.25, 0.5, 0.75, 9\nAMBIENT\n}\n");
  EXPECT_TRUE(f.Separator);
  EXPECT_FALSE(f.Deformable);
  EXPECT_TRUE(f.Use_GFXColor && f.ApplyProfil && f.ApplyProfil3D);
  EXPECT_EQ(f.Texture_ScaleS, Triple(0, 0, 0));
  EXPECT_EQ(f.TorusMinor, Triple(0.5, 0.1, 0));
  EXPECT_EQ(f.Displace, LinearParameterRecord(1, 2, "rnd", -0.5, 0.5));
  EXPECT_EQ(f.Points, 6.0);
  EXPECT_EQ(f.Translation.value, Vector3(1, 2, 3));
  EXPECT_EQ(f.Emission, ColorRecord(0.25f, 0.5f, 0.75f));
  EXPECT_EQ(f.Ambient, ColorRecord());
}

TEST(ComponentParameters, KindRules) {
  EXPECT_EQ(readKind("Leaf", "Segments 8\n").Segments, Triple(8, 8, 8));
  EXPECT_EQ(readKind("Horn", "Segments 8\n").Segments, Triple(0, 0, 0));
  EXPECT_EQ(readKind("Tree", "Segments {8, 2, 9}\n").Segments, Triple(8, 2, 9));

  for (const char* kind : {"Horn", "PhiBall", "Hydra"}) {
    const ComponentParameters p = readKind(kind, "Scale 2, 3\n");
    EXPECT_EQ(p.Scale, LinearParameterRecord(2, 3, "id", 0, 5)) << kind;
    EXPECT_EQ(p.ScaleRange, ComponentParameters().ScaleRange) << kind;
  }
  for (const char* kind : {"Tree", "Leaf", "Camera", "Wreath"}) {
    const ComponentParameters p = readKind(kind, "Scale {2, 0, 4}\n");
    EXPECT_EQ(p.ScaleRange, VectorRange({2, 0, 0}, {0, 0, 0}, {4, 0, 0})) << kind;
    EXPECT_EQ(p.Scale, ComponentParameters().Scale) << kind;
  }
  EXPECT_EQ(readKind("Tree", "Dense 3, 4\n").Dense, ComponentParameters().Dense);
}

using CP = ComponentParameters;

TEST(ComponentParameters, KeyFormsAndOverrides) {
  // A key of two kinds of value reaches the field its form names.
  EXPECT_EQ(readKind("Revo", "Angle 7, 8, \"x\", 1, 9\n").Angle, LinearParameterRecord(7, 8, "x", 1, 9));
  EXPECT_EQ(readKind("Tree", "Angle {\nSize 1\n1,2,3\n}\n").AngleCurve, (KnotList{{1, 2, 3}}));
  // "Size 0" replaces a default list by an empty one; unknown blocks are ignored.
  EXPECT_TRUE(readKind("Tree", "Dense {\nSize 0\n}\n").DenseCurve.empty());
  EXPECT_EQ(readKind("Tree", "Curve {\nSize 1\n1,2,3\n}\n").ScaleCurve, CP().ScaleCurve);

  const CP p = readKind("Wreath",
                        "Top FALSE\nCharacteristic 11\nApplyShape FALSE\nMoveScale 12.5\n"
                        "Spline\nPairs 13\nVersion 17\nBasis 29\nDeform_Points TRUE\n"
                        "Separator yes\nLength {1,2,3}\nLen {4,5,6}\nSmooth FALSE\npairs 99\n");
  EXPECT_TRUE(!p.Top && !p.Separator && p.ApplyShape && p.Spline && p.Smooth && p.Deform_Points);
  EXPECT_EQ((std::vector<double>{double(p.Characteristic), double(p.Pairs), double(p.Version),
                                 double(p.Basis)}),
            (std::vector<double>{11, 13, 17, 29}));
  EXPECT_EQ(p.MoveScale, 12.5);
  EXPECT_EQ(p.Length, Triple(4, 5, 6));  // "Len" after "Length" wins
}

TEST(ComponentRecord, KindBlockNames) {
  for (const char* kind :
       {"Camera", "Horn", "Hydra", "HyperPatch", "Leaf", "PhiBall", "Revo", "Tree", "Wreath"}) {
    EXPECT_EQ(readStruct(std::string(kind) + " {\n}\n").Parameters.TypeName, kind);
  }
  for (const char* other : {"Simple", "tree", "Phiball", "Tree{", ""}) {
    const ComponentRecord r = readStruct(std::string(other) + " {\nPairs 3\n}\n");
    EXPECT_EQ(r.Parameters.TypeName, "Simple") << other;
    EXPECT_EQ(r.Parameters.Pairs, 0) << other;
  }
  // Key names are case-sensitive and only the first word counts.
  const ComponentRecord r = readStruct("name \"a\"\nName\t\"b\"\nHideme\n");
  EXPECT_EQ(r.Name, "");
  EXPECT_FALSE(r.Hide);
  // Several "Children" blocks add up; a later "Switch" block replaces.
  const ComponentRecord s = readStruct(
      "Children {\n\"a\"\n}\nSwitch {\n0x1\n}\nChildren {\n\"b\"\n}\nSwitch {\n0x2\n}\n");
  EXPECT_EQ(s.Children, (NameSet{"a", "b"}));
  EXPECT_EQ(s.Switch, std::vector<SwitchMask>{2});
}

TEST(KeyFrame, ReadingAndStoring) {
  const KeyFrameRecord k = readKeyFrame(
      1, firstBlock("KeyFrame {\nTime 2.5\nName \"Leaf_Open\"\n"
                    "Model {\nStruct {\nName \"A\"\nPairs 1\n}\nStruct {\n}\n"
                    "Struct {\nName \"A\"\nHide\n}\n}\n"
                    "Other {\nStruct {\nName \"Z\"\n}\n}\n"
                    "Model {\nStruct {\nName \"B\"\n}\nKeyFrame {\n}\n}\n}\n"));
  EXPECT_EQ(k.name, "Leaf_Open");
  EXPECT_EQ(k.time, 2.5);
  ASSERT_EQ(k.components.size(), 3u);
  EXPECT_EQ(k.components.count(""), 1u);
  EXPECT_TRUE(k.components.at("A").Hide);  // the later "A" replaced the earlier one
  EXPECT_EQ(k.components.at("B").Name, "B");

  const KeyFrameRecord d = readKeyFrame(0, firstBlock("KeyFrame {\n}\n"));
  EXPECT_EQ(d.name + "@" + d.timeText, "Key 1@0");

  const KeyFrameRecord e = readKeyFrame(0, firstBlock("KeyFrame {\nTime 1e1\nTime 1e1x\n}\n"));
  EXPECT_EQ(e.time, 10.0);
  EXPECT_EQ(e.timeText, "1e1x");
  const KeyFrameRecord bad = readKeyFrame(0, firstBlock("KeyFrame {\nTime soon\n}\n"));
  EXPECT_EQ(bad.time, 0.0);
  EXPECT_EQ(bad.timeText, "soon");

  EXPECT_FALSE(readModel(0, firstBlock("Model {\n}\n"), nullptr));

  // A record stored under an existing time replaces the old one as a whole.
  KeyFrameTable table;
  storeKeyFrame(table, k);
  KeyFrameRecord later = d;
  later.time = 2.5;
  storeKeyFrame(table, later);
  storeKeyFrame(table, e);
  ASSERT_EQ(table.size(), 2u);
  EXPECT_EQ(table.begin()->second.name, "Key 1");
  EXPECT_TRUE(table.begin()->second.components.empty());
  EXPECT_EQ(table.rbegin()->first, 10.0);
}

}  // namespace
}  // namespace syv

#include "core/io/value_types.h"

#include <gtest/gtest.h>

#include <sstream>

namespace syv {
namespace {

TextNode block(const std::string& body) {
  TextNode root;
  std::istringstream in("B {\n" + body + "}\n");
  readTextTree(in, root);
  return std::move(root.children.at(0).second);
}

TEST(ValueTypes, Triples) {
  EXPECT_EQ(readTriple("{1, 2, 3}"), Triple(1, 2, 3));
  EXPECT_EQ(readTriple("x {4,5,6} {7,8,9}"), Triple(4, 5, 6));
  EXPECT_EQ(readTriple("{2, 0}"), Triple(2, 0, 0));
  // Without braces a triple reads as three zeros.
  EXPECT_EQ(readTriple("5, 6, 7"), Triple(0, 0, 0));
  EXPECT_EQ(readTriple("{5, 6, 7"), Triple(0, 0, 0));

  EXPECT_EQ(readBareTriple("255,128, 0"), Vector3(255, 128, 0));
  EXPECT_EQ(readBareTriple("1,0.5"), Vector3(1, 0.5, 0));
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

TEST(ValueTypes, VectorRanges) {
  // One group per axis: value, minimum, maximum.
  EXPECT_EQ(readVectorRange("{2, 0, 10}"), VectorRange({2, 0, 0}, {0, 0, 0}, {10, 0, 0}));
  EXPECT_EQ(readVectorRange("{1, -1, 2} {3, -3, 4} {5, -5, 6}"),
            VectorRange({1, 3, 5}, {-1, -3, -5}, {2, 4, 6}));
  EXPECT_EQ(readVectorRange("1, 2, 3"), VectorRange());
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
  EXPECT_EQ(readSwitchMask("0xfFfF"), 0xFFFF);
  EXPECT_EQ(readSwitchMask("0x12345"), 0x2345);
  EXPECT_EQ(readSwitchMask(" 0x1"), 0);
  EXPECT_EQ(readSwitchMask("1x1"), 0);
}

}  // namespace
}  // namespace syv

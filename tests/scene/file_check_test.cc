// The file check: what the import ignores or guesses, with the line it is on.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "core/scene/file_check.h"

namespace syv::test {
namespace {

std::string describe(const std::vector<FileFinding>& findings) {
  std::string s;
  for (const FileFinding& f : findings) s += std::to_string(f.line) + ": " + f.text + "\n";
  return s;
}

TEST(FileCheck, EachSilentGuessIsReportedOnItsLine) {
  std::istringstream in(
      "Version 4\nColour 1,2,3\nModel {\n"                                              // 1-3
      "Struct {\nName \"Camera\"\nChildren {\n\"Stem\"\n\"Stm\"\n}\nCamera {\n}\n}\n"   // 4-12
      "Struct {\nName \"Stem\"\nHide FALSE\n"                                           // 13-15
      "Primitive {\nPoints many\nTexture_File bark.png\n}\n"                            // 16-19
      "Tree {\nSegmnts {8, 1, 100}\nLength {2, 0, 20}\nLen {3, 0, 20}\n"                // 20-23
      "Branch_Num {50000, 1, 100}\nTop yes\nShape 0,1,\"cos\",0,1\n"                    // 24-26
      "Knots {\nSize 3\n0,0,0\n}\nBranches {\n\"Loop\"\n}\n}\n}\n"                      // 27-35
      "Struct {\nName \"Loop\"\nChildren {\n\"Stem\"\n}\n}\n"                           // 36-41
      "Struct {\nName \"Lonely\"\nLeaf {\nSegments 4\n}\n}\n}\n");                      // 42-48
  const std::vector<FileFinding> findings = checkPlantText(in);
  const std::pair<uint64_t, const char*> expected[] = {
      {2, "unknown key 'Colour'"},
      {15, "FALSE does not clear it"},
      {17, "'many' is not a number"},
      {18, "not in double quotes"},
      {21, "'Segmnts' in Tree is ignored (did you mean 'Segments'?)"},
      {23, "first at line 22"},
      {24, "clamped"},
      {25, "'yes' reads as false"},
      {26, "ignored in a Tree block"},
      {28, "Size 3 but only 1 knot lines follow"},
      {8, "'Stm', which no record defines (did you mean 'Stem'?)"},
      {39, "cycle: 'Stem' -> 'Loop' -> 'Stem'"},
      {42, "'Lonely' is named by no Children"},
  };
  ASSERT_EQ(findings.size(), std::size(expected)) << describe(findings);
  for (size_t i = 0; i < findings.size(); ++i) {
    EXPECT_EQ(findings[i].line, expected[i].first) << describe(findings);
    EXPECT_NE(findings[i].text.find(expected[i].second), std::string::npos) << describe(findings);
  }
}

TEST(FileCheck, StructureFaultsLimitsAndCleanExamples) {
  std::istringstream open("Model {\nStruct {\nName \"A\"\n Tree {\n");
  const std::string found = describe(checkPlantText(open));
  EXPECT_NE(found.find("1: block 'Model' is never closed"), std::string::npos) << found;
  EXPECT_NE(found.find("4: unknown block ''"), std::string::npos) << found;
  // The team's own examples hide nothing from the import.
  for (const auto& e : std::filesystem::directory_iterator(std::string(SYV_SOURCE_DIR) + "/examples")) {
    if (e.path().extension() != ".syv") continue;
    EXPECT_EQ(describe(checkPlantFile(e.path().string())), "") << e.path();
  }
  // It stops at the limits the import is given.
  const std::string text = "Model {\nStruct {\nName \"A\"\nTree {\n}\n}\n}\n";
  std::istringstream plain(text);
  EXPECT_EQ(describe(checkPlantText(plain)).find("reader takes"), std::string::npos);
  TextLimits shallow;
  shallow.maxDepth = 2;
  std::istringstream deep(text);
  EXPECT_NE(describe(checkPlantText(deep, shallow)).find("4: blocks nested deeper"), std::string::npos);
  TextLimits narrow;
  narrow.maxLineLength = 7;
  std::istringstream wide(text);
  EXPECT_NE(describe(checkPlantText(wide, narrow)).find("2: line longer"), std::string::npos);
}

}  // namespace
}  // namespace syv::test

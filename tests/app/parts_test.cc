// Statistics and output writing, without the plug-in.
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>

#include "app/output_files.h"
#include "app/statistics.h"
#include "test_support.h"

namespace syv::app {
namespace {

using test::TempDir;

// The whole record is the recorded outputs' test; here what no plug-in reaches.
TEST(Statistics, CountsPerMaterialBoundsAndNulls) {
  Model m = test::cubeModel(100.f);
  m.mesh.faces[0].material = 9;  // an id the multi-material lacks
  const nlohmann::json j = nlohmann::json::parse(statisticsJson(computeStatistics(m)));
  EXPECT_EQ(j["materials"][1], nlohmann::json::parse(
      R"({"id": 9, "name": "", "diffuse": null, "texture": null, "triangles": 1})"));

  Model empty;
  empty.materials.push_back({0, std::string("Bl\xff" "tt"), {1, 1, 1}, ""});
  const nlohmann::json e = nlohmann::json::parse(statisticsJson(computeStatistics(empty)));
  EXPECT_TRUE(e["bounds"].is_null());
  EXPECT_EQ(e["triangles"], 0);
  EXPECT_EQ(e["materials"][0]["triangles"], 0);
}

TEST(OutputFiles, AppearWholeAndFailuresLeaveNothing) {
  TempDir dir;
  const std::string main = dir.file("p.gltf"), bin = dir.file("p.bin");
  std::string error;
  ASSERT_TRUE(writeFilesInPlace({{main, "{}"}, {bin, "1234"}}, main, error)) << error;
  EXPECT_EQ(test::readText(main), "{}");
  EXPECT_EQ(dir.names(), (std::vector<std::string>{"p.bin", "p.gltf"}));

  // The target is a folder: the rename fails and its temporary goes.
  std::filesystem::create_directory(dir.file("taken.glb"));
  EXPECT_FALSE(writeFilesInPlace({{dir.file("taken.glb"), "x"}}, dir.file("taken.glb"), error));
  EXPECT_EQ(dir.names(), (std::vector<std::string>{"p.bin", "p.gltf", "taken.glb"}));

  // A spooled file, patched after the fact, appears with the others; one not
  // put in place leaves nothing.
  std::vector<std::unique_ptr<SpooledFile>> spooled;
  spooled.push_back(std::make_unique<SpooledFile>(dir.file("s.obj")));
  ASSERT_EQ(spooled[0]->open(), "");
  spooled[0]->append("v 0 0 0\n");
  spooled[0]->patch(2, "1", 1);
  { SpooledFile dropped(dir.file("d.obj")); ASSERT_EQ(dropped.open(), ""); dropped.append("x", 1); }
  ASSERT_TRUE(writeFilesInPlace({{dir.file("s.mtl"), ""}}, dir.file("s.obj"), error, &spooled)) << error;
  EXPECT_EQ(test::readText(dir.file("s.obj")), "v 1 0 0\n");
  spooled.clear();
  EXPECT_EQ(dir.names(), (std::vector<std::string>{"p.bin", "p.gltf", "s.mtl", "s.obj", "taken.glb"}));

  // A missing folder is the program's test, and so is a set with one.
  EXPECT_EQ(checkOutputFolder("relative-name.glb"), "");
  EXPECT_NE(checkOutputFolder(dir.file("p.gltf/x.glb")).find("not a folder"), std::string::npos);
  EXPECT_NE(checkOutputFolder(dir.file("taken.glb")), "");
}

}  // namespace
}  // namespace syv::app

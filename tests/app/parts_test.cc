// Command line, statistics and output writing, without the plug-in.
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>

#include "app/options.h"
#include "app/output_files.h"
#include "app/progress_line.h"
#include "app/statistics.h"
#include "test_support.h"

namespace syv::app {
namespace {

using test::TempDir;

struct Parsed {
  ParseOutcome outcome;
  int status = -1;
  Options options;
};

Parsed parse(std::vector<std::string> args) {
  args.insert(args.begin(), "syvimport");
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  Parsed p;
  testing::internal::CaptureStderr();
  testing::internal::CaptureStdout();
  p.outcome = parseCommandLine(int(argv.size()), argv.data(), p.options, p.status);
  testing::internal::GetCapturedStdout();
  testing::internal::GetCapturedStderr();
  return p;
}

TEST(CommandLine, ConsistentRequestsRunAndTheRestAreUsageErrors) {
  Parsed p = parse({"plant.syv", "-o", "out/p.FBX"});
  ASSERT_EQ(p.outcome, ParseOutcome::Run);
  EXPECT_EQ(p.options.format, Format::Fbx);
  EXPECT_DOUBLE_EQ(p.options.scale, 0.01);

  p = parse({"plant.syv", "-o", "p.model", "--format", "gltf", "--scale", "1", "--quiet",
             "--stats-json", "s.json", "--plugin", "/x/libsyvimp.so", "--no-progress"});
  ASSERT_EQ(p.outcome, ParseOutcome::Run);
  EXPECT_EQ(p.options.format, Format::Gltf);
  EXPECT_DOUBLE_EQ(p.options.scale, 1.0);
  EXPECT_EQ(p.options.plugin, "/x/libsyvimp.so");
  p = parse({"--texture-dir", "a", "x/plant.syv", "-o", "out/", "--format", "obj", "--texture-dir", "b"});
  ASSERT_EQ(p.outcome, ParseOutcome::Run);
  EXPECT_EQ(p.options.input, "x/plant.syv");
  EXPECT_EQ(p.options.output, "out/plant.obj");
  EXPECT_EQ(p.options.textureDirs, (std::vector<std::string>{"a", "b"}));

  for (const std::vector<std::string>& bad :
       {std::vector<std::string>{}, {"plant.syv"}, {"plant.syv", "-o", "p.stl"},
        {"plant.syv", "-o", "p"}, {"plant.syv", "-o", "p.glb", "--format", "dae"},
        {"plant.syv", "--stats", "--format", "glb"}, {"plant.syv", "-o", "p.glb", "--scale", "0"},
        {"plant.syv", "-o", "p.glb", "--scale", "-2"}, {"plant.syv", "-o", "p.glb", "--scale", "x"},
        {"plant.syv", "--stats", "--bogus"}, {"a.syv", "b.syv", "--stats"}}) {
    Parsed r = parse(bad);
    EXPECT_EQ(r.outcome, ParseOutcome::Exit) << testing::PrintToString(bad);
    EXPECT_EQ(r.status, 2) << testing::PrintToString(bad);
  }
}

// The whole record of a cube is the fake plug-in's test; here what no plug-in reaches.
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

  // One target folder is missing: nothing is written, the existing files stay.
  EXPECT_FALSE(writeFilesInPlace({{main, "new"}, {dir.file("gone/p.bin"), "x"}}, main, error));
  EXPECT_NE(error.find("gone"), std::string::npos);
  EXPECT_EQ(test::readText(main), "{}");
  EXPECT_EQ(dir.names(), (std::vector<std::string>{"p.bin", "p.gltf"}));

  // The target is a folder: the rename fails and its temporary goes.
  std::filesystem::create_directory(dir.file("taken.glb"));
  EXPECT_FALSE(writeFilesInPlace({{dir.file("taken.glb"), "x"}}, dir.file("taken.glb"), error));
  EXPECT_EQ(dir.names(), (std::vector<std::string>{"p.bin", "p.gltf", "taken.glb"}));

  // A missing folder is the program's test.
  EXPECT_EQ(checkOutputFolder("relative-name.glb"), "");
  EXPECT_NE(checkOutputFolder(dir.file("p.gltf/x.glb")).find("not a folder"), std::string::npos);
  EXPECT_NE(checkOutputFolder(dir.file("taken.glb")), "");
}

std::string drawn(bool enabled) {
  std::FILE* f = std::tmpfile();
  {
    ProgressLine line(f, enabled);
    line.stage("Importing p.syv");
    line.begin("Loading...");
    line.update(42, "");
    line.update(42, "");  // unchanged: not drawn again
    line.update(150, "");
    line.end();
  }
  std::rewind(f);
  std::string out;
  for (int c; (c = std::fgetc(f)) != EOF;) out.push_back(char(c));
  std::fclose(f);
  return out;
}

TEST(ProgressLine, RedrawsOneLineOnlyWhenEnabledAndChanged) {
  const std::string out = drawn(true);
  EXPECT_NE(out.find("Importing p.syv: Loading... 42%"), std::string::npos) << out;
  EXPECT_NE(out.find("100%"), std::string::npos) << "percentages are clamped";
  EXPECT_EQ(test::count(out, "42%"), 1u);
  EXPECT_EQ(out.find('\n'), std::string::npos) << "one line, never a new one";
  EXPECT_EQ(out.substr(out.size() - 4), "\r\033[K") << "cleared at the end";
  EXPECT_EQ(drawn(false), "");
}

}  // namespace
}  // namespace syv::app

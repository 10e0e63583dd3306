// The built syvimport, run as a user runs it, on small plants.
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <regex>

#include "test_support.h"

namespace syv::app {
namespace {

using test::RunResult;
using test::shellQuote;
using test::TempDir;

using test::assimpFaces;
using test::kData;
using test::kProgram;

using test::count;
using Program = test::ProgramTest;

TEST_F(Program, BadInputIsOneClearLineAndNothingWritten) {
  test::writeText(dir.file("empty.syv"), "");
  test::writeText(dir.file("binary.syv"), std::string("\x7f" "ELF\0\0\0\1", 8));
  std::filesystem::create_directory(dir.file("folder.syv"));
  test::writeText(dir.file("out.glb"), "old");
  struct Case {
    std::string file, words;
  } cases[] = {{dir.file("missing.syv"), "no such file"},
               {dir.file("empty.syv"), "empty"},
               {dir.file("binary.syv"), "binary"},
               {dir.file("folder.syv"), "folder"},
               {kData + "/app_cycle.syv", ""}};
  for (const Case& c : cases) {
    const RunResult r = syvimport(shellQuote(c.file) + " -o " + shellQuote(dir.file("out.glb")));
    EXPECT_EQ(r.status, 1) << c.file << "\n" << r.err;
    EXPECT_EQ(r.err.rfind("Error: ", 0), 0u) << r.err;
    const std::string last = r.err.substr(r.err.rfind("Error: "));
    EXPECT_EQ(count(last, "\n"), 1u) << r.err;
    EXPECT_NE(last.find(c.file), std::string::npos) << r.err;
    EXPECT_NE(last.find(c.words), std::string::npos) << r.err;
    EXPECT_EQ(test::readText(dir.file("out.glb")), "old") << "an existing output was replaced";
  }
  EXPECT_EQ(dir.names(),
            (std::vector<std::string>{"binary.syv", "empty.syv", "folder.syv", "out.glb"}));

  // A plant cut short: imported as far as it goes, or refused, but never a crash.
  // Blocks left open end with the file, so what was read converts, but the
  // user is told the file looks cut off.
  const RunResult cut = syvimport(plant("app_truncated.syv") + " --stats");
  EXPECT_EQ(cut.status, 0) << cut.err;
  EXPECT_NE(cut.err.find("Warning: "), std::string::npos) << cut.err;
  EXPECT_NE(cut.err.find("app_truncated.syv: IMPORT: the file ends inside"), std::string::npos)
      << cut.err;
  EXPECT_NE(cut.out.find("cut off"), std::string::npos) << "listed among the warnings";
}

TEST_F(Program, UsageAndOutputFailuresHaveTheirOwnStatus) {
  RunResult r = syvimport(plant("app_plant.syv") + " -o " + shellQuote(dir.file("p.stl")));
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("p.stl"), std::string::npos);
  EXPECT_EQ(syvimport(plant("app_plant.syv")).status, 2);
  r = syvimport("--help");
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("metres"), std::string::npos) << "units belong in --help";
  EXPECT_NE(r.out.find("Blender"), std::string::npos) << "--help names who cannot read --compress";
  EXPECT_EQ(syvimport(plant("app_plant.syv") + " --compress -o " + shellQuote(dir.file("p.obj"))).status, 2);
  EXPECT_EQ(syvimport(plant("app_plant.syv") + " --compress --lod 0.5 -o " + shellQuote(dir.file("p.glb"))).status, 2)
      << "one quantization grid cannot serve levels in one file";
  EXPECT_EQ(syvimport("--version").status, 0);
  r = syvimport(plant("app_plant.syv") + " -o " + shellQuote(dir.file("nowhere/p.glb")));
  EXPECT_EQ(r.status, 3);
  EXPECT_NE(r.err.find("nowhere"), std::string::npos) << r.err;
  r = syvimport(plant("app_plant.syv") + " -o " + shellQuote(dir.file("p.glb")) + " --stats-json " +
                shellQuote(dir.file("nowhere/s.json")));
  EXPECT_EQ(r.status, 3);
  EXPECT_TRUE(dir.names().empty()) << "nothing may be written when an output folder is missing";
}

TEST_F(Program, LimitsReachThePlugInAndStopWithTheirFigure) {
  // app_plant.syv makes a few thousand triangles in a handful of placements.
  const std::string out = " -o " + shellQuote(dir.file("p.glb"));
  struct Case {
    std::string options, words;
  } cases[] = {{"--max-triangles 100", "more than 100 triangles (the geometry budget; raise it "
                                       "with --max-triangles"},
               {"--max-placements 2", "more than 2 objects (the placement limit; raise it with "
                                      "--max-placements"},
               {"--max-depth 1", "nested deeper than 1 (the depth limit; raise it with --max-depth"},
               {"--max-line-length 4", "longer than 4 bytes (the line length limit"}};
  for (const Case& c : cases) {
    const RunResult r = syvimport(plant("app_plant.syv") + out + " " + c.options);
    EXPECT_EQ(r.status, 1) << c.options;
    EXPECT_NE(r.err.find(c.words), std::string::npos) << r.err;
  }
  EXPECT_TRUE(dir.names().empty()) << "a limit hit writes nothing";
  EXPECT_EQ(syvimport(plant("app_plant.syv") + out + " --max-triangles 0 --max-placements 0").status,
            0);
  EXPECT_EQ(syvimport(plant("app_plant.syv") + " --stats --max-depth 0").status, 2);
  // The file check beside the import stops where the import does.
  const RunResult check = syvimport(plant("app_plant.syv") + " --check --max-line-length 4");
  EXPECT_NE(check.out.find(": line 1: line longer than the reader takes"), std::string::npos)
      << check.out;
}

// Counts of the small examples, worked out from their files: a quad is two
// triangles and four texture vertices; a box has 6 quads on 24 vertices; a
// sphere of s segments has s * s quads on (s - 1) * s + 2 vertices.
TEST_F(Program, SmallExamplesGiveTheCountsWorkedOutByHand) {
  struct Case {
    const char* name;
    int triangles, vertices;
    std::vector<double> min, max;
    std::vector<std::pair<int, int>> trianglesPerId;
  };
  const std::vector<Case> cases = {
      // Eight boxes of edge 50 on a circle of radius 200 in the XY plane.
      {"wreath", 96, 192, {-225, -225, -25}, {225, 225, 25}, {{0, 96}}},
      // A sphere of radius 50 with 2 * 2 + 4 = 8 segments (its own material)
      // and a box of edge 100 moved 200 along X (the default material).
      {"simple", 140, 24 + 58, {-50, -50, -50}, {250, 50, 50}, {{0, 12}, {1, 128}}},
      // One box of edge 100 scaled 3 along Z; the patch keeps its corners.
      {"hyperpatch", 12, 24, {-50, -50, -150}, {50, 50, 150}, {{0, 12}}},
      // A 12-point circle swept through 5 profile knots: 4 bands of 12 quads,
      // widest radius 0.9 * 50, 2 units (200 cm) tall.
      {"revo", 96, 60, {-45, -45, 0}, {45, 45, 200}, {{1, 96}}},
  };
  for (const Case& c : cases) {
    const std::string file = std::string(SYV_SOURCE_DIR) + "/examples/" + c.name + ".syv";
    const RunResult r = syvimport(shellQuote(file) + " --stats");
    ASSERT_EQ(r.status, 0) << c.name << ": " << r.err;
    const nlohmann::json s = nlohmann::json::parse(r.out);
    EXPECT_EQ(s["triangles"], c.triangles) << c.name;
    EXPECT_EQ(s["vertices"], c.vertices) << c.name;
    EXPECT_EQ(s["texture_vertices"], 2 * c.triangles) << c.name;
    for (int k = 0; k < 3; ++k) {
      EXPECT_NEAR(s["bounds"]["min"][k].get<double>(), c.min[k], 1e-3) << c.name << " axis " << k;
      EXPECT_NEAR(s["bounds"]["max"][k].get<double>(), c.max[k], 1e-3) << c.name << " axis " << k;
    }
    std::vector<std::pair<int, int>> perId;
    for (const auto& m : s["materials"]) perId.emplace_back(m["id"], m["triangles"]);
    EXPECT_EQ(perId, c.trianglesPerId) << c.name;
    EXPECT_TRUE(s["warnings"].empty()) << c.name << ": " << s["warnings"].dump();
  }
}

// Blender is the reader artists use; make test installs it, a bare build may lack it.
TEST_F(Program, BlenderReadsGltfAndFbxWithTheStatisticsTriangleCount) {
  if (!test::haveCommand("blender")) GTEST_SKIP() << "blender is not installed";
  const std::string script = std::string(SYV_SOURCE_DIR) + "/tools/blender/readback.py";
  const std::string plantFile = std::string(SYV_SOURCE_DIR) + "/examples/plant.syv";
  for (const char* ext : {"glb", "gltf", "fbx"}) {
    const std::string out = dir.file(std::string("plant.") + ext);
    const RunResult r = syvimport(shellQuote(plantFile) + " -o " + shellQuote(out) + " --stats --quiet");
    ASSERT_EQ(r.status, 0) << ext << ": " << r.err;
    const nlohmann::json s = nlohmann::json::parse(r.out);
    const RunResult b = test::run("blender -b --factory-startup --python " + shellQuote(script) +
                                  " -- " + shellQuote(out) + " 2>&1");
    std::smatch m;
    ASSERT_TRUE(std::regex_search(b.out, m, std::regex("READBACK triangles=(\\d+) materials=(\\d+)")))
        << ext << ": " << b.out;
    EXPECT_EQ(std::stoi(m[1].str()), s["triangles"].get<int>()) << ext;
    EXPECT_EQ(std::stoi(m[2].str()), static_cast<int>(s["materials"].size())) << ext;
  }
}

TEST_F(Program, EveryExampleConvertsToValidFiles) {
  const std::string examples = std::string(SYV_SOURCE_DIR) + "/examples";
  if (!std::filesystem::is_directory(examples)) GTEST_SKIP() << "no examples/ folder";
  const bool canRead = test::haveCommand("assimp");
  if (!canRead) std::cout << "[ SKIPPED  ] assimp-utils missing: OBJ/FBX not read back\n";
  int plants = 0;
  for (const auto& entry : std::filesystem::directory_iterator(examples)) {
    if (entry.path().extension() != ".syv") continue;
    ++plants;
    const std::string name = entry.path().stem().string();
    for (const char* ext : {"glb", "gltf", "obj", "fbx"}) {
      const std::string out = dir.file(name + "." + ext);
      const std::string stats = dir.file(name + "-" + ext + ".json");
      const RunResult r = syvimport(shellQuote(entry.path().string()) + " -o " + shellQuote(out) +
                                    " --quiet --strict --stats-json " + shellQuote(stats));
      ASSERT_EQ(r.status, 0) << name << "." << ext << ": " << r.err;
      const nlohmann::json st = nlohmann::json::parse(test::readText(stats));
      const int triangles = st["triangles"];
      if (std::string(ext) == "glb" || std::string(ext) == "gltf") {
        const nlohmann::json report = test::validate(out);
        if (report.is_null()) continue;
        EXPECT_EQ(report["errors"], 0) << name << "." << ext << ": " << report.dump();
        RecordProperty("validator_warnings_" + name + "_" + ext, report["warnings"].dump());
      } else if ((std::string(ext) == "obj" || std::string(ext) == "fbx") && canRead &&
                 !(triangles == 0 && std::string(ext) == "obj")) {
        // (Assimp refuses an OBJ without mesh, so an empty one is not read back.)
        EXPECT_EQ(assimpFaces(out), triangles) << name << "." << ext;
      }
    }
  }
  EXPECT_GT(plants, 0) << "examples/ holds no plant";
  // No temporary files are left beside the outputs.
  for (const std::string& name : dir.names()) EXPECT_NE(name[0], '.') << name;
}

TEST_F(Program, TexturesComeOnlyFromThePlantsFolderOrTheUsersAndAreCopiedBeside) {
  // Three materials name a texture outside the plant's folder: twice as
  // written on Windows, once climbing.
  std::filesystem::create_directories(dir.file("plants"));
  std::filesystem::create_directories(dir.file("out"));
  test::writeText(dir.file("bark.png"), test::tinyPng());
  test::writeText(dir.file("out/bark.png"), "someone else's");
  std::string text = "Model {\nStruct {\nName \"Camera\"\nChildren {\n\"A\"\n\"B\"\n\"C\"\n}\nCamera {\n}\n}\n";
  for (const char* name : {"A", "B", "C"})
    text += std::string("Struct {\nName \"") + name + "\"\nPrimitive {\nType \"Box\"\nUse_GFXColor TRUE\n"
            "Color \"" + name + "\"\nTexture_Handler 1\nTexture_File \"" +
            (name[0] == 'B' ? "../bark.png" : "C:\\maps\\bark.png") + "\"\n}\nSimple {\n}\n}\n";
  test::writeText(dir.file("plants/p.syv"), text + "}\n");
  const std::string p = shellQuote(dir.file("plants/p.syv"));

  // Not read from outside the plant's folder: a warning per name, even when quiet.
  RunResult r = syvimport(p + " -o " + shellQuote(dir.file("out/")) + " --format obj --quiet --stats");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(count(r.err, "Warning: "), 2u) << r.err;
  EXPECT_EQ(count(r.err, "looked for \"bark.png\" in " + dir.file("plants")), 2u) << r.err;
  EXPECT_EQ(nlohmann::json::parse(r.out)["warnings"].size(), 2u);
  EXPECT_EQ(test::readText(dir.file("out/p.mtl")).find("map_Kd"), std::string::npos);
  // --strict: any warning fails and nothing is written; so does an empty plant.
  EXPECT_EQ(syvimport(p + " -o " + shellQuote(dir.file("out/s.glb")) + " --strict").status, 1);
  EXPECT_EQ(syvimport(plant("app_hidden.syv") + " -o " + shellQuote(dir.file("out/s.glb")) +
                      " --strict").status, 1);
  EXPECT_FALSE(std::filesystem::exists(dir.file("out/s.glb")));

  // A folder the user names is searched; the file is copied beside the output
  // (keeping a different one of its name) or referred back to.
  const std::string tex = " --strict --texture-dir " + shellQuote(dir.path());
  r = syvimport(p + " -o " + shellQuote(dir.file("out/p.obj")) + tex + " -v");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(count(test::readText(dir.file("out/p.mtl")), "map_Kd bark_2.png\n"), 3u);
  EXPECT_EQ(test::readText(dir.file("out/bark_2.png")), test::tinyPng());
  EXPECT_EQ(test::readText(dir.file("out/bark.png")), "someone else's");
  EXPECT_TRUE(std::regex_search(r.err, std::regex("^Wrote .*out/p\\.obj: 36 triangles, 3 materials, "
                                                  "[0-9.]+ .* s \\(import .* s\\), 0 warnings\n$")))
      << r.err;
  r = syvimport(p + " -o " + shellQuote(dir.file("out/q.obj")) + tex + " --no-copy-textures --quiet");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(count(test::readText(dir.file("out/q.mtl")), "map_Kd ../bark.png\n"), 3u);
}

TEST_F(Program, TheCommandLineAsAPersonUsesIt) {
  std::filesystem::copy_file(kData + "/app_plant.syv", dir.file("plant.syv"));
  const std::string original = test::readText(dir.file("plant.syv"));
  std::filesystem::create_symlink("plant.syv", dir.file("link.glb"));
  // The output is never the plant, by its name or through a link.
  for (const char* args : {"--format glb -o plant.syv", "-o link.glb", "--stats-json ./plant.syv"}) {
    const RunResult r = syvimport(std::string("plant.syv ") + args);
    EXPECT_EQ(r.status, 2) << args;
    EXPECT_NE(r.err.find("plant file itself"), std::string::npos) << r.err;
  }
  EXPECT_EQ(test::readText(dir.file("plant.syv")), original);
  EXPECT_EQ(dir.names(), (std::vector<std::string>{"link.glb", "plant.syv"}));

  // Statistics alone, without an output.
  RunResult r = syvimport(shellQuote(dir.file("plant.syv")) + " --stats-json " + shellQuote(dir.file("s.json")));
  EXPECT_NE(test::readText(dir.file("s.json")).find("\"triangles\""), std::string::npos) << r.err;

  // A misspelt kind converts to an empty file, and the warning names what the file held.
  test::writeText(dir.file("typo.syv"), "Model {\nStruct {\nName \"Camera\"\nChildren {\n\"T\"\n}\n"
                                        "Camera {\n}\n}\nStruct {\nName \"T\"\nPrimitive {\n"
                                        "Type \"Tube\"\n}\nTre {\n}\n}\n}\n");
  r = syvimport(shellQuote(dir.file("typo.syv")) + " --stats -o " + shellQuote(dir.file("typo.glb")));
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("\"T\" (Simple; unknown block \"Tre\")"), std::string::npos) << r.err;
  EXPECT_TRUE(nlohmann::json::parse(r.out)["bounds"].is_null());

  // Installed and moved, the program still finds its plug-in.
  r = test::run("cmake --install " + shellQuote(std::string(SYV_BIN_DIR) + "/..") + " --prefix " +
                shellQuote(dir.file("inst")) + " && mv " + shellQuote(dir.file("inst")) + " " +
                shellQuote(dir.file("moved")));
  ASSERT_EQ(r.status, 0) << r.err;
  r = test::run(shellQuote(dir.file("moved/bin/syvimport")) + " " + plant("app_plant.syv") + " -o " +
                shellQuote(dir.file("p.glb")));
  EXPECT_EQ(r.status, 0) << r.err;
}

#ifdef SYV_FAKE_PLUGIN
// With a fake plug-in whose scene is known: a cube of 100 cm, 12 triangles,
// materials 0 "Bark" (8 triangles, textured) and 1 "Leaf" (4).
class FakePlugin : public testing::Test {
 protected:
  RunResult syvimport(const std::string& plantText, const std::string& args) {
    test::writeText(dir.file("p.syv"), plantText);
    return test::run(shellQuote(kProgram) + " " + shellQuote(dir.file("p.syv")) + " --plugin " +
                     shellQuote(SYV_FAKE_PLUGIN) + " " + args);
  }
  TempDir dir;
};

TEST_F(FakePlugin, TheSceneThePlugInBuiltIsWhatIsCountedAndWritten) {
  test::writeText(dir.file("bark.png"), test::tinyPng());
  const std::string out = dir.file("p.glb");
  const RunResult r = syvimport("cube bark.png", "-o " + shellQuote(out) + " --stats");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err.rfind("Warning: " + dir.file("p.syv") + ": fake: made a cube\nWrote ", 0), 0u)
      << "the host log is forwarded, naming the file; then the summary";
  nlohmann::json s = nlohmann::json::parse(r.out);
  s.erase("seconds");
  EXPECT_EQ(s, nlohmann::json::parse(R"({"node": "p", "triangles": 12, "vertices": 8, "texture_vertices": 24,
      "materials": [{"id": 0, "name": "Bark", "diffuse": [0.5, 0.25, 0.125], "texture": "bark.png", "triangles": 8},
                    {"id": 1, "name": "Leaf", "diffuse": [0.1, 0.6, 0.2], "texture": null, "triangles": 4}],
      "bounds": {"min": [0, 0, 0], "max": [100, 100, 100]}, "warnings": ["fake: made a cube"]})"));

  // Each side is its own smoothing group: 24 corners, the texture embedded.
  const nlohmann::json j = test::glbJson(test::readText(out));
  size_t vertices = 0;
  for (const auto& mesh : j["meshes"])
    for (const auto& prim : mesh["primitives"])
      vertices += j["accessors"][prim["attributes"]["POSITION"].get<size_t>()]["count"].get<size_t>();
  EXPECT_EQ(vertices, 24u);
  ASSERT_EQ(j["images"].size(), 1u);
  EXPECT_TRUE(j["images"][0].contains("bufferView"));
}

TEST_F(FakePlugin, FailureCancelAndMissingPlugIn) {
  RunResult r = syvimport("fail", "-o " + shellQuote(dir.file("p.glb")) + " --quiet");
  EXPECT_EQ(r.status, 1);
  // Quiet: errors only, and the last line names the file.
  EXPECT_EQ(r.err, "Error: " + dir.file("p.syv") + ": fake: IMPORT: No Root Object(s) found!\n");

  r = syvimport("cancel", "-o " + shellQuote(dir.file("p.glb")) + " & pid=$!; sleep 0.3; kill -INT $pid; wait $pid");
  EXPECT_EQ(r.status, 130) << r.err;
  EXPECT_NE(r.err.find("cancelled"), std::string::npos) << r.err;

  r = test::run(shellQuote(kProgram) + " " + shellQuote(dir.file("p.syv")) + " --stats --plugin " +
                shellQuote(dir.file("none.so")));
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("none.so"), std::string::npos);
  // A library that is no plug-in.
  r = test::run(shellQuote(kProgram) + " " + shellQuote(dir.file("p.syv")) + " --stats --plugin " +
                shellQuote(std::string(SYV_BIN_DIR) + "/libhostsdk.so"));
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("not a plug-in"), std::string::npos) << r.err;
  EXPECT_EQ(dir.names(), (std::vector<std::string>{"p.syv"}));
}

// Each format's empty file is the exporter's test; here the user is told.
TEST_F(FakePlugin, EmptySceneStillConverts) {
  const RunResult r = syvimport("empty", "-o " + shellQuote(dir.file("p.obj")));
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("no visible geometry"), std::string::npos) << r.err;
  EXPECT_TRUE(std::filesystem::exists(dir.file("p.obj")));
}

TEST_F(FakePlugin, ProgressLineOnlyOnATerminal) {
  if (!test::haveCommand("script")) GTEST_SKIP() << "no 'script' to give the program a terminal";
  test::writeText(dir.file("p.syv"), "cube");
  const std::string cmd = shellQuote(kProgram) + " " + shellQuote(dir.file("p.syv")) + " --plugin " +
                          shellQuote(SYV_FAKE_PLUGIN) + " -o " + shellQuote(dir.file("p.glb"));
  RunResult r = test::run("script -qec " + shellQuote(cmd) + " /dev/null");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("Loading... 50%"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Exporting glb: writing 50%"), std::string::npos) << "the export too";
  EXPECT_NE(r.out.find('\r'), std::string::npos);
  r = test::run("script -qec " + shellQuote(cmd + " --no-progress") + " /dev/null");
  EXPECT_EQ(r.out.find('%'), std::string::npos) << r.out;
  r = test::run(cmd);
  EXPECT_EQ(r.err.find('%'), std::string::npos) << "not a terminal: no progress";
}
#endif

}  // namespace
}  // namespace syv::app

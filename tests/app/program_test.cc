// The built syvimport, run as a user runs it, on small plants.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <regex>

#include "test_support.h"

namespace syv::app {
namespace {

using test::assimpFaces;
using test::count;
using test::kData;
using test::kProgram;
using test::RunResult;
using test::shellQuote;
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
  for (const char* bad : {"", "-o p", "-o p.glb --format dae", "--stats --format glb", "-o p.glb --scale 0",
                          "-o p.glb --scale -2", "-o p.glb --scale x", "--stats --bogus", "b.syv --stats"})
    EXPECT_EQ(syvimport(plant("app_plant.syv") + " " + bad).status, 2) << bad;
  EXPECT_EQ(syvimport("").status, 2);
  EXPECT_EQ(syvimport("--help").status, 0);
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
  const std::pair<const char*, const char*> cases[] = {
      // Eight boxes of edge 50 on a circle of radius 200 in the XY plane.
      {"wreath", R"({"triangles": 96, "vertices": 192, "materials": [[0, 96]],
                     "bounds": {"min": [-225, -225, -25], "max": [225, 225, 25]}})"},
      // A sphere of radius 50 with 2 * 2 + 4 = 8 segments (its own material)
      // and a box of edge 100 moved 200 along X (the default material).
      {"simple", R"({"triangles": 140, "vertices": 82, "materials": [[0, 12], [1, 128]],
                     "bounds": {"min": [-50, -50, -50], "max": [250, 50, 50]}})"},
      // One box of edge 100 scaled 3 along Z; the patch keeps its corners.
      {"hyperpatch", R"({"triangles": 12, "vertices": 24, "materials": [[0, 12]],
                         "bounds": {"min": [-50, -50, -150], "max": [50, 50, 150]}})"},
      // A 12-point circle swept through 5 profile knots: 4 bands of 12 quads,
      // widest radius 0.9 * 50, 2 units (200 cm) tall.
      {"revo", R"({"triangles": 96, "vertices": 60, "materials": [[1, 96]],
                   "bounds": {"min": [-45, -45, 0], "max": [45, 45, 200]}})"}};
  for (const auto& [name, want] : cases) {
    const RunResult r = syvimport(shellQuote(std::string(SYV_SOURCE_DIR) + "/examples/" + name + ".syv") + " --stats");
    ASSERT_EQ(r.status, 0) << name << ": " << r.err;
    const nlohmann::json s = nlohmann::json::parse(r.out);
    nlohmann::json got = {{"triangles", s["triangles"]}, {"vertices", s["vertices"]}, {"bounds", s["bounds"]}};
    for (const auto& m : s["materials"]) got["materials"].push_back({m["id"], m["triangles"]});
    for (auto& corner : got["bounds"])
      for (auto& v : corner) v = std::round(v.get<double>() * 1000) / 1000;
    EXPECT_EQ(got, nlohmann::json::parse(want)) << name;
    EXPECT_EQ(s["texture_vertices"], 2 * s["triangles"].get<int>()) << name;
    EXPECT_TRUE(s["warnings"].empty()) << name << ": " << s["warnings"].dump();
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
    // Alone, the statistics come from a tally of the mesh without its faces copied.
    nlohmann::json alone = nlohmann::json::parse(syvimport(shellQuote(entry.path().string()) + " --stats").out);
    alone.erase("seconds");
    for (const char* ext : {"glb", "gltf", "obj", "fbx"}) {
      const std::string out = dir.file(name + "." + ext);
      const std::string stats = dir.file(name + "-" + ext + ".json");
      const RunResult r = syvimport(shellQuote(entry.path().string()) + " -o " + shellQuote(out) +
                                    " --quiet --strict --stats-json " + shellQuote(stats));
      ASSERT_EQ(r.status, 0) << name << "." << ext << ": " << r.err;
      nlohmann::json written = nlohmann::json::parse(test::readText(stats));
      const int triangles = written["triangles"];
      written.erase("seconds");
      EXPECT_EQ(written, alone) << name << "." << ext;
      if (ext[0] == 'g') {
        const nlohmann::json report = test::validate(out);
        EXPECT_TRUE(report.is_null() || report["errors"] == 0) << name << "." << ext << ": " << report.dump();
      } else if (canRead && !(triangles == 0 && ext[0] == 'o')) {
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

  // A misspelt kind converts to an empty file; the warnings name what the file held.
  test::writeText(dir.file("typo.syv"), "Model {\nStruct {\nName \"Camera\"\nChildren {\n\"T\"\n}\n"
                                        "Camera {\n}\n}\nStruct {\nName \"T\"\nPrimitive {\n"
                                        "Type \"Tube\"\n}\nTre {\n}\n}\n}\n");
  r = syvimport(shellQuote(dir.file("typo.syv")) + " --stats -o " + shellQuote(dir.file("typo.glb")));
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("\"T\" (Simple; unknown block \"Tre\")"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("no visible geometry"), std::string::npos) << r.err;
  EXPECT_TRUE(std::filesystem::exists(dir.file("typo.glb")));
  EXPECT_TRUE(nlohmann::json::parse(r.out)["bounds"].is_null());

  // Installed and moved, the program still finds its plug-in and its FBX
  // writer; without the writer only an FBX fails, as a write does.
  r = test::run("cmake --install " + shellQuote(std::string(SYV_BIN_DIR) + "/..") + " --prefix " +
                shellQuote(dir.file("inst")) + " && mv " + shellQuote(dir.file("inst")) + " " +
                shellQuote(dir.file("moved")));
  ASSERT_EQ(r.status, 0) << r.err;
  auto convert = [&](const std::string& program, const std::string& out) {
    return test::run("SOURCE_DATE_EPOCH=0 " + shellQuote(program) + " " + plant("app_plant.syv") +
                     " -o " + shellQuote(dir.file(out)));
  };
  auto moved = [&](const std::string& out) { return convert(dir.file("moved/bin/syvimport"), out); };
  EXPECT_EQ(moved("p.glb").status, 0);
  r = moved("p.fbx");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(convert(kProgram, "here.fbx").status, 0);
  EXPECT_EQ(test::readText(dir.file("p.fbx")), test::readText(dir.file("here.fbx")));
  std::filesystem::remove(dir.file("moved/lib/syvimport/libsyvfbx.so"));
  r = moved("q.fbx");
  EXPECT_EQ(r.status, 3);
  EXPECT_NE(r.err.find("cannot load the FBX writer: "), std::string::npos) << r.err;
  EXPECT_FALSE(std::filesystem::exists(dir.file("q.fbx")));
  EXPECT_EQ(moved("q.obj").status, 0);
}

TEST_F(Program, PlugInFailuresCancelAndProgress) {
  // The plug-in's failure alone, whatever the log held before it.
  RunResult r = syvimport(plant("app_cycle.syv") + " -o p.glb --quiet");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(count(r.err, "\n"), 1u) << r.err;
  EXPECT_EQ(r.err.rfind("Error: " + kData + "/app_cycle.syv: ", 0), 0u) << r.err;
  const std::pair<std::string, std::string> libraries[] = {
      {dir.file("none.so"), "none.so"}, {std::string(SYV_BIN_DIR) + "/libhostsdk.so", "not a plug-in"}};
  for (const auto& [lib, words] : libraries) {
    r = syvimport(plant("app_plant.syv") + " --stats --plugin " + shellQuote(lib));
    EXPECT_EQ(r.status, 1) << lib;
    EXPECT_NE(r.err.find(words), std::string::npos) << r.err;
  }

  // Five levels of 200 branches: seconds of work before the budget stops it.
  std::string heavy = "Model {\nStruct {\nName \"Camera\"\nChildren {\n\"L0\"\n}\nCamera {\n}\n}\n";
  for (int i = 0; i < 5; ++i)
    heavy += "Struct {\nName \"L" + std::to_string(i) + "\"\nPrimitive {\nType \"Tube\"\n}\nTree {\n"
             "Segments {4, 1, 100}\nBranch_Num {200, 1, 100}\nBranches {\n\"L" + std::to_string(i + 1) + "\"\n}\n}\n}\n";
  test::writeText(dir.file("heavy.syv"), heavy + "}\n");
  r = syvimport("heavy.syv -o p.glb & pid=$!; sleep 0.5; kill -INT $pid; wait $pid");
  EXPECT_EQ(r.status, 130) << r.err;
  EXPECT_NE(r.err.find("cancelled"), std::string::npos) << r.err;
  EXPECT_EQ(dir.names(), (std::vector<std::string>{"heavy.syv"}));

  if (!test::haveCommand("script")) GTEST_SKIP() << "no 'script' to give the program a terminal";
  const std::string cmd = shellQuote(kProgram) + " " + plant("app_plant.syv") + " -o " + shellQuote(dir.file("p.glb"));
  r = test::run("script -qec " + shellQuote(cmd) + " /dev/null");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("Loading... "), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Exporting glb: "), std::string::npos) << "the export too";
  EXPECT_NE(r.out.find('\r'), std::string::npos);
  r = test::run("script -qec " + shellQuote(cmd + " --no-progress") + " /dev/null");
  EXPECT_EQ(r.out.find('%'), std::string::npos) << r.out;
  EXPECT_EQ(test::run(cmd).err.find('%'), std::string::npos) << "not a terminal: no progress";
}

}  // namespace
}  // namespace syv::app

// Levels of detail, end to end: shares, the nodes readers see, and silhouettes.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <regex>

#include "test_support.h"

namespace syv::app {
namespace {

using test::RunResult;
using test::shellQuote;

const std::string kSource = SYV_SOURCE_DIR;
const double kShares[] = {0.5, 0.2, 0.05};
const char* const kLod = " --lod 0.5,0.2,0.05";

using Lod = test::ProgramTest;

// Triangles of each node of a .glb that has a mesh, by node name.
std::map<std::string, size_t> glbNodeTriangles(const std::string& file) {
  const nlohmann::json j = test::glbJson(test::readText(file));
  std::map<std::string, size_t> out;
  for (const auto& node : j["nodes"]) {
    if (!node.contains("mesh")) continue;
    size_t n = 0;
    for (const auto& p : j["meshes"][node["mesh"].get<size_t>()]["primitives"])
      n += j["accessors"][p["indices"].get<size_t>()]["count"].get<size_t>() / 3;
    out[node["name"]] = n;
  }
  return out;
}

TEST_F(Lod, LevelsKeepTheirSharesAndEveryReaderSeesTheirNodes) {
  const std::string plant = shellQuote(kSource + "/examples/plant.syv");
  const bool blender = test::haveCommand("blender"), assimp = test::haveCommand("assimp");
  for (const char* ext : {"glb", "gltf", "fbx"}) {
    const std::string out = dir.file(std::string("plant.") + ext);
    const RunResult r = syvimport(plant + " -o " + shellQuote(out) + kLod + " --stats --quiet");
    ASSERT_EQ(r.status, 0) << ext << ": " << r.err;
    const nlohmann::json stats = nlohmann::json::parse(r.out);
    const size_t full = stats["triangles"];
    std::map<std::string, size_t> levels;
    if (std::string(ext) == "glb") {
      levels = glbNodeTriangles(out);
      ASSERT_EQ(levels.size(), 4u);
      for (size_t l = 1; l <= 3; ++l) {
        EXPECT_LE(double(levels["plant_LOD" + std::to_string(l)]), kShares[l - 1] * double(full)) << l;
      }
    }
    const nlohmann::json report = std::string(ext) == "fbx" ? nlohmann::json() : test::validate(out);
    if (!report.is_null()) {
      EXPECT_EQ(report["errors"], 0) << ext << ": " << report.dump();
      EXPECT_EQ(report["warnings"], 0) << ext << ": " << report.dump();
    }
    if (assimp) {
      const RunResult a = test::run("assimp info " + shellQuote(out));
      for (int l = 0; l <= 3; ++l)
        EXPECT_NE(a.out.find("plant_LOD" + std::to_string(l)), std::string::npos) << ext << "\n" << a.out;
    }
    if (blender) {
      const RunResult b = test::run("blender -b --factory-startup --python " +
                                    shellQuote(kSource + "/tools/blender/readback.py") + " -- " +
                                    shellQuote(out) + " 2>&1");
      // FBX gives each level's meshes objects of their own (PLANT_LODn_MATERIAL).
      std::map<std::string, size_t> seen;
      const std::regex line("READBACK object (plant_LOD\\d+)\\S* triangles=(\\d+)");
      for (std::sregex_iterator m(b.out.begin(), b.out.end(), line), end; m != end; ++m)
        seen[(*m)[1]] += std::stoul((*m)[2]);
      EXPECT_EQ(seen.size(), 4u) << ext << "\n" << b.out;
      EXPECT_EQ(seen["plant_LOD0"], full) << ext;
      EXPECT_TRUE(levels.empty() || seen == levels) << ext;
      EXPECT_NE(b.out.find(" materials=" + std::to_string(stats["materials"].size()) + "\n"), std::string::npos) << b.out;
    }
  }
  // Separate files: the main output as without levels, each level beside it.
  ASSERT_EQ(syvimport(plant + " -o " + shellQuote(dir.file("plain.glb")) + " -q").status, 0);
  ASSERT_EQ(syvimport(plant + " -o " + shellQuote(dir.file("sep.glb")) + kLod + " --lod-files -q").status, 0);
  EXPECT_EQ(test::readText(dir.file("sep.glb")), test::readText(dir.file("plain.glb")));
  for (int l = 1; l <= 3; ++l) {
    const auto nodes = glbNodeTriangles(dir.file("sep_LOD" + std::to_string(l) + ".glb"));
    ASSERT_EQ(nodes.size(), 1u) << l;
    EXPECT_EQ(nodes.begin()->first, "plant_LOD" + std::to_string(l));
  }
}

// Intersection over union of two previews' foregrounds (not the background colour).
double iou(const std::string& pngA, const std::string& pngB) {
  int w = 0, h = 0;
  const auto a = test::readRgb(pngA, w, h), b = test::readRgb(pngB, w, h);
  const std::array<int, 3> background{209, 212, 209};
  size_t both = 0, either = 0;
  for (size_t i = 0; i < a.size() && i < b.size(); ++i) {
    both += a[i] != background && b[i] != background;
    either += a[i] != background || b[i] != background;
  }
  return either ? double(both) / double(either) : 0.0;
}

// Each level from three sides against the full plant, on every large example
// and a generated plant.
TEST_F(Lod, LevelsKeepThePlantsSilhouette) {
  std::vector<std::string> plants;
  for (const auto& e : std::filesystem::directory_iterator(kSource + "/examples")) {
    if (e.path().extension() != ".syv") continue;
    const RunResult r = syvimport(shellQuote(e.path().string()) + " --stats --quiet");
    if (r.status == 0 && nlohmann::json::parse(r.out)["triangles"].get<size_t>() > 10000)
      plants.push_back(e.path().string());
  }
  const std::string generated = dir.file("generated.syv");
  ASSERT_EQ(test::run("python3 " + shellQuote(kSource + "/bench/gen_plant.py") +
                      " --kind tree --size 0.2 --seed 3 -o " + shellQuote(generated)).status, 0);
  plants.push_back(generated);
  const double least[] = {0.9, 0.8};
  for (const std::string& plant : plants) {
    const std::string name = std::filesystem::path(plant).stem().string();
    for (const char* view : {"front", "side", "top"}) {
      std::string png[3];
      for (int l = 0; l < 3; ++l) {
        png[l] = dir.file(name + view + std::to_string(l) + ".png");
        const RunResult r = syvimport(shellQuote(plant) + kLod + " --preview " + shellQuote(png[l]) +
                                      " --size 256x256 --preview-view " + view +
                                      " --preview-lod " + std::to_string(l) + " --quiet");
        ASSERT_EQ(r.status, 0) << r.err;
      }
      for (int l = 1; l < 3; ++l) {
        const double overlap = iou(png[0], png[l]);
        std::printf("silhouette %s %s LOD%d IoU %.3f\n", name.c_str(), view, l, overlap);
        EXPECT_GE(overlap, least[l - 1]) << name << " " << view << " LOD" << l;
      }
    }
  }
}
}  // namespace
}  // namespace syv::app

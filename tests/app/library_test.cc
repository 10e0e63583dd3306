// A plant library through the built syvimport: batches, pictures, the gallery
// in a real browser, and the file check.
#include <gtest/gtest.h>
#include <stb/stb_image_write.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "test_support.h"

namespace syv::app {
namespace {

namespace fs = std::filesystem;
using test::RunResult;
using test::shellQuote;

using test::kData;

class Library : public test::ProgramTest {
 protected:
  void copy(const std::string& data, const std::string& to) {
    fs::create_directories(fs::path(dir.file(to)).parent_path());
    fs::copy_file(kData + "/" + data, dir.file(to), fs::copy_options::overwrite_existing);
  }
};

std::vector<nlohmann::json> manifest(const std::string& path) {
  std::vector<nlohmann::json> lines;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) lines.push_back(nlohmann::json::parse(line));
  return lines;
}

TEST_F(Library, BatchConvertsEachPlantAloneAndResumes) {
  copy("app_plant.syv", "plants/a.syv");
  copy("app_bark.png", "plants/app_bark.png");
  copy("app_plant.syv", "plants/sub/b.syv");
  copy("app_cycle.syv", "plants/sub/bad.syv");
  const std::string batch = "plants --recursive -o out/ -j 2 --manifest m.jsonl";
  RunResult r = syvimport(batch);
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_NE(r.err.find("Failed: plants/sub/bad.syv: "), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("2 converted, 1 failed, 0 skipped"), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find('\r'), std::string::npos) << "no progress line off a terminal";
  EXPECT_FALSE(fs::exists(dir.file("out/sub/bad.glb")));
  std::vector<nlohmann::json> m = manifest(dir.file("m.jsonl"));
  ASSERT_EQ(m.size(), 3u);
  for (const auto& line : m) {
    const bool bad = line["input"] == "plants/sub/bad.syv";
    EXPECT_EQ(line["status"], bad ? "failed" : "converted") << line;
    EXPECT_TRUE(bad || line["statistics"]["triangles"].get<int>() > 0) << line;
  }
  // The same bytes as a conversion on its own.
  ASSERT_EQ(syvimport("plants/a.syv -o single.glb").status, 0);
  EXPECT_EQ(test::readText(dir.file("out/a.glb")), test::readText(dir.file("single.glb")));

  r = syvimport(batch);
  EXPECT_NE(r.err.find("0 converted, 1 failed, 2 skipped"), std::string::npos) << r.err;
  // A newer texture makes its plant's output stale.
  fs::last_write_time(dir.file("plants/app_bark.png"), fs::file_time_type::clock::now() + std::chrono::hours(1));
  r = syvimport(batch);
  EXPECT_NE(r.err.find("1 converted, 1 failed, 1 skipped"), std::string::npos) << r.err;
  r = syvimport(batch + " --force");
  EXPECT_NE(r.err.find("2 converted, 1 failed, 0 skipped"), std::string::npos) << r.err;
  EXPECT_EQ(manifest(dir.file("m.jsonl")).size(), 12u);
  EXPECT_EQ(syvimport("plants/a.syv plants/sub/b.syv -o out2/ --format obj -j 1").status, 0);
  EXPECT_TRUE(fs::exists(dir.file("out2/plants/sub/b.obj")));
  // Each child gets --strict and --texture-dir: sub/b.syv's texture is one folder up.
  const std::string strict = "plants/a.syv plants/sub/b.syv -o strict/ -j 1 --strict";
  r = syvimport(strict);
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_NE(r.err.find("Failed: plants/sub/b.syv: 1 warning with --strict"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(dir.file("strict/plants/sub/b.glb")));
  EXPECT_EQ(syvimport(strict + " --texture-dir plants").status, 0);
}

bool reddish(const std::array<int, 3>& p) { return p[0] > 60 && p[0] > 2 * p[1] && p[0] > 2 * p[2]; }
bool bluish(const std::array<int, 3>& p) { return p[2] > 60 && p[2] > 2 * p[0] && p[2] > p[1] * 3 / 2; }
bool yellowish(const std::array<int, 3>& p) { return p[0] > 60 && p[1] > 60 && p[0] + p[1] > 4 * p[2]; }

TEST_F(Library, PreviewFramesThePlantInItsColoursAndTexture) {
  const std::string box = "Struct {\nName \"%s\"\nPrimitive {\nType \"Box\"\nUse_GFXColor TRUE\n%s"
                          "GFXColor {\nDIFFUSE %s\n}\n}\nTransform {\nTranslation {%s, -50, 50} "
                          "{0, -50, 50} {0, -50, 50}\n}\n}\n";
  auto part = [&](const char* name, const char* extra, const char* colour, const char* x) {
    char buf[512];
    std::snprintf(buf, sizeof buf, box.c_str(), name, extra, colour, x);
    return std::string(buf);
  };
  test::writeText(dir.file("p.syv"),
                  "Model {\nStruct {\nName \"Camera\"\nChildren {\n\"Red\"\n\"Blue\"\n}\nCamera {\n}\n}\n" +
                      part("Red", "", "0.9,0.1,0.1", "0") +
                      part("Blue", "Texture_Handler 1\nTexture_File \"tex.png\"\n", "0.1,0.2,0.9", "1.5") +
                      "}\n");
  std::vector<unsigned char> yellow;
  for (int i = 0; i < 16; ++i) yellow.insert(yellow.end(), {250, 220, 0});
  ASSERT_TRUE(stbi_write_png(dir.file("tex.png").c_str(), 4, 4, 3, yellow.data(), 12));
  for (bool textured : {true, false}) {
    if (!textured) fs::remove(dir.file("tex.png"));
    const RunResult r = syvimport("p.syv --preview p.png --size 240x160");
    ASSERT_EQ(r.status, 0) << r.err;
    int w = 0, h = 0;
    const auto px = test::readRgb(dir.file("p.png"), w, h);
    ASSERT_EQ(w, 240) << r.err;
    ASSERT_EQ(h, 160);
    size_t filled = 0;
    int lo = 255, hi = 0;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const auto& p = px[size_t(y * w + x)];
        if (p == px[0]) continue;
        ++filled;
        EXPECT_TRUE(x > 0 && y > 0 && x < w - 1 && y < h - 1) << "touches the edge at " << x << "," << y;
        if (reddish(p)) lo = std::min(lo, p[0]), hi = std::max(hi, p[0]);
      }
    EXPECT_GT(filled, px.size() / 5) << "the plant fills a fair share";
    EXPECT_LT(filled, px.size() * 9 / 10);
    EXPECT_GT(hi - lo, 30) << "the red box's faces are shaded differently";
    auto count = [&](bool (*pred)(const std::array<int, 3>&)) { return std::count_if(px.begin(), px.end(), pred); };
    EXPECT_GT(count(reddish), 200);
    EXPECT_EQ(count(yellowish) > 200, textured) << "the texture shows where it is found";
    EXPECT_EQ(count(bluish) > 200, !textured) << "else the diffuse colour";
  }
  // A picture that cannot be made is a warning; the conversion stands.
  const RunResult r = syvimport(shellQuote(kData + "/app_hidden.syv") + " -o h.glb --preview h.png");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("Warning: h.png: "), std::string::npos) << r.err;
  EXPECT_TRUE(fs::exists(dir.file("h.glb")));
  EXPECT_FALSE(fs::exists(dir.file("h.png")));
}

TEST_F(Library, GalleryShowsEveryPlantInABrowserAndCheckFindsTypos) {
  copy("app_plant.syv", "plants/a.syv");
  copy("app_bark.png", "plants/app_bark.png");
  std::string typo = test::readText(kData + "/app_plant.syv");
  typo.replace(typo.find("Segments {8"), 8, "Segmnts");
  test::writeText(dir.file("plants/typo.syv"), typo);
  RunResult r = syvimport("plants -o out/ --previews --gallery out/index.html -v");
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string page = test::readText(dir.file("out/index.html"));
  EXPECT_EQ(page.find("://"), std::string::npos) << "no network resources";
  EXPECT_NE(page.find("Segmnts"), std::string::npos) << "the check's finding is among the warnings with -v";

  // The file check on its own: line, the ignored key and the likely name.
  r = syvimport("--check plants/typo.syv");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("plants/typo.syv: line 24: unknown key 'Segmnts' in Tree is ignored (did you mean "
                       "'Segments'?)"), std::string::npos) << r.out;
  EXPECT_EQ(syvimport("--check plants/a.syv").status, 0);
  r = syvimport("plants/typo.syv --stats");
  EXPECT_EQ(r.out.find("Segmnts"), std::string::npos) << "findings are warnings only with -v";

  const char* browser = test::haveCommand("chromium") ? "chromium" : nullptr;
  if (!browser) GTEST_SKIP() << "no chromium to load the gallery in";
  // The page as it is, with a probe at its end that writes what it saw.
  std::string probe = page;
  probe.insert(probe.rfind("</body>"),
               "<script>window.addEventListener('load',function(){var i=document.images,ok=i.length==2;"
               "for(var k=0;k<i.length;k++)ok=ok&&i[k].complete&&i[k].naturalWidth>0;"
               "document.getElementById('by-size').click();var big=document.getElementById('plants')"
               ".firstElementChild.dataset.name;document.getElementById('by-name').click();"
               "var first=document.getElementById('plants').firstElementChild.dataset.name;"
               "document.body.setAttribute('data-probe',(ok?'images-ok':'images-bad')+' '+first+' '+big);});"
               "</script>");
  test::writeText(dir.file("out/probe.html"), probe);
  r = test::run(std::string(browser) + " --headless --no-sandbox --disable-gpu --disable-quic --no-first-run "
                "--disable-background-networking --disable-component-update --disable-sync "
                "--user-data-dir=" + shellQuote(dir.file("profile")) +
                " --enable-logging=stderr --v=0 --virtual-time-budget=5000 --dump-dom file://" +
                shellQuote(dir.file("out/probe.html")));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("data-probe=\"images-ok a "), std::string::npos) << r.out;
  EXPECT_EQ(r.err.find(":CONSOLE"), std::string::npos) << "the page logs nothing\n" << r.err;
}

}  // namespace
}  // namespace syv::app

// Small meshes, temporary folders and process runs for the converter's tests.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "app/model.h"

namespace syv::app::test {

// A fresh empty folder under the system's temporary folder, removed on destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }
  std::vector<std::string> names() const;  // sorted, hidden files included

 private:
  std::string path_;
};

// Host quad (a, b, c, d) as the plug-in lays it out: triangles (c, b, a) and
// (a, d, c), four own texture vertices (0,0) (1,0) (1,1) (0,1).
void addQuad(TriMesh& mesh, uint32_t a, uint32_t b, uint32_t c, uint32_t d, uint32_t material,
             uint32_t smoothing);

// An axis-aligned cube of side `size` centimetres, one quad per side,
// smoothing 0 (faceted) unless given, 12 triangles.
Model cubeModel(float size = 100.f, uint32_t smoothing = 0);

struct RunResult {
  int status = -1;
  std::string out, err;
};

// Runs a shell command line; stdout and stderr are captured separately.
RunResult run(const std::string& commandLine);

bool haveCommand(const std::string& name);
std::string readText(const std::string& path);
void writeText(const std::string& path, const std::string& text);
std::string shellQuote(const std::string& s);
// Occurrences of `word` in `text`, overlapping ones included.
size_t count(const std::string& text, const std::string& word);

// A 2x2 RGB PNG.
std::string tinyPng();
// A picture's pixels, row by row; empty when it cannot be read.
std::vector<std::array<int, 3>> readRgb(const std::string& file, int& width, int& height);

// Triangle count `assimp info` reports, or -1.
int assimpFaces(const std::string& file);
// The JSON chunk of a .glb file's bytes.
nlohmann::json glbJson(const std::string& bytes);
// gltf-validator's report, or null when node or the pinned validator is missing.
nlohmann::json validate(const std::string& file);

const std::string kProgram = std::string(SYV_BIN_DIR) + "/syvimport";
const std::string kData = SYV_TEST_DATA;

// The built syvimport with the real plug-in, run in a fresh folder of its own.
class ProgramTest : public testing::Test {
 protected:
  void SetUp() override {
    if (!std::filesystem::exists(kProgram) || !std::filesystem::exists(std::string(SYV_BIN_DIR) + "/libsyvimp.so"))
      GTEST_SKIP() << "syvimport or its plug-in is not built";
  }
  RunResult syvimport(const std::string& args) {
    return run("cd " + shellQuote(dir.path()) + " && " + shellQuote(kProgram) + " " + args);
  }
  std::string plant(const std::string& name) { return shellQuote(kData + "/" + name); }
  TempDir dir;
};

}  // namespace syv::app::test

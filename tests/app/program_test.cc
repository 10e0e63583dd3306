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

const std::string kProgram = std::string(SYV_BIN_DIR) + "/syvimport";
const std::string kData = SYV_TEST_DATA;

class Program : public testing::Test {
 protected:
  void SetUp() override {
    if (!std::filesystem::exists(kProgram))
      GTEST_SKIP() << "syvimport is not built (it needs the syvimp plug-in target)";
  }
  RunResult syvimport(const std::string& args) { return test::run(shellQuote(kProgram) + " " + args); }
  std::string plant(const std::string& name) { return shellQuote(kData + "/" + name); }
  TempDir dir;
};

size_t lineCount(const std::string& s) {
  size_t n = 0;
  for (char c : s) n += c == '\n';
  return n;
}

int assimpFaces(const std::string& file) {
  const RunResult r = test::run("assimp info " + shellQuote(file));
  std::smatch m;
  if (r.status != 0 || !std::regex_search(r.out, m, std::regex("Faces:\\s+(\\d+)"))) return -1;
  return std::atoi(m[1].str().c_str());
}

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
    EXPECT_EQ(lineCount(last), 1u) << r.err;
    EXPECT_NE(last.find(c.file), std::string::npos) << r.err;
    EXPECT_NE(last.find(c.words), std::string::npos) << r.err;
    EXPECT_EQ(test::readText(dir.file("out.glb")), "old") << "an existing output was replaced";
  }
  EXPECT_EQ(dir.names(),
            (std::vector<std::string>{"binary.syv", "empty.syv", "folder.syv", "out.glb"}));

  // A plant cut short: imported as far as it goes, or refused, but never a crash.
  const RunResult cut = syvimport(plant("app_truncated.syv") + " --stats");
  EXPECT_TRUE(cut.status == 0 || cut.status == 1) << cut.status << cut.err;
  if (cut.status == 1) {
    EXPECT_NE(cut.err.find("app_truncated.syv"), std::string::npos);
  }
}

TEST_F(Program, UsageAndOutputFailuresHaveTheirOwnStatus) {
  RunResult r = syvimport(plant("app_plant.syv") + " -o " + shellQuote(dir.file("p.stl")));
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("p.stl"), std::string::npos);
  EXPECT_EQ(syvimport(plant("app_plant.syv")).status, 2);
  EXPECT_EQ(syvimport("--help").status, 0);
  r = syvimport("--help");
  EXPECT_NE(r.out.find("metres"), std::string::npos) << "units belong in --help";
  r = syvimport("--version");
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("syvimport"), std::string::npos);

  r = syvimport(plant("app_plant.syv") + " -o " + shellQuote(dir.file("nowhere/p.glb")));
  EXPECT_EQ(r.status, 3);
  EXPECT_NE(r.err.find("nowhere"), std::string::npos) << r.err;
  r = syvimport(plant("app_plant.syv") + " -o " + shellQuote(dir.file("p.glb")) + " --stats-json " +
                shellQuote(dir.file("nowhere/s.json")));
  EXPECT_EQ(r.status, 3);
  EXPECT_TRUE(dir.names().empty()) << "nothing may be written when an output folder is missing";

  r = syvimport(plant("app_plant.syv") + " --stats --plugin " + shellQuote(dir.file("none.so")));
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("none.so"), std::string::npos);
}

TEST_F(Program, StatsDescribeTheHostMesh) {
  const RunResult r = syvimport(plant("app_plant.syv") + " --stats");
  ASSERT_EQ(r.status, 0) << r.err;
  const nlohmann::json s = nlohmann::json::parse(r.out);
  EXPECT_EQ(s["node"], "app_plant");
  const int triangles = s["triangles"];
  EXPECT_GT(triangles, 0);
  EXPECT_EQ(triangles % 2, 0) << "two triangles per quad";
  EXPECT_EQ(s["texture_vertices"].get<int>(), triangles * 2) << "four texture vertices per quad";
  int perMaterial = 0;
  for (const auto& m : s["materials"]) perMaterial += m["triangles"].get<int>();
  EXPECT_EQ(perMaterial, triangles);
  for (int k = 0; k < 3; ++k)
    EXPECT_LE(s["bounds"]["min"][k].get<double>(), s["bounds"]["max"][k].get<double>());
  EXPECT_TRUE(s["warnings"].is_array());
  EXPECT_GE(s["seconds"]["import"].get<double>(), 0.0);
  EXPECT_EQ(s["seconds"]["export"].get<double>(), 0.0);
  EXPECT_EQ(r.err.find('\r'), std::string::npos) << "no progress line when stderr is not a terminal";
}

TEST_F(Program, EveryFormatReadsBackWithTheStatisticsTriangleCount) {
  const std::string validator = std::string(SYV_SOURCE_DIR) + "/tools/validator";
  const bool canValidate = test::haveCommand("node") &&
                           std::filesystem::exists(validator + "/node_modules/gltf-validator");
  const bool canRead = test::haveCommand("assimp");
  for (const char* ext : {"glb", "gltf", "obj", "fbx"}) {
    const std::string out = dir.file(std::string("plant.") + ext);
    const std::string stats = dir.file(std::string("stats-") + ext + ".json");
    const RunResult r = syvimport(plant("app_plant.syv") + " -o " + shellQuote(out) +
                                  " --stats-json " + shellQuote(stats));
    ASSERT_EQ(r.status, 0) << ext << ": " << r.err;
    const nlohmann::json s = nlohmann::json::parse(test::readText(stats));
    EXPECT_GE(s["seconds"]["export"].get<double>(), 0.0);
    const int triangles = s["triangles"];
    if (std::string(ext) == "glb" || std::string(ext) == "gltf") {
      if (!canValidate) {
        std::cout << "[ SKIPPED  ] gltf-validator missing: " << out << " not validated\n";
        continue;
      }
      const RunResult v = test::run("node " + shellQuote(validator + "/validate.js") + " " +
                                    shellQuote(out));
      ASSERT_FALSE(v.out.empty()) << v.err;
      const nlohmann::json report = nlohmann::json::parse(v.out);
      EXPECT_EQ(report["errors"], 0) << report.dump();
      RecordProperty(std::string("validator_warnings_") + ext, report["warnings"].dump());
    } else if (canRead) {
      EXPECT_EQ(assimpFaces(out), triangles) << ext;
    } else {
      std::cout << "[ SKIPPED  ] assimp-utils missing: " << out << " not read back\n";
    }
  }
  // No temporary files are left beside the outputs.
  for (const std::string& name : dir.names()) EXPECT_NE(name[0], '.') << name;
}

TEST_F(Program, HiddenPlantConvertsEmptyWithAWarningThatSaysWhy) {
  const std::string out = dir.file("hidden.glb");
  RunResult r = syvimport(plant("app_hidden.syv") + " -o " + shellQuote(out) + " --stats");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(std::filesystem::exists(out));
  EXPECT_NE(r.err.find("Warning: "), std::string::npos);
  EXPECT_NE(r.err.find("\"Camera\""), std::string::npos) << r.err;
  const nlohmann::json s = nlohmann::json::parse(r.out);
  EXPECT_EQ(s["triangles"], 0);
  ASSERT_FALSE(s["warnings"].empty());
  EXPECT_TRUE(s["bounds"].is_null());

  r = syvimport(plant("app_hidden.syv") + " -o " + shellQuote(out) + " --quiet");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "") << "--quiet shows errors only";
}

TEST_F(Program, ProgressLineOnlyOnATerminal) {
  if (!test::haveCommand("script")) GTEST_SKIP() << "no 'script' to give the program a terminal";
  const std::string cmd = shellQuote(kProgram) + " " + plant("app_plant.syv") + " -o " +
                          shellQuote(dir.file("p.glb"));
  RunResult r = test::run("script -qec " + shellQuote(cmd) + " /dev/null");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find('\r'), std::string::npos) << "a terminal gets an updating line";
  EXPECT_NE(r.out.find('%'), std::string::npos);
  r = test::run("script -qec " + shellQuote(cmd + " --no-progress") + " /dev/null");
  EXPECT_EQ(r.out.find('%'), std::string::npos) << r.out;
}

TEST_F(Program, InterruptCancelsAndLeavesNoOutput) {
  // Big enough to be still importing when the signal comes.
  std::string big = test::readText(kData + "/app_plant.syv");
  big.replace(big.find("Segments {8, 1, 100}"), 20, "Segments {400, 1, 1000}");
  big.replace(big.find("Branch_Num {3, 1, 100}"), 22, "Branch_Num {900, 1, 1000}");
  test::writeText(dir.file("big.syv"), big);
  const std::string out = dir.file("big.glb");
  const RunResult r = test::run(shellQuote(kProgram) + " " + shellQuote(dir.file("big.syv")) +
                                " -o " + shellQuote(out) + " & pid=$!; sleep 0.3; kill -INT $pid; wait $pid");
  if (r.status == 0) GTEST_SKIP() << "the plant converted before the signal came";
  EXPECT_EQ(r.status, 130) << r.err;
  EXPECT_NE(r.err.find("cancelled"), std::string::npos) << r.err;
  EXPECT_EQ(dir.names(), (std::vector<std::string>{"big.syv"}));
}

}  // namespace
}  // namespace syv::app

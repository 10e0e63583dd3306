// End-to-end imports of small plant files through loadFile. What the test
// plants give is kept by the recorded outputs; these are the cases they cannot see.
#include <gtest/gtest.h>

#include <sstream>

#include "scene_fixtures.h"

namespace syv::test {
namespace {

// A "Model" block around the given "Struct" blocks.
std::string model(const std::string& structs) { return "Model {\n" + structs + "}\n"; }

std::string children(std::initializer_list<const char*> list) { return names("Children", list); }

const std::string kCamera = "Camera {\n}\n";
const std::string kBox = "Primitive {\nType \"Box\"\n}\n";

struct Loaded {
  bool ok = false;
  ImportStatus status = ImportStatus::kNotRun;
  uint64_t quads = 0;
};

Loaded load(const std::string& name, const std::string& text,
            ImportOptions options = ImportOptions()) {
  PlantImport builder(options);
  CountingSink sink;
  Loaded r;
  r.ok = builder.loadFile(hostContext(), writeTemp(name, text), sink);
  r.status = builder.status();
  r.quads = sink.quads;
  return r;
}

TEST(Import, PrimitiveBelowCameraInsideNestedGroups) {
  struct Recording : PlantImport {
    bool setBackgroundColor(const float (&rgb)[3]) override {
      background.assign(rgb, rgb + 3);
      return true;
    }
    bool setFrameCount(int32_t frames) override {
      frameCounts.push_back(frames);
      return true;
    }
    std::vector<float> background;
    std::vector<int32_t> frameCounts;
  };
  LogRecorder log;
  Recording builder;
  Mesh mesh;
  ASSERT_TRUE(builder.loadFile(hostContext(), dataPath("scene_primitive.syv"), mesh));
  // Its box, material and place are kept by the recorded outputs.
  EXPECT_EQ(builder.background, (std::vector<float>{1.0f, static_cast<float>(128.0 / 255), 0.0f}));
  // "Frames" counts only in a "Queue" block.
  EXPECT_EQ(builder.frameCounts, (std::vector<int32_t>{25}));
}

TEST(Import, OnlyCameraSubtreesProduceGeometryRootsInByteOrder) {
  const std::pair<std::string, uint64_t> cases[] = {
      // A lone non-camera root loads but is hidden with everything below it.
      {record("Bush", children({"Ball"})) + record("Ball", kBox), 0},
      // A camera that is someone's child is no root: the hiding root wins.
      {record("Group", children({"Camera"})) + record("Camera", children({"Ball"}) + kCamera) +
           record("Ball", kBox), 0},
      // A record below a hidden root and below the camera shows under the camera.
      {record("Bush", children({"Ball"})) + record("Camera", children({"Ball"}) + kCamera) +
           record("Ball", kBox), 6},
  };
  for (const auto& [structs, quads] : cases) {
    const Loaded r = load("subtree", model(structs));
    EXPECT_TRUE(r.ok) << structs;
    EXPECT_EQ(r.quads, quads) << structs;
  }
  PlantImport builder;
  ASSERT_TRUE(builder.readScene(
      hostContext(),
      writeTemp("order", model(record("b", kCamera) + record("B", kCamera) + record("a", kCamera)))));
  std::vector<std::string> roots;
  for (const SceneNode* n : builder.world().children()) roots.push_back(n->name());
  EXPECT_EQ(roots, (std::vector<std::string>{"B", "a", "b"}));
}

TEST(Import, FailureTable) {
  LogRecorder log;
  PlantImport builder;
  CountingSink sink;
  EXPECT_FALSE(builder.loadFile(hostContext(), dataPath("scene_missing.syv"), sink));
  EXPECT_EQ(builder.status(), ImportStatus::kOpenFailed);
  EXPECT_TRUE(log.errors.empty() && log.warnings.empty());
  EXPECT_EQ(sink.finishes, 0);

  EXPECT_EQ(load("empty", "").status, ImportStatus::kNoKeyFrame);
  EXPECT_EQ(load("no_model", "Version 4.0\nUnit {\nStruct {\nName \"A\"\n}\n}\n").status,
            ImportStatus::kNoKeyFrame);
  EXPECT_TRUE(log.errors.empty());

  EXPECT_EQ(load("no_root", model(record("X", children({"Y"})) + record("Y", children({"X"}))))
                .status,
            ImportStatus::kNoRoot);
  EXPECT_TRUE(LogRecorder::has(log.errors, "IMPORT: No Root Object(s) found!"));

  log.errors.clear();
  const Loaded r = load("bad_root", model(record("Cam", "Camera {\nBranches {\n\"T\"\n}\n}\n") +
                                          record("T", kBox)));
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.status, ImportStatus::kRootNotCreated);
  EXPECT_TRUE(LogRecorder::has(log.errors,
                               "Found Branch/Rib Link in non Tree/Horn Object \"Cam\""));
}

TEST(Import, OutOfRangePlacementsLeaveTheirSubtreeOut) {
  LogRecorder log;
  PlantImport builder;
  Mesh mesh;
  const std::string far = "Transform {\nTranslation {1e999, 0, 0} {0, 0, 0} {0, 0, 0}\n}\n";
  ASSERT_TRUE(builder.loadFile(
      hostContext(),
      writeTemp("far", model(record("Cam", children({"Far", "Near"}) + kCamera) +
                             record("Far", far + children({"Below"}) + kBox) +
                             record("Below", kBox) + record("Near", kBox))),
      mesh));
  EXPECT_EQ(mesh.faceCount(), 6u);
  for (const Vector3& v : mesh.vertices()) EXPECT_TRUE(v.isFinite());
  EXPECT_TRUE(LogRecorder::has(log.warnings, "node 'Far': placement is not finite"));
}

TEST(Import, RecordsNamingEachOtherInLoopsAreCreatedOnce) {
  LogRecorder log;
  // A <-> B below the camera, a self-naming S, and a longer loop P -> Q -> R -> P.
  const Loaded r =
      load("loops", model(record("Cam", children({"A", "P", "S"}) + kCamera) +
                          record("A", children({"B"}) + kBox) + record("B", children({"A"}) + kBox) +
                          record("S", children({"S"}) + kBox) + record("P", children({"Q"}) + kBox) +
                          record("Q", children({"R"}) + kBox) + record("R", children({"P"}) + kBox)));
  EXPECT_TRUE(r.ok);
  // Six records with a box each as their simple shape, each visited once.
  EXPECT_EQ(r.quads, 36u);
  int loops = 0;
  for (const std::string& w : log.warnings) loops += w.find("ancestors") != std::string::npos;
  EXPECT_EQ(loops, 3);
}

TEST(Import, DeepHierarchiesNeedNoDeepStack) {
  // Records nested 30000 levels deep, and a model nested in 100000 groups.
  const int depth = 30000;
  std::ostringstream text;
  text << "Model {\n" << record("Cam", children({"N0"}) + kCamera);
  for (int i = 0; i < depth; ++i) {
    text << "Struct {\nName \"N" << i << "\"\nTransform {\nTranslation {0.001, -1, 1} {0, -1, 1} {0, -1, 1}\n}\n";
    if (i + 1 < depth)
      text << "Children {\n\"N" << i + 1 << "\"\n}\n";
    else
      text << kBox;
    text << "}\n";
  }
  text << "}\n";
  PlantImport builder;
  Mesh mesh;
  ASSERT_TRUE(builder.loadFile(hostContext(), writeTemp("deep", text.str()), mesh));
  ASSERT_EQ(mesh.faceCount(), 6u);
  Vector3 lo, hi;
  mesh.bounds(lo, hi);
  EXPECT_NEAR(lo.x, depth * 0.1 - 50.0, 1e-6);

  std::string nested;
  for (int i = 0; i < 100000; ++i) nested += "Queue {\n";
  nested += model(record("Cam", children({"B"}) + kCamera) + record("B", kBox));
  for (int i = 0; i < 100000; ++i) nested += "}\n";
  EXPECT_EQ(load("nested", nested).status, ImportStatus::kLimitExceeded);
  ImportOptions deep;
  deep.maxDepth = 100010;
  EXPECT_EQ(load("nested", nested, deep).quads, 6u);
}

TEST(Import, FailedReservationCancelAndBudgetReachTheResult) {
  LogRecorder log;
  PlantImport builder;
  CountingSink refusing;
  refusing.refuseAfter = 13;
  EXPECT_FALSE(builder.loadFile(hostContext(), dataPath("scene_branches.syv"), refusing));
  EXPECT_EQ(builder.status(), ImportStatus::kSinkRefused);
  EXPECT_EQ(refusing.finishes, 1);

  ImportOptions small;
  small.maxQuads = 20;
  PlantImport budgeted(small);
  CountingSink sink;
  EXPECT_FALSE(budgeted.loadFile(hostContext(), dataPath("scene_branches.syv"), sink));
  EXPECT_EQ(budgeted.status(), ImportStatus::kBudgetExceeded);
  EXPECT_TRUE(LogRecorder::has(log.errors, "more than 40 triangles"));
  EXPECT_LE(sink.quads, 20u);

  // The first query comes from object creation; three creations ask before
  // the fourth query, from the traversal.
  for (const uint64_t at : {1, 4}) {
    ScriptedProgress progress;
    progress.cancelAt = at;
    PlantImport cancelled;
    CountingSink out;
    EXPECT_FALSE(cancelled.loadFile(hostContext(), dataPath("scene_branches.syv"), out));
    EXPECT_EQ(cancelled.status(), ImportStatus::kCancelled) << at;
    EXPECT_EQ(at == 1 ? out.quads : uint64_t(out.finishes), at == 1 ? 0u : 1u) << at;
    EXPECT_EQ(progress.begins, progress.ends) << at;
  }
}

}  // namespace
}  // namespace syv::test

// The traversal over hand-built scenes: visibility, placements, materials,
// own meshes, and the stops (refused sink, budget, cancel).
#include <gtest/gtest.h>

#include <memory>

#include "core/mesh/primitives.h"
#include "core/scene/traversal.h"
#include "scene_fixtures.h"

namespace syv::test {
namespace {

// Writes one unit box and places every child of `kind` at each frame.
class Placer : public Component {
 public:
  uint32_t linkKind(uint32_t) const override { return kind; }
  uint32_t generate(const EvaluationContext& context, MeshSink& sink, uint32_t flags,
                    ChildGroups& groups) override {
    seenGrowth.push_back(context.number(kIdGrowth));
    if (box && !generateBox(sink, Vector3(1, 1, 1), 7)) return 0;
    if ((flags & kind) == 0) return 0;
    ChildGroup g;
    g.kind = kind;
    for (const Matrix4& f : frames) {
      ChildPlacement p;
      p.frame = f;
      p.valid = 1;
      p.growth = 0.5;
      g.placements.push_back(p);
    }
    groups.push_back(g);
    return kind;
  }
  uint32_t ownMeshMode() const override { return ownMesh ? 1 : 0; }
  bool buildOwnMesh(const EvaluationContext&, Mesh& mesh) const override {
    transformMesh(mesh, Matrix4::scale(2.0));
    return true;
  }

  uint32_t kind = kLinkBranches;
  bool box = true;
  bool ownMesh = false;
  std::vector<Matrix4> frames{Matrix4()};
  mutable std::vector<double> seenGrowth;
};

struct TraversalTest : ::testing::Test {
  SceneNode* node(const std::string& name, Placer** placer = nullptr) {
    nodes.push_back(std::make_unique<SceneNode>(name));
    if (placer != nullptr) {
      auto p = std::make_unique<Placer>();
      *placer = p.get();
      nodes.back()->setComponent(std::move(p));
    }
    return nodes.back().get();
  }
  SceneNode* boxNode(const std::string& name) {
    SceneNode* n = node(name);
    auto mesh = std::make_unique<Mesh>();
    generateBox(*mesh, Vector3(1, 1, 1), 3);
    n->setMesh(std::move(mesh));
    return n;
  }
  TraversalResult run(MeshSink& sink, TraversalLimits limits = TraversalLimits()) {
    TraversalState state;
    state.sink = &sink;
    return traverse(world, state, limits);
  }

  LogRecorder log;
  World world;
  std::vector<std::unique_ptr<SceneNode>> nodes;
};

TEST_F(TraversalTest, WorldVisitsItsChildrenOnceUnmovedHiddenAndPrimitiveChildrenAside) {
  Placer* p = nullptr;
  SceneNode* hidden = node("hidden", &p);
  hidden->setHidden(true);
  hidden->appendChild(boxNode("under hidden"));
  SceneNode* prim = boxNode("prim");
  prim->appendChild(boxNode("under prim"));
  world.appendChild(hidden);
  world.appendChild(prim);
  world.appendChild(boxNode("b"));
  Mesh mesh;
  EXPECT_TRUE(run(mesh).ok());
  EXPECT_EQ(mesh.faceCount(), 12u);
  EXPECT_TRUE(p->seenGrowth.empty());
  Vector3 lo, hi;
  mesh.bounds(lo, hi);
  EXPECT_EQ(hi, Vector3(0.5, 0.5, 0.5));
  // Root material 0 stamps geometry that has no material of its own.
  for (const Face& f : mesh.faces()) EXPECT_EQ(f.material, 0);
}

TEST_F(TraversalTest, PlacementsMoveChildrenAndZeroFramesAreSkipped) {
  Placer* p = nullptr;
  SceneNode* parent = node("parent", &p);
  p->box = false;
  p->frames = {Matrix4::translation(10, 0, 0), Matrix4::zero(),
               Matrix4::scale(1e-6) * Matrix4::translation(0, 0, 1),
               Matrix4::translation(0, 20, 0)};
  Placer* q = nullptr;
  SceneNode* child = node("child", &q);
  q->frames.clear();
  parent->appendChild(child);
  parent->setMaterialId(5);
  world.appendChild(parent);
  ScriptedProgress progress;
  Mesh mesh;
  EXPECT_TRUE(run(mesh).ok());
  ASSERT_EQ(mesh.faceCount(), 12u);
  Vector3 lo, hi;
  mesh.bounds(lo, hi);
  EXPECT_EQ(lo, Vector3(-0.5, -0.5, -0.5));
  EXPECT_EQ(hi, Vector3(10.5, 20.5, 0.5));
  for (const Face& f : mesh.faces()) EXPECT_EQ(f.material, 5);
  // Valid placements hand their values down.
  EXPECT_EQ(q->seenGrowth, (std::vector<double>{0.5, 0.5}));
  // World, parent, then each child at half of the parent's range.
  EXPECT_EQ(progress.updates, (std::vector<double>{0.0, 0.0, 0.0, 0.5}));
}

TEST_F(TraversalTest, OwnMeshCollectsChildrenAndIsEmittedOnce) {
  Placer* p = nullptr;
  SceneNode* deformer = node("deformer", &p);
  p->ownMesh = true;
  p->frames = {Matrix4::translation(100, 0, 0)};
  deformer->setTransform(Matrix4::translation(0, 0, -5));  // node keeps the inverse
  deformer->appendChild(boxNode("inside"));
  p->kind = kLinkOwnFrame;
  world.appendChild(deformer);
  Mesh mesh;
  EXPECT_TRUE(run(mesh).ok());
  // The deformer's own box goes to the discarding sink; the child's box is
  // placed unmoved into the own mesh, doubled, and moved by the node.
  ASSERT_EQ(mesh.faceCount(), 6u);
  Vector3 lo, hi;
  mesh.bounds(lo, hi);
  EXPECT_EQ(lo, Vector3(-1, -1, 4));
  EXPECT_EQ(hi, Vector3(1, 1, 6));
  // The child took the inherited id on its way into the own mesh; the own
  // mesh keeps it.
  deformer->setMaterialId(9);
  Mesh again;
  EXPECT_TRUE(run(again).ok());
  for (const Face& f : again.faces()) EXPECT_EQ(f.material, 9);
}

TEST_F(TraversalTest, StopsAreReportedAndNothingIsWrittenAfterThem) {
  Placer* p = nullptr;
  SceneNode* parent = node("parent", &p);
  p->frames.assign(10, Matrix4());
  parent->appendChild(boxNode("leaf"));
  world.appendChild(parent);

  CountingSink refusing;
  refusing.refuseAfter = 30;
  TraversalResult r = run(refusing);
  EXPECT_EQ(r.status, TraversalStatus::kSinkRefused);
  EXPECT_EQ(refusing.quads, 30u);
  EXPECT_TRUE(LogRecorder::has(log.errors, "refused"));

  CountingSink budgeted;
  TraversalLimits limits;
  limits.maxQuads = 40;
  r = run(budgeted, limits);
  EXPECT_EQ(r.status, TraversalStatus::kBudgetExceeded);
  EXPECT_EQ(budgeted.quads, 36u);
  EXPECT_TRUE(LogRecorder::has(log.errors, "more than 80 triangles"));

  limits = TraversalLimits();
  limits.maxVisits = 5;
  EXPECT_EQ(run(budgeted, limits).status, TraversalStatus::kBudgetExceeded);

  ScriptedProgress progress;
  progress.cancelAt = 2;
  limits = TraversalLimits();
  limits.cancelInterval = 1;
  CountingSink cancelled;
  r = run(cancelled, limits);
  EXPECT_EQ(r.status, TraversalStatus::kCancelled);
  EXPECT_LT(cancelled.quads, 66u);
}

}  // namespace
}  // namespace syv::test

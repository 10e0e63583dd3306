// ClassicTree (node distribution, stem path, sweep, child placements) and
// ClassicHorn (turtle path, tube, stamps, ribs), on small cases worked out by hand.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "core/components/classic_horn.h"
#include "core/components/classic_tree.h"
#include "core/base/random.h"
#include "core/components/limits.h"
#include "tests/components/fixtures.h"

namespace syv {
namespace {

ClassicTree plainTree(double branches, double segments) {
  ClassicTree t;
  t.scale = 100.0;
  t.stemSegments = segments;
  t.branchCount = branches;
  t.radius = constant(0.5);
  t.deviation = t.kinks = t.divergence = t.branchAngle = constant(0);
  t.phototropism = t.gravitropism = t.profile = constant(0);
  t.nodeDistribution = t.childDensity = t.childGrowth = t.branchScale = constant(1);
  t.treeMode = 6;
  return t;
}

double xAngle(const Matrix4& m) { return std::atan2(m.m[0][1], m.m[0][0]); }

TEST(TreeDistribution, PositionsByNodeMass) {
  auto expectPositions = [](std::vector<double> got, std::vector<double> want) {
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) EXPECT_NEAR(got[i], want[i], 1e-8) << i;
  };
  expectPositions(distributeNodes(constant(1), 3, 0, 1), {0, 0.25, 0.5, 0.75, 1});
  expectPositions(distributeNodes(CurveParameter(0, 1, 0, 1, "id"), 1, 0, 1),
                  {0, std::sqrt(0.5), 1});
  expectPositions(distributeNodes(constant(1), 1, 4, 0.5), {0, 0.25, 0.5, 0.75, 1});
  expectPositions(distributeNodes(constant(1), 1, 3, 0.5), {0, 0.5, 1});  // density unused
  expectPositions(distributeNodes(constant(1), 1.5, 0, 1), {0, 0.4, 0.8});
  // A corner at 0.3: mass 0.15 before it, 0.85 in all.
  CurveParameter ramp(0, 1, std::map<double, double>{{0, 0}, {0.3, 1}, {1, 1}}, true, "id");
  ramp.setPointKind(kCorner);
  expectPositions(distributeNodes(ramp, 1, 0, 1), {0, 0.575, 1});
  EXPECT_TRUE(distributeNodes(constant(0), 3, 0, 1).empty());
  EXPECT_TRUE(distributeNodes(constant(1), -0.5, 0, 1).empty());
}

TEST(TreePlacements, HalfGrownTreeAndItsStem) {
  ClassicTree tree = plainTree(2, 4);  // nodes at 0, 1/3, 2/3, 1
  const MeshShape shape(circles({{4, true}}));
  ChildGroups groups;
  Mesh sink;
  EXPECT_EQ(tree.generate(nodeContext(0.5, 1, 1, &shape), sink, 4 | 8, groups), 12u);
  ASSERT_EQ(groups[0].placements.size(), 1u);  // 2/3 is past the visible end
  EXPECT_NEAR(groups[0].placements[0].t, 1.0 / 3, 1e-9);
  const ChildPlacement& tip = groups[1].placements[0];
  EXPECT_NEAR(tip.frame.position().z, 50.0, 1e-6);  // blended between 33.3 and 66.7
  // Rings at 0, 1/3 and the blended end: 3 x 4 vertices, 2 x 4 quads.
  EXPECT_EQ(sink.vertexCount(), 12u);
  EXPECT_EQ(sink.faceCount(), 8u);
  EXPECT_NEAR(sink.vertex(8).z, 50.0, 1e-6);

  // A node exactly at the visible end carries no branch; the branch angle is
  // read at the absolute stem position (0.25), not the grown one (0.5).
  ClassicTree tilted = plainTree(3, 5);
  tilted.branchAngle = CurveParameter(0, 4, 0, 1, "id");
  groups = childrenOf(tilted, nodeContext(0.5), 4);
  ASSERT_EQ(groups[0].placements.size(), 1u);
  EXPECT_NEAR(groups[0].placements[0].t, 0.25, 1e-9);
  EXPECT_NEAR(std::acos(groups[0].placements[0].frame.m[2][2]), 0.25, 1e-9);

  // A fractional piece count: branches at 0.4 and 0.8, the stem still ends at 1.
  ClassicTree fractional = plainTree(1.5, 3);
  groups = childrenOf(fractional, nodeContext(), 4 | 8);
  ASSERT_EQ(groups[0].placements.size(), 2u);
  EXPECT_NEAR(groups[0].placements[1].frame.position().z, 80.0, 1e-6);
  EXPECT_NEAR(groups[1].placements[0].frame.position().z, 100.0, 1e-6);
}

TEST(TreePlacements, DivergenceTurnsAndModes) {
  struct Case {
    uint16_t divergenceMode, treeMode;
    double divergence, first, second;  // X-row angles of the first two branches
  } cases[] = {
      {0, 6, 0.5, -0.5, -1.0},    // Rz(-a), no flip
      {2, 0, 0.0, kPi, 0.0},      // constant pi: alternate, flipped frames
      {2, 2, 0.0, 0.0, kPi},      // tree mode 2: no base turn
      {1, 6, 0.5, -kPi / 2 - 0.5, -kPi / 2 - 1.0},  // base turn pi/2
  };
  for (const Case& c : cases) {
    ClassicTree tree = plainTree(3, 5);
    tree.divergenceMode = c.divergenceMode;
    tree.treeMode = c.treeMode;
    tree.divergence = constant(c.divergence);
    const ChildGroups groups = childrenOf(tree, nodeContext(), 4);
    ASSERT_GE(groups[0].placements.size(), 2u);
    auto same = [](double a, double b) { return std::fabs(std::remainder(a - b, 2 * kPi)) < 1e-9; };
    EXPECT_TRUE(same(xAngle(groups[0].placements[0].frame), c.first)) << c.treeMode;
    EXPECT_TRUE(same(xAngle(groups[0].placements[1].frame), c.second)) << c.treeMode;
  }
}

TEST(TreePlacements, HandedDownValues) {
  for (uint16_t mode : {0, 6}) {
    ClassicTree tree = plainTree(3, 5);
    tree.treeMode = mode;
    tree.childDensity = constant(0.01);
    tree.radius = constant(0.8);
    const ChildGroups groups = childrenOf(tree, nodeContext(1, 2, 0.5), 4);
    ASSERT_FALSE(groups[0].placements.empty());
    const ChildPlacement& p = groups[0].placements[0];
    EXPECT_DOUBLE_EQ(p.density, mode == 0 ? 0.025 : 0.05);  // clamped before the product
    EXPECT_DOUBLE_EQ(p.thickness, 1.0);
  }
}

TEST(TreeGates, NothingWhenSwitchedOffOrUngrown) {
  const MeshShape shape(circles({{4, true}}));
  for (int k = 0; k < 4; ++k) {
    ClassicTree tree = plainTree(3, 5);
    double growth = 1;
    int32_t iteration = 0;
    if (k == 0) { tree.iterationMask = {0x1}; iteration = 1; }
    if (k == 1) growth = 0;
    if (k == 2) growth = std::nan("");
    if (k == 3) tree.lengthFraction = 1e-9;
    ChildGroups groups;
    Mesh sink;
    EXPECT_EQ(tree.generate(nodeContext(growth, 1, 1, &shape, iteration), sink, 28, groups), 0u);
    EXPECT_TRUE(groups.empty());
    EXPECT_EQ(sink.vertexCount(), 0u);
  }
}

TEST(TreeFaults, HugeCountsAreBoundedAndNonFiniteIsSkipped) {
  LogRecorder log;
  ClassicTree huge = plainTree(1e12, 1e12);
  Path path;
  std::vector<StemNode> nodes;
  ASSERT_TRUE(huge.buildPath(nodeContext(), path, nodes));
  EXPECT_LE(double(path.size()), kMaxPathPoints);
  ChildGroups groups;
  Mesh sink;
  huge.generate(nodeContext(), sink, 4, groups);
  EXPECT_EQ(groups[0].placements.size(), size_t(kMaxChildCount));
  EXPECT_FALSE(log.warnings.empty());

  ClassicTree none = plainTree(std::nan(""), -5);
  uint32_t served = 0;
  EXPECT_TRUE(childrenOf(none, nodeContext(), 4, &served).at(0).placements.empty());
  EXPECT_EQ(served, 4u);

  const MeshShape shape(circles({{4, true}}));
  ClassicTree infinite = plainTree(3, 5);
  infinite.stemLength = INFINITY;
  groups.clear();
  EXPECT_EQ(infinite.generate(nodeContext(1, 1, 1, &shape), sink, 28, groups), 0u);
  EXPECT_EQ(sink.vertexCount(), 0u);

  ClassicTree badScale = plainTree(3, 5);
  badScale.branchScale = CurveParameter(0, 1, 1, 1, "x/0");
  groups.clear();
  const size_t before = log.warnings.size();
  badScale.generate(nodeContext(1, 1, 1, &shape), sink, 4, groups);
  EXPECT_TRUE(groups[0].placements.empty());
  EXPECT_EQ(log.warnings.size() - before, 3u);
  EXPECT_GT(sink.vertexCount(), 0u);  // the stem itself is sound
  for (const Vector3& v : sink.vertices()) EXPECT_TRUE(v.isFinite());
}

TEST(TreeStem, BentAndSplineStems) {
  ClassicTree tree = plainTree(3, 9);
  tree.deviation = constant(1);
  tree.divergence = constant(1.0);
  tree.kinks = CurveParameter(0, 0.2, 0.3, 0.3, "id");  // clamped to its range: 0.2
  Path path;
  std::vector<StemNode> nodes;
  ASSERT_TRUE(tree.buildPath(nodeContext(), path, nodes));
  ASSERT_EQ(path.size(), 9u);
  double length = 0, sideways = 0;
  for (size_t i = 1; i < path.size(); ++i) {
    EXPECT_GT(path[i].t, path[i - 1].t);
    const Vector3 step = path[i].frame.position() - path[i - 1].frame.position();
    length += step.length();
    sideways = std::max(sideways, std::hypot(path[i].frame.position().x, path[i].frame.position().y));
    EXPECT_GT(path[i].frame.row(2).dot(step.normalized()), 0.5);
  }
  // Tilts keep each segment's length; the five plain nodes (the tip included)
  // add sideways steps of 0.2 segment lengths each.
  EXPECT_GT(sideways, 10.0);
  EXPECT_NEAR(length, 100.0 * (5 * std::sqrt(1.04) + 3) / 8, 1e-6);

  // A spline stem along X.
  tree = plainTree(1, 3);
  tree.stemSpline = {{0.0, {0, 0, 0}}, {1.0, {2, 0, 0}}};
  ASSERT_TRUE(tree.buildPath(nodeContext(), path, nodes));
  EXPECT_NEAR(path.back().frame.position().x, 200.0, 1e-9);
  for (const PathPoint& p : path) EXPECT_NEAR(p.frame.row(2).x, 1.0, 1e-9);
  // Three points on the Z axis count as straight: stemLength decides the height.
  tree.stemSpline = {{0.0, {0, 0, 0}}, {0.5, {0, 0, 5}}, {1.0, {0, 0, 9}}};
  tree.stemLength = 2;
  ASSERT_TRUE(tree.buildPath(nodeContext(), path, nodes));
  EXPECT_NEAR(path.back().frame.position().z, 200.0, 1e-9);
}

// A half-grown stem is framed only up to its growth: frames and random draws as the whole stem's.
TEST(TreeStem, GrownPartFramedAsTheWholeStem) {
  ClassicTree tree = plainTree(5, 40);
  tree.gravitropism = CurveParameter(0, 1, 0.1, 0.3, "x*rnd(1)");
  Path whole, grown;
  std::vector<StemNode> nodes;
  sharedRandom().seed(7);
  ASSERT_TRUE(tree.buildPath(nodeContext(0.3), whole, nodes));
  const uint32_t next = sharedRandom().nextWord();
  sharedRandom().seed(7);
  ASSERT_TRUE(tree.buildPath(nodeContext(0.3), grown, nodes, true));
  EXPECT_EQ(sharedRandom().nextWord(), next);
  ASSERT_TRUE(grown.size() < whole.size() / 2 && grown.end()[-2].t < 0.3 && grown.back().t >= 0.3);
  EXPECT_EQ(std::memcmp(grown.data(), whole.data(), grown.size() * sizeof(PathPoint)), 0);

  // A divergence that draws is read at every node, also where nothing can bend.
  tree = plainTree(5, 40);
  tree.divergence = CurveParameter(0, 1, 0.1, 0.3, "x*rnd(1)");
  uint32_t after[2];
  for (int kinks = 0; kinks < 2; ++kinks) {
    tree.kinks = constant(kinks);
    sharedRandom().seed(7);
    ASSERT_TRUE(tree.buildPath(nodeContext(0.3), whole, nodes, true));
    after[kinks] = sharedRandom().nextWord();
  }
  EXPECT_EQ(after[0], after[1]);
}

ClassicHorn straightHorn(double segments, double length) {
  ClassicHorn h;
  h.scale = 100.0;
  h.segments = segments;
  h.hornLength = length;
  h.stepFactor = 1.0;
  h.radius = constant(0.5);
  h.bendX = h.bendY = h.bendZ = h.shiftX = h.shiftY = h.twist = h.ribTwist = constant(0);
  h.step = h.ribScale = constant(1);
  h.profile = constant(0);
  return h;
}

Path pathOf(const ClassicHorn& h) {
  return buildHornPath(h.bendX, h.bendY, h.bendZ, h.shiftX, h.shiftY, h.step, h.twist,
                       h.ribScale, h.segments, h.hornLength, h.stepFactor);
}

TEST(HornPath, StraightArcAndTwist) {
  ClassicHorn h = straightHorn(4, 4);
  Path path = pathOf(h);
  ASSERT_EQ(path.size(), 5u);
  for (size_t i = 0; i < 5; ++i) {
    EXPECT_DOUBLE_EQ(path[i].t, 0.25 * i);
    EXPECT_NEAR((path[i].frame.position() - Vector3(0, 0, i)).length(), 0.0, 1e-12);
  }
  // A constant bendX turns every step by c * ls towards +Y in the YZ plane;
  // the first step already moves along the turned axis.
  const double c = 0.3;
  h.bendX = constant(c);
  path = pathOf(h);
  for (size_t i = 0; i < 5; ++i) {
    EXPECT_NEAR(path[i].frame.m[2][1], std::sin(c * i), 1e-12);
    EXPECT_NEAR(path[i].frame.m[2][2], std::cos(c * i), 1e-12);
  }
  EXPECT_NEAR((path[1].frame.position() - Vector3(0, std::sin(c), std::cos(c))).length(), 0, 1e-12);
  // The twist turns the emitted frames only: the turtle, and so every
  // position, stays where it was.
  ClassicHorn twisted = h;
  twisted.twist = constant(0.7);
  const Path turned = pathOf(twisted);
  for (size_t i = 0; i < 5; ++i)
    EXPECT_NEAR((path[i].frame.position() - turned[i].frame.position()).length(), 0.0, 1e-12);
  EXPECT_NEAR(turned[0].frame.m[0][1], -std::sin(0.7), 1e-12);
  // Half a segment leaves a single point at t = 0, not 0 / 0.
  h.segments = 0.5;
  path = pathOf(h);
  ASSERT_EQ(path.size(), 1u);
  EXPECT_EQ(path[0].t, 0.0);
}

TEST(HornGenerate, TubeRibsTipAndBase) {
  ClassicHorn h = straightHorn(4, 4);
  h.ribScale = constant(2);
  MeshShape circle(circles({{4, true}}));
  const EvaluationContext c = nodeContext(0.5, 0.7, 0.3, &circle);
  Mesh mesh;
  ChildGroups groups;
  // The tube and the ribs' places are kept by comp_horn's recorded outputs.
  EXPECT_EQ(h.generate(c, mesh, kLinkTip | kLinkOwnFrame, groups), 28u);

  ASSERT_EQ(groups.size(), 3u);
  const ChildGroup& ribs = groups[0];
  ASSERT_EQ(ribs.placements.size(), 3u);  // inner points only
  for (uint32_t k = 0; k < 3; ++k) {
    const ChildPlacement& p = ribs.placements[k];
    EXPECT_NEAR(p.frame.position().z, 100.0 * (k + 1), 1e-9);  // path lengths in file units
    // Turned by -90 degrees about X and scaled by ribScale: Z along +Y.
    EXPECT_NEAR((p.frame.row(2) - Vector3(0, 2, 0)).length(), 0.0, 1e-12);
    EXPECT_DOUBLE_EQ(p.density, 0.3);  // the node's values are handed down
  }
  EXPECT_NEAR(groups[1].placements.at(0).frame.position().z, 400.0, 1e-9);

  // Without any asked kind the rib group is still there, and nothing else.
  uint32_t served = 0;
  groups = childrenOf(h, c, 0, &served);
  EXPECT_EQ(served, uint32_t(kLinkBranches));
  ASSERT_EQ(groups.size(), 1u);
  EXPECT_EQ(groups[0].placements.size(), 3u);
}

// A path of curves that draw nothing is built once; other curves build it
// again, and a random curve still draws at every placement.
TEST(HornGenerate, PathKeptWhileItsCurvesStay) {
  ClassicHorn h = straightHorn(4, 4);
  MeshShape circle(circles({{4, true}}));
  const EvaluationContext c = nodeContext(0.5, 0.7, 0.3, &circle);
  auto tip = [&](ClassicHorn& horn) {
    return childrenOf(horn, c, kLinkTip).at(1).placements.at(0).frame;
  };
  const Matrix4 straight = tip(h);
  EXPECT_EQ(tip(h), straight);
  for (const char* text : {"id", "rnd(x)"}) {
    h.bendX = CurveParameter(0.0, 4.0, 0.3, 0.3, text);
    ClassicHorn fresh = straightHorn(4, 4);
    fresh.bendX = h.bendX;
    sharedRandom().seed(7);
    const Matrix4 bent = tip(h), again = tip(h);
    const uint32_t next = sharedRandom().nextWord();
    sharedRandom().seed(7);
    const Matrix4 first = tip(fresh);
    EXPECT_EQ(std::memcmp(&bent, &first, sizeof bent), 0) << text;
    EXPECT_NE(bent, straight);
    EXPECT_EQ(again == bent, std::string(text) == "id");
    tip(fresh);
    EXPECT_EQ(sharedRandom().nextWord(), next) << text;
  }
  // The placed frames follow the scale.
  ClassicHorn scaled = straightHorn(4, 4);
  h.bendX = scaled.bendX = CurveParameter(0.0, 4.0, 0.3, 0.3, "id");
  tip(h);
  h.scale = scaled.scale = 2.0;
  EXPECT_EQ(tip(h), tip(scaled));
}

TEST(HornGenerate, StampsTheSolidMeshScaledByRadius) {
  ClassicHorn h = straightHorn(4, 4);
  h.radius = constant(2);
  MeshShape solid;
  solid.solid = meshOf();
  solid.matrix = Matrix4::translation(0, 0, 10);
  Mesh mesh;
  ChildGroups groups;
  h.generate(nodeContext(1, 1, 1, &solid), mesh, 0, groups);
  // No outline, so no tube; one quad at every point but the tip.
  ASSERT_EQ(mesh.faceCount(), 4u);
  ASSERT_EQ(mesh.vertexCount(), 16u);
  // Corner (1, 1, 0) of the stamp at point 1: placed by the shape's matrix,
  // scaled by the radius, then moved to the point.
  EXPECT_NEAR((mesh.vertex(4 + 2) - Vector3(2, 2, 20 + 100)).length(), 0.0, 1e-9);
}

TEST(HornFaults, RefusedSinkNaNAndHugeCounts) {
  ClassicHorn h = straightHorn(4, 4);
  MeshShape circle(circles({{4, true}}));
  RefusingSink refusing;
  ChildGroups groups;
  EXPECT_EQ(h.generate(nodeContext(1, 1, 1, &circle), refusing, 28, groups), 0u);
  EXPECT_TRUE(groups.empty());

  LogRecorder log;
  ClassicHorn bent = h;
  bent.bendY = constant(std::nan(""));
  Mesh mesh;
  EXPECT_EQ(bent.generate(nodeContext(1, 1, 1, &circle), mesh, 28, groups), 0u);
  EXPECT_TRUE(mesh.isEmpty());
  EXPECT_FALSE(log.warnings.empty());

  // A NaN count counts as 0: a one-point path, so no tube and no ribs, but
  // the tip (at the base) and the base are still served.
  ClassicHorn none = h;
  none.segments = std::nan("");
  const size_t before = log.warnings.size();
  EXPECT_EQ(none.generate(nodeContext(1, 1, 1, &circle), mesh, 24, groups), 28u);
  EXPECT_TRUE(mesh.isEmpty());
  EXPECT_GT(log.warnings.size(), before);
  ASSERT_NE(findGroup(groups, kLinkBranches), nullptr);
  EXPECT_TRUE(findGroup(groups, kLinkBranches)->placements.empty());
  ASSERT_NE(findGroup(groups, kLinkTip), nullptr);
  EXPECT_NEAR(findGroup(groups, kLinkTip)->placements[0].frame.position().z, 0.0, 1e-12);
}

}  // namespace
}  // namespace syv

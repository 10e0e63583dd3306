// The smaller kinds (hydra, wreath, phiball, leaf, revo, simple, hyperpatch):
// placements and meshes worked out by hand. Their imports from comp_*.syv are
// kept by the recorded outputs.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "core/components/classic_hydra.h"
#include "core/components/classic_leaf.h"
#include "core/components/classic_phiball.h"
#include "core/components/classic_revo.h"
#include "core/components/classic_simple.h"
#include "core/components/classic_wreath.h"
#include "tests/components/fixtures.h"

namespace syv {
namespace {

ClassicHydra hydra(double count) {
  ClassicHydra h;
  h.armCount = count;
  h.armSpin = h.armAround = h.armTilt = constant(0);
  h.armScale = constant(1);
  return h;
}

// The order of tilt, turn and scale is kept by comp_hydra's recorded outputs.
TEST(Hydra, EvenArmsAndFractionalCounts) {
  ClassicHydra h = hydra(4);
  h.armAround = CurveParameter(0.0, 2 * kPi, 0.0, 1.5 * kPi, "id");  // i * pi / 2
  uint32_t served = 0;
  ChildGroups groups = childrenOf(h, nodeContext(), kLinkBranches, &served);
  EXPECT_EQ(served, 4u);
  ASSERT_EQ(groups[0].placements.size(), 4u);
  for (uint32_t i = 0; i < 4; ++i) {
    const ChildPlacement& p = groups[0].placements[i];
    const double a = -double(i) * kPi / 2;
    EXPECT_NEAR(p.frame.m[0][0], std::cos(a), 1e-9) << i;
    EXPECT_NEAR(p.frame.m[0][1], std::sin(a), 1e-9) << i;
  }

  // t runs over the unfloored count.
  ClassicHydra fraction = hydra(2.5);
  groups = childrenOf(fraction, nodeContext(), kLinkBranches);
  ASSERT_EQ(groups[0].placements.size(), 2u);
  EXPECT_DOUBLE_EQ(groups[0].placements[1].t, 1 / 2.5);
}

TEST(Wreath, ChildrenOnTheCircle) {
  // Whole counts and the facing along the circle are kept by comp_wreath's
  // recorded outputs. A fraction spaces the floored count evenly, while t
  // runs over the unfloored count.
  ClassicWreath w;
  w.wreathRadius = 1;
  w.wreathCount = 2.7;
  uint32_t served = 0;
  ChildGroups groups = childrenOf(w, nodeContext(), kLinkBranches | kLinkOwnFrame, &served);
  EXPECT_EQ(served, 20u);
  ASSERT_EQ(groups[0].placements.size(), 2u);
  expectNear(groups[0].placements[1].frame.position(), {0, -1, 0});
  EXPECT_DOUBLE_EQ(groups[0].placements[1].t, 1 / 2.7);
  EXPECT_TRUE(childrenOf(w, nodeContext(), 0, &served).empty());
  EXPECT_EQ(served, 0u);
}

ClassicPhiball plainBall(double count) {
  ClassicPhiball b;
  b.scale = 100.0;
  b.ballRadius = 0.5;
  b.childCount = count;
  b.packing = 0.0;
  b.zone = CurveParameter(0.0, kPi, 0.0, kPi, "id");
  b.spiral = constant(0.5);
  b.childSize = b.childScale = constant(1);
  return b;
}

// Five children on the golden spiral are kept by comp_phiball's recorded outputs.
TEST(PhiballPlain, CountsAreFloored) {
  ClassicPhiball fraction = plainBall(4.5), whole = plainBall(4), one = plainBall(1);
  const ChildGroups a = childrenOf(fraction, nodeContext(), 0);
  ASSERT_EQ(a[0].placements.size(), 4u);
  EXPECT_EQ(a[0].placements[3].frame.position(),
            childrenOf(whole, nodeContext(), 0)[0].placements.at(3).frame.position());
  const ChildGroups south = childrenOf(one, nodeContext(), 0);
  ASSERT_EQ(south[0].placements.size(), 1u);
  EXPECT_NEAR(south[0].placements[0].frame.position().z, -50.0, 1e-9);
  ClassicPhiball none = plainBall(0.5);
  uint32_t served = 1;
  EXPECT_TRUE(childrenOf(none, nodeContext(), kLinkOwnFrame, &served).empty());
  EXPECT_EQ(served, 0u);
}

TEST(PhiballWeighted, ZeroSizedChildSkippedButPhaseAdvances) {
  ClassicPhiball b = plainBall(4);
  b.packing = 1.0;
  b.childSize = CurveParameter(0.0, 1.0, 0.0, 1.0, "id");  // 0, .25, .5, .75
  b.childScale = constant(2);
  uint32_t served = 0;
  const ChildGroups groups = childrenOf(b, nodeContext(), 0, &served);
  EXPECT_EQ(served, 4u);
  // Areas 0, 0.25, 1 (and 2.25 not counted): total 1.25; the remaining area
  // runs 1.25, 1.25, 1.0, 0 and the cosine 2 R / A - 1 gives 1, 0.6, -1.
  const auto& placed = groups[0].placements;
  ASSERT_EQ(placed.size(), 3u);
  const double cosine[] = {1.0, 0.6, -1.0};
  for (uint32_t k = 0; k < 3; ++k) {
    const ChildPlacement& p = placed[k];
    EXPECT_EQ(p.index, k + 1);
    EXPECT_NEAR(p.frame.position().z, 50 * cosine[k], 1e-9);
    EXPECT_NEAR(p.frame.position().length(), 50.0, 1e-9);
    EXPECT_NEAR(p.frame.row(0).length(), 2.0, 1e-12);
  }
  // Child 2 stands at azimuth 2 * 0.5 + pi / 2: child 0 used its phase too.
  const Vector3 at = placed[1].frame.position();
  const double az = 1.0 + kPi / 2, ring = 50 * 0.8;
  EXPECT_NEAR(at.x, ring * std::sin(az), 1e-9);
  EXPECT_NEAR(at.y, ring * std::cos(az), 1e-9);
}

ClassicLeaf flatLeaf(double segments) {
  ClassicLeaf l;
  l.scale = 1.0;
  l.segments = segments;
  l.hornLength = 7.0;  // not read by the leaf
  l.radius = constant(1);
  l.bendX = l.bendY = l.bendZ = l.shiftX = l.shiftY = l.twist = constant(0);
  l.step = constant(1);
  l.phototropism = l.gravitropism = constant(0);
  l.profile = constant(1);  // not read by the leaf either
  return l;
}

// Three points across the blade, x = -1, 0, 1.
Outline across() {
  Outline o;
  o.resize(3, 1);
  o.setContour(0, 3, false);
  for (uint32_t i = 0; i < 3; ++i) o.setPoint(i, 0.5 * i, {double(i) - 1.0, 0.0, 0.0});
  return o;
}

TEST(LeafGenerate, UnitBladeKeepsOutlineServesTipAndBaseUnlessRefused) {
  ClassicLeaf l = flatLeaf(10);
  MeshShape shape(across());
  shape.solid = meshOf();                        // a leaf never stamps
  shape.matrix = Matrix4::translation(5, 0, 0);  // nor re-places its outline
  Mesh mesh;
  ChildGroups groups;
  EXPECT_EQ(l.generate(nodeContext(1, 1, 1, &shape), mesh, kLinkBranches | kLinkTip | kLinkOwnFrame,
                       groups),
            24u);
  EXPECT_EQ(mesh.vertexCount(), 33u);  // 11 rings of 3
  EXPECT_EQ(mesh.faceCount(), 20u);
  Vector3 lo, hi;
  ASSERT_TRUE(mesh.bounds(lo, hi));
  expectNear(lo, {-1, 0, 0});
  expectNear(hi, {1, 0, 1});
  ASSERT_EQ(groups.size(), 2u);  // no branches
  ASSERT_NE(findGroup(groups, kLinkTip), nullptr);
  EXPECT_NEAR(findGroup(groups, kLinkTip)->placements[0].frame.position().z, 1.0, 1e-12);

  // A refused sink places nothing; without a shape there is nothing to
  // refuse, and the children are still placed.
  RefusingSink refusing;
  groups.clear();
  EXPECT_EQ(l.generate(nodeContext(1, 1, 1, &shape), refusing, 24, groups), 0u);
  EXPECT_TRUE(groups.empty());
  EXPECT_EQ(l.generate(nodeContext(), refusing, 24, groups), 24u);
  EXPECT_EQ(groups.size(), 2u);
}

TEST(LeafGenerate, TropismBendsTowardsUpAndCancels) {
  // Up, seen in the leaf's coordinates, along -X.
  EvaluationContext c;
  c.setNodeState(Matrix4(), Matrix4::rotY(-kPi / 2), 1, 1, 1, 0, 1, nullptr);
  ClassicLeaf l = flatLeaf(4);
  l.phototropism = constant(1);
  const Vector3 bent = childrenOf(l, c, kLinkTip).at(0).placements.at(0).frame.position();
  EXPECT_LT(bent.x, -0.1);
  EXPECT_LT(bent.z, 1.0);
  l.gravitropism = constant(1);
  const Vector3 straight = childrenOf(l, c, kLinkTip).at(0).placements.at(0).frame.position();
  EXPECT_NEAR((straight - Vector3(0, 0, 1)).length(), 0.0, 1e-12);
}

// One leaf placed again and again, its curves, scale and surroundings changing
// between placements, writes what a new leaf writes for each: no memo hands
// on a path, a bend or a sweep whose inputs changed.
TEST(LeafGenerate, KeptPathsFollowTheirInputs) {
  MeshShape shape(across());
  ClassicLeaf kept = flatLeaf(6);
  auto configure = [](ClassicLeaf& l, int step) {
    l.phototropism = constant(step == 2 || step == 3 ? 1.0 : 0.5);
    l.gravitropism = constant(0.5);
    l.bendX = constant(step >= 5 ? 0.4 : 0.0);
    l.scale = step >= 7 ? 2.0 : 1.0;
  };
  const Matrix4 tilts[] = {Matrix4(), Matrix4::rotY(-kPi / 2), Matrix4::rotX(0.7)};
  for (int step = 0; step < 9; ++step) {
    configure(kept, step);
    ClassicLeaf fresh = flatLeaf(6);
    configure(fresh, step);
    EvaluationContext c;
    c.setNodeState(Matrix4(), tilts[step % 3], 1, 1, 1, 0, 1, &shape);
    Mesh a, b;
    ChildGroups ga, gb;
    ASSERT_EQ(kept.generate(c, a, kLinkTip, ga), fresh.generate(c, b, kLinkTip, gb)) << step;
    ASSERT_EQ(a.vertexCount(), b.vertexCount()) << step;
    EXPECT_EQ(std::memcmp(a.vertices().data(), b.vertices().data(),
                          a.vertexCount() * sizeof(Vector3)),
              0)
        << step;
    const Matrix4 ta = ga.at(0).placements.at(0).frame, tb = gb.at(0).placements.at(0).frame;
    EXPECT_EQ(std::memcmp(&ta, &tb, sizeof ta), 0) << step;
  }
}

TEST(Revo, RingsAtProfileHeights) {
  ClassicRevo r;
  r.profilePoints = {{0.5, 0, 0}, {1, 0, 1}, {0.5, 0, 3}};
  MeshShape shape;
  shape.outline = circles({{4, true}});
  shape.matrix = Matrix4::scale(2);  // the outline is taken in the shape's own coordinates
  Mesh mesh;
  ChildGroups groups;
  EXPECT_EQ(r.generate(nodeContext(1, 1, 1, &shape), mesh, kLinkOwnFrame, groups), 16u);
  ASSERT_EQ(mesh.vertexCount(), 12u);
  EXPECT_EQ(mesh.faceCount(), 8u);
  EXPECT_EQ(groups.size(), 1u);
  const double z[] = {0, 1, 3}, radius[] = {0.25, 0.5, 0.25};
  for (uint32_t ring = 0; ring < 3; ++ring)
    for (uint32_t k = 0; k < 4; ++k) {
      const Vector3 v = mesh.vertex(ring * 4 + k);
      EXPECT_NEAR(v.z, z[ring], 1e-12);
      EXPECT_NEAR(radial(v), radius[ring], 1e-9);
    }

  // One point: no surface, the base still placed; a refused sink places nothing.
  r.profilePoints = {{1, 0, 0}};
  uint32_t served = 0;
  Mesh none;
  EXPECT_EQ(childrenOf(r, nodeContext(1, 1, 1, &shape), kLinkOwnFrame, &served, &none).size(), 1u);
  EXPECT_EQ(served, 16u);
  EXPECT_TRUE(none.isEmpty());
  r.profilePoints = {{0.5, 0, 0}, {1, 0, 1}};
  RefusingSink refusing;
  groups.clear();
  EXPECT_EQ(r.generate(nodeContext(1, 1, 1, &shape), refusing, kLinkOwnFrame, groups), 0u);
  EXPECT_TRUE(groups.empty());
}

EvaluationContext framedContext(const Matrix4& own, const Matrix4& accumulated) {
  EvaluationContext c;
  c.setNodeState(own, accumulated, 1, 1, 1, 0, 1, nullptr);
  return c;
}

// P_ijk = (i, j, k) / degree, k fastest: the volume that moves nothing.
std::vector<Vector3> regularLattice(uint32_t degree) {
  std::vector<Vector3> points;
  for (uint32_t i = 0; i <= degree; ++i)
    for (uint32_t j = 0; j <= degree; ++j)
      for (uint32_t k = 0; k <= degree; ++k)
        points.push_back(Vector3(i, j, k) / double(degree));
  return points;
}

size_t latticeIndex(uint32_t degree, uint32_t i, uint32_t j, uint32_t k) {
  return (i * (degree + 1) + j) * (degree + 1) + k;
}

TEST(ClassicSimple, PhotoTurnPivotsAboutTheNodeOrigin) {
  ClassicSimple simple;
  simple.photo = 1.0;
  const Vector3 origin(1, 2, 3);
  const Matrix4 own = Matrix4::translation(origin);
  const Matrix4 accumulated = Matrix4::rotX(0.6) * own;
  Mesh sink;
  ChildGroups groups;
  ASSERT_EQ(simple.generate(framedContext(own, accumulated), sink, 16, groups), 16u);
  const Matrix4 c = groups[0].placements[0].frame;
  // The node leans 0.6 rad off the vertical; the full turn stands it upright.
  const Vector3 axis = (c * accumulated.inverse()).row(2).normalized();
  expectNear(axis, {0, 0, 1}, 1e-6);
  expectNear(origin * c, origin, 1e-9);
}

TEST(ClassicSimple, OneComponentServesNodesOfDifferentTransforms) {
  // Without a pull the turn is kept per transform: nodes placed in turn must
  // each get what a fresh component gives, to the bit.
  ClassicSimple shared;
  const Matrix4 owns[] = {Matrix4::rotX(0.6) * Matrix4::translation(1, 2, 3),
                          Matrix4::scale(0.3, 0.3, 0.6), Matrix4::rotX(0.6)};
  for (int pass = 0; pass < 2; ++pass)
    for (const Matrix4& own : owns) {
      const Matrix4 got = shared.contextPhotoTurn(framedContext(own, own));
      const Matrix4 want = ClassicSimple().contextPhotoTurn(framedContext(own, own));
      EXPECT_EQ(std::memcmp(got.m, want.m, sizeof got.m), 0);
    }
}

TEST(ClassicSimple, NonFiniteTurnPlacesNoChild) {
  LogRecorder log;
  ClassicSimple simple;
  simple.photo = 0.5;
  Matrix4 broken = Matrix4::rotX(0.6);
  broken.m[3][0] = std::numeric_limits<double>::quiet_NaN();
  Mesh sink;
  ChildGroups groups;
  EXPECT_EQ(simple.generate(framedContext(broken, Matrix4()), sink, 16, groups), 0u);
  EXPECT_TRUE(groups.empty());
  EXPECT_EQ(log.warnings.size(), 1u);

  simple.photo = std::nan("");  // either no turn or refused; never a NaN frame
  simple.generate(framedContext(Matrix4(), Matrix4::rotX(0.6)), sink, 16, groups);
  for (const ChildGroup& g : groups) EXPECT_TRUE(g.placements[0].frame.isFinite());
}

TEST(ClassicHyperpatch, RegularLatticesLeaveEveryVertexInPlace) {
  // A box of extents 2, 1 and 0.5 with an inner point: only the longest side
  // spans the unit cube, the others sit in its middle.
  const Mesh original = meshOf({{-1, 0, 4}, {1, 1, 4.5}, {0.3, 0.2, 4.1}, {-0.5, 0.9, 4.4}});
  for (uint32_t degree = 1; degree <= 4; ++degree) {
    ClassicHyperpatch patch;
    patch.controlPoints = regularLattice(degree);
    Mesh mesh = original;
    EXPECT_TRUE(patch.deform(mesh)) << degree;
    for (uint32_t v = 0; v < mesh.vertexCount(); ++v)
      expectNear(mesh.vertex(v), original.vertex(v), 1e-12);
    EXPECT_EQ(mesh.face(0).material, 6);
  }
}

TEST(ClassicHyperpatch, MovedControlPointsBendByTheirWeights) {
  // Bounds [0, 2]^3: centre (1, 1, 1), extent 2, so q = p / 2.
  const Mesh cube = meshOf({{0, 0, 0}, {2, 2, 2}, {1, 1, 1}, {2, 0, 0}, {0, 0, 2}});

  // Degree 1, corner P_111 pulled out to (2, 2, 2) in unit-cube coordinates;
  // copied from another patch and run as the traversal runs an own mesh.
  ClassicHyperpatch linear;
  {
    ClassicHyperpatch source;
    source.patchKind = 7;
    source.controlPoints = regularLattice(1);
    source.controlPoints[latticeIndex(1, 1, 1, 1)] = {2, 2, 2};
    linear.copyPatch(source);
  }
  Mesh mesh = cube;
  ASSERT_TRUE(static_cast<const Component&>(linear).buildOwnMesh(EvaluationContext(), mesh));
  expectNear(mesh.vertex(0), {0, 0, 0});
  expectNear(mesh.vertex(1), {4, 4, 4});           // 1 + (2 - 0.5) * 2
  expectNear(mesh.vertex(2), {1.25, 1.25, 1.25});  // weight 1/8 on the moved corner
  expectNear(mesh.vertex(3), {2, 0, 0});

  // Degree 2, P_200 (the x = 1 corner) moved along z: the vertex at that
  // corner follows it, the one at the z = 1 corner (P_002) does not; this
  // fixes the storage order with k running fastest.
  ClassicHyperpatch quadratic;
  quadratic.controlPoints = regularLattice(2);
  quadratic.controlPoints[latticeIndex(2, 2, 0, 0)].z = 0.25;
  mesh = cube;
  ASSERT_TRUE(quadratic.deform(mesh));
  expectNear(mesh.vertex(3), {2, 0, 0.5});
  expectNear(mesh.vertex(4), {0, 0, 2});
  // The centre weighs P_200 by B_2(0.5) * B_0(0.5) * B_0(0.5) = 1 / 64.
  expectNear(mesh.vertex(2), {1, 1, 1 + 2 * 0.25 / 64});
}

TEST(ClassicHyperpatch, LeavesTheMeshAloneWhenItCannotBend) {
  LogRecorder log;
  const Mesh original = meshOf({{0, 0, 0}, {2, 0, 0}, {0, 2, 0}, {2, 2, 2}});
  ClassicHyperpatch patch;
  patch.controlPoints = regularLattice(1);
  patch.controlPoints[0] = {3, 3, 3};

  auto unchanged = [&](const ClassicHyperpatch& p, const Mesh& before) {
    Mesh mesh = before;
    EXPECT_FALSE(p.deform(mesh));
    ASSERT_EQ(mesh.vertexCount(), before.vertexCount());
    for (uint32_t v = 0; v < mesh.vertexCount(); ++v) EXPECT_EQ(mesh.vertex(v), before.vertex(v));
  };
  unchanged(patch, Mesh());                                                // no bounds
  unchanged(patch, meshOf({{0, 0, 0}, {5e-9, 0, 0}, {0, 0, 0}, {0, 0, 0}}));  // E near 0
  ClassicHyperpatch odd = patch;
  odd.controlPoints.resize(10);
  unchanged(odd, original);

  // Control points that are not finite, or so large that the sum overflows.
  ClassicHyperpatch bad = patch;
  bad.controlPoints[5].y = std::numeric_limits<double>::infinity();
  unchanged(bad, original);
  bad.controlPoints[5].y = 0.0;
  bad.controlPoints[0].y = 1e308;  // the corner vertex at the origin weighs it fully
  unchanged(bad, original);
  EXPECT_EQ(log.warnings.size(), 2u);
}

}  // namespace
}  // namespace syv

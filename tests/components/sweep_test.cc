// Sweep mesher, mesh appending, photo turn, tropism and the component base with
// its evaluation context.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "core/components/component.h"
#include "core/components/geometry.h"
#include "tests/components/fixtures.h"

namespace syv {
namespace {

Path straightPath(std::initializer_list<double> ts) {
  Path p;
  for (double t : ts) p.push_back({t, Matrix4::translation(0, 0, t)});
  return p;
}

TEST(SweepTopology, CountsPerConfiguration) {
  const CurveParameter one = constant(1), zero = constant(0);
  struct Case {
    Outline outline;
    std::initializer_list<double> ts;
    double tEnd;
    uint32_t vertices, faces;
  } cases[] = {
      {circles({{4, true}}), {0, 1}, 1.0, 8, 4},
      {circles({{5, false}}), {0, 0.5, 1}, 1.0, 15, 8},               // n-1 quads per band
      {circles({{4, true}, {3, false}}), {0, 1}, 1.0, 14, 6},         // contours side by side
      {circles({{4, true}}), {0, 0.25, 0.75, 1}, 0.5, 12, 8},         // blended end ring
      {circles({{4, true}}), {0, 0.5, 1}, 0.5, 8, 4},                 // end exactly on a point
      {circles({{4, true}}), {0, 1}, 7.0, 8, 4},                      // tEnd above 1 counts as 1
      {circles({{4, true}, {0, false}, {1, false}}), {0, 1}, 1, 10, 4},  // empty and lone contours
      {circles({{4, true}}), {0, 1}, 1e-8, 0, 0},
      {circles({{4, true}}), {0, 1}, -1.0, 0, 0},
      {circles({{4, true}}), {0, 1}, std::nan(""), 0, 0},
      {circles({{4, true}}), {0}, 1.0, 0, 0},
      {Outline(), {0, 1}, 1.0, 0, 0},
  };
  for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
    Mesh m;
    EXPECT_TRUE(sweepOutline(m, straightPath(cases[i].ts), one, cases[i].outline, Matrix4(),
                             cases[i].tEnd, 1.0, zero));
    EXPECT_EQ(m.vertexCount(), cases[i].vertices) << "case " << i;
    EXPECT_EQ(m.faceCount(), cases[i].faces) << "case " << i;
    for (const Face& f : m.faces())
      EXPECT_LT(std::max({f.a, f.b, f.c, f.d}), m.vertexCount()) << "case " << i;
  }
}

// The sweep's layout, seam and texture coordinates are kept by the recorded
// outputs of every stem and horn.
TEST(SweepGeometry, RingPositionsRadiusProfileAndBlend) {
  Path path = straightPath({0, 0.25, 0.75, 1});
  path[1].frame = Matrix4::rotZ(kPi / 2) * Matrix4::translation(0, 0, 0.25);
  Mesh m;
  // Radius 0.5 + 2x: 0.5 on ring 0, clamped to 1 from ring 1 on.
  const CurveParameter radius(0.0, 4.0, 0.5, 2.5, "id");
  ASSERT_TRUE(sweepOutline(m, path, radius, circles({{4, true}}), Matrix4::translation(1, 0, 0),
                           0.5, 2.0, constant(1)));
  ASSERT_EQ(m.vertexCount(), 12u);
  // Point (1, 0) doubled by the profile, moved by the outline matrix to (3, 0).
  EXPECT_NEAR(m.vertex(0).x, 3.0 * 0.5 * 2.0, 1e-12);           // r = 0.5 * scale 2
  EXPECT_NEAR(m.vertex(4).y, 3.0 * 1.0 * 2.0, 1e-12);           // r(0.5) = 1.5 -> 1; turned
  EXPECT_NEAR(m.vertex(4).z, 0.25, 1e-12);
  EXPECT_NEAR(m.vertex(8).z, 0.5, 1e-12);                       // blended end ring at tEnd
  EXPECT_NEAR(m.vertex(8).length(), std::hypot(6.0, 0.5), 1e-9);  // radius read at t = 0.75
}

// A kept sweep is written again only while its path, curves and outline stay.
TEST(SweepGeometry, KeptVerticesFollowTheirInputs) {
  SweepMemo memo;
  const Path moved = {{0, Matrix4()}, {1, Matrix4::translation(0, 1, 1)}};
  const struct {
    Path path;
    double radius;
  } runs[] = {{straightPath({0, 1}), 1}, {straightPath({0, 1}), 1}, {straightPath({0, 1}), 0.5},
              {moved, 0.5}};
  Mesh kept, fresh;  // growing, so that kept quads land on other vertex indices
  for (const auto& run : runs) {
    const CurveParameter radius = constant(run.radius);
    sweepOutline(kept, run.path, radius, circles({{4, true}}), Matrix4(), 1, 1, constant(0), &memo);
    sweepOutline(fresh, run.path, radius, circles({{4, true}}), Matrix4(), 1, 1, constant(0));
    EXPECT_EQ(kept.vertices(), fresh.vertices());
    ASSERT_EQ(kept.faceCount(), fresh.faceCount());
    EXPECT_EQ(0, std::memcmp(kept.faces().data(), fresh.faces().data(),
                             fresh.faceCount() * sizeof(Face)));
    EXPECT_EQ(0, std::memcmp(kept.texFaces().data(), fresh.texFaces().data(),
                             fresh.faceCount() * sizeof(TexFace)));
  }
}

TEST(SweepFaults, NonFiniteOversizedAndRefused) {
  LogRecorder log;
  Mesh m;
  EXPECT_TRUE(sweepOutline(m, straightPath({0, 1}), constant(1), circles({{4, true}}), Matrix4(),
                           1.0, std::nan(""), constant(0)));
  Outline badU = circles({{4, true}});
  badU.setPoint(2, INFINITY, {0, 1, 0});
  EXPECT_TRUE(sweepOutline(m, straightPath({0, 1}), constant(1), badU, Matrix4(), 1.0, 1.0,
                           constant(0)));
  Path longPath;
  for (int i = 0; i <= 2000; ++i) longPath.push_back({i / 2000.0, Matrix4()});
  EXPECT_TRUE(sweepOutline(m, longPath, constant(1), circles({{1001, true}}), Matrix4(), 1.0, 1.0,
                           constant(0)));
  EXPECT_EQ(m.vertexCount(), 0u);
  EXPECT_EQ(log.warnings.size(), 3u);
  RefusingSink refusing;
  EXPECT_FALSE(sweepOutline(refusing, straightPath({0, 1}), constant(1), circles({{4, true}}),
                            Matrix4(), 1.0, 1.0, constant(0)));
}

TEST(AppendMesh, MaterialsShiftAndFaults) {
  Mesh src, out;
  uint32_t vb, fb;
  src.reserve(4, 2, vb, fb);
  for (uint32_t i = 0; i < 4; ++i) src.setVertex(i, {double(i), 0, 0});
  src.setFace(0, {0, 1, 2, 3, 5});
  src.setFace(1, {3, 2, 1, 0, 7});
  TexFace tf;
  tf.uv[1] = {0.5, 2, 0};
  src.setTexFace(1, tf);
  out.reserve(2, 1, vb, fb);
  ASSERT_TRUE(appendMesh(out, src, Matrix4::translation(0, 10, 0), -1));
  ASSERT_TRUE(appendMesh(out, src, Matrix4(), 3));
  EXPECT_EQ(out.vertexCount(), 10u);
  const int materials[] = {5, 7, 3, 3};
  for (uint32_t f = 1; f < 5; ++f) EXPECT_EQ(out.face(f).material, materials[f - 1]);
  EXPECT_EQ(out.face(4).a, 6u + 3u);  // shifted by each append's own base
  EXPECT_EQ(out.vertex(5), Vector3(3, 10, 0));

  LogRecorder log;
  Mesh bad = src;
  bad.setVertex(2, {NAN, 0, 0});
  EXPECT_TRUE(appendMesh(out, bad, Matrix4(), -1));
  bad = src;
  bad.setFace(0, {0, 1, 2, 4, 0});  // beyond the mesh's own vertices
  EXPECT_TRUE(appendMesh(out, bad, Matrix4(), -1));
  EXPECT_EQ(out.vertexCount(), 10u);
  EXPECT_EQ(log.warnings.size(), 2u);
  RefusingSink refusing;
  EXPECT_FALSE(appendMesh(refusing, src, Matrix4(), -1));
}

void expectDirection(const Vector3& got, const Vector3& want) {
  EXPECT_NEAR((got.normalized() - want).length(), 0.0, 1e-9);
}

TEST(PhotoTransform, TurnsTheSelectedAxisUpOrDown) {
  const Matrix4 frame = Matrix4::rotX(0.7) * Matrix4::rotZ(0.4) * Matrix4::translation(3, 4, 5);
  EXPECT_EQ(photoTransform(frame, 1, 5e-9, 0), Matrix4());
  for (uint16_t dir = 0; dir < 3; ++dir) {
    const Matrix4 r = photoTransform(frame, dir, 1.0, 0);
    EXPECT_EQ(r.position(), Vector3());
    expectDirection((r * frame).row(dir), {0, 0, 1});
    expectDirection((photoTransform(frame, dir, -1.0, 0) * frame).row(dir), {0, 0, -1});
  }
  // Half way: the axis ends on the bisector of its start and up.
  const Vector3 z = frame.row(2).normalized();
  expectDirection((photoTransform(frame, 2, 0.5, 0) * frame).row(2),
                  (z + Vector3(0, 0, 1)).normalized());
  // Mode 1 pulls towards up only within the plane perpendicular to the growth axis.
  const Vector3 pull = (Vector3(0, 0, 1) - z * z.z).normalized();
  expectDirection((photoTransform(frame, 0, 1.0, 1) * frame).row(0), pull);
}

TEST(Tropism, BendsTowardsOrAwayAndCancels) {
  const Path flat = {{0.0, Matrix4()}, {0.5, Matrix4::translation(1, 0, 0)},
                     {1.0, Matrix4::translation(2, 0, 0)}};
  struct Case {
    double towards, away, z;
  } cases[] = {{1, 0, std::sqrt(0.5)}, {0, 1, -std::sqrt(0.5)}, {0.6, 0.6, 0.0}};
  for (const Case& c : cases) {
    Path p = flat;
    EXPECT_TRUE(applyTropism(constant(c.towards), constant(c.away), p, Matrix4(), 1.0));
    EXPECT_NEAR(p[2].frame.position().z, c.z, 1e-12);
    EXPECT_NEAR(p[2].frame.position().x, 1.0 + std::sqrt(1.0 - c.z * c.z), 1e-12);
    EXPECT_EQ(p[1].frame, flat[1].frame);  // the pivot itself stays
  }
  // Bends compound: the second bend starts from the first one's 45 degrees
  // and adds half of the remaining pull, 22.5 degrees.
  Path longer = flat;
  longer.push_back({1.0, Matrix4::translation(3, 0, 0)});
  applyTropism(constant(1), constant(0), longer, Matrix4(), 1.0);
  const double h = std::sqrt(0.5), e = 67.5 * kPi / 180;
  EXPECT_NEAR(longer[3].frame.position().x, 1 + h + std::cos(e), 1e-12);
  EXPECT_NEAR(longer[3].frame.position().z, h + std::sin(e), 1e-12);
  // A stem already growing up is not turned.
  Path up = straightPath({0, 0.5, 1});
  applyTropism(constant(1), constant(0), up, Matrix4(), 1.0);
  EXPECT_EQ(up[2].frame, straightPath({0, 0.5, 1})[2].frame);
}

// A kept result serves only paths without a pull, whatever the environment.
TEST(Tropism, KeptResultMatchesAFreshBend) {
  Path bent = {{0.0, Matrix4()}, {0.5, Matrix4::rotX(0.3) * Matrix4::translation(1, 0, 0)},
               {1.0, Matrix4::rotY(0.2) * Matrix4::translation(2, 0.1, 0)}};
  for (double pull : {0.0, 0.7}) {
    TropismMemo memo;
    for (const Matrix4& env : {Matrix4(), Matrix4::rotX(2.0), Matrix4::rotY(-1.0)}) {
      Path kept = bent, fresh = bent;
      applyTropism(constant(pull), constant(0), kept, env, 1.0, &memo);
      applyTropism(constant(pull), constant(0), fresh, env, 1.0);
      EXPECT_EQ(kept[2].frame, fresh[2].frame) << pull;
    }
  }
}

TEST(ComponentBase, StandardChildrenAndIterationMask) {
  Component c;
  ChildGroups groups;
  Mesh sink;
  EXPECT_EQ(c.generate(EvaluationContext(), sink, 4 | 8, groups), 0u);
  EXPECT_TRUE(groups.empty());
  EXPECT_EQ(c.generate(EvaluationContext(), sink, 16 | 4, groups), 16u);
  ASSERT_EQ(groups.size(), 1u);
  EXPECT_EQ(groups[0].placements.at(0).frame, Matrix4());
  c.iterationMask = {0x2};
  EXPECT_FALSE(c.iterationEnabled(0));
  EXPECT_TRUE(c.iterationEnabled(1));
  EXPECT_TRUE(c.iterationEnabled(16));  // beyond the mask: set
}

// Typed values by id: consecutive declarations whatever their types, and the
// reserved ids, which ignore writes and forward to the linked object.
TEST(EvaluationContext, DeclaredAndReservedIds) {
  EvaluationContext c;
  bool found = false;
  EXPECT_EQ(c.object(kIdLinkedObject, &found), nullptr);
  EXPECT_TRUE(found);  // the reserved slot is there even when empty
  EXPECT_EQ(c.objectShape(kIdLinkedObject, &found), nullptr);
  EXPECT_FALSE(found);
  c.setNumber(40, 1.5);  // set operations do not move the next id
  EXPECT_EQ(c.addText("stem"), 0);
  EXPECT_EQ(c.addNumber(2.5), 1);
  EXPECT_EQ(c.newId(), 2);
  EXPECT_EQ(c.addCurveParameter(CurveParameter(0, 1, 0.4, 0.4, "id")), 3);
  EXPECT_EQ(c.addObject(), 4);
  EXPECT_EQ(c.number(1), 2.5);
  EXPECT_EQ(c.number(2, &found), 0.0);  // newId stores nothing
  EXPECT_FALSE(found);
  EXPECT_EQ(c.number(0, &found), 0.0);  // one map per type
  EXPECT_FALSE(found);

  MeshShape shape(circles({{3, true}})), other;
  const Matrix4 own = Matrix4::translation(1, 0, 0), accumulated = Matrix4::translation(0, 2, 0);
  c.setNodeState(own, accumulated, 0.5, 0.25, 0.75, 4, 2, &shape);
  EXPECT_TRUE(c.setNumber(kIdGrowth, 5.0) && c.setInteger(kIdIteration, 11) &&
              c.setObject(kIdLinkedObject, &other));
  EXPECT_EQ(c.number(kIdGrowth), 0.5);
  EXPECT_EQ(c.integer(kIdIteration), 4);
  EXPECT_EQ(c.matrix(kIdParentToObject), own);
  EXPECT_EQ(c.matrix(kIdWorldToObject), accumulated);
  EXPECT_EQ(c.objectShape(kIdLinkedObject, &found), &shape.outline);
  EXPECT_TRUE(found);
  EXPECT_EQ(c.objectMesh(kIdLinkedObject, &found), nullptr);
  EXPECT_FALSE(found);
  c.setObject(12, &shape);
  shape.solid = meshOf();
  EXPECT_EQ(c.objectMesh(12, &found), &shape.solid);

  c.clear();
  EXPECT_EQ(c.text(0, &found), "");
  EXPECT_FALSE(found);
  EXPECT_EQ(c.number(kIdDensity), 0.75);  // reserved fields survive
  EXPECT_EQ(c.object(kIdLinkedObject), &shape);
  EXPECT_EQ(c.addFlag(true), 0);
}

}  // namespace
}  // namespace syv

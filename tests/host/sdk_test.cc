// The stand-in host SDK: smoothing and mesh arrays.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "host/sdk/sdk.h"

namespace {

using namespace hostsdk;

void addQuad(Mesh& m, DWORD a, DWORD b, DWORD c, DWORD d) {
  Face f;
  f.setVerts(a, b, c);
  m.faces.push_back(f);
  f.setVerts(a, c, d);
  m.faces.push_back(f);
}

// A unit cube of 8 shared corners and 12 outward triangles.
Mesh cube() {
  Mesh m;
  for (int i = 0; i < 8; ++i)
    m.verts.push_back(Point3(float(i & 1), float((i >> 1) & 1), float((i >> 2) & 1)));
  addQuad(m, 0, 2, 3, 1);  // z = 0
  addQuad(m, 4, 5, 7, 6);  // z = 1
  addQuad(m, 0, 1, 5, 4);  // y = 0
  addQuad(m, 2, 6, 7, 3);  // y = 1
  addQuad(m, 0, 4, 6, 2);  // x = 0
  addQuad(m, 1, 3, 7, 5);  // x = 1
  return m;
}

// A UV sphere of `rings` x `segments` quads sharing their corners.
Mesh sphere(int rings, int segments) {
  Mesh m;
  const double pi = std::acos(-1.0);
  for (int r = 0; r <= rings; ++r) {
    for (int s = 0; s < segments; ++s) {
      double th = pi * r / rings, ph = 2 * pi * s / segments;
      m.verts.push_back(Point3(float(std::sin(th) * std::cos(ph)),
                               float(std::sin(th) * std::sin(ph)), float(std::cos(th))));
    }
  }
  auto at = [&](int r, int s) { return DWORD(r * segments + (s % segments)); };
  for (int r = 0; r < rings; ++r)
    for (int s = 0; s < segments; ++s) addQuad(m, at(r, s), at(r + 1, s), at(r + 1, s + 1), at(r, s + 1));
  return m;
}

TEST(AutoSmooth, CubeFacesShareNoGroupAcrossTheirEdges) {
  Mesh m = cube();
  m.AutoSmooth(1.5533430576324463f, FALSE, FALSE);
  for (size_t side = 0; side < 6; ++side) {
    ASSERT_NE(m.faces[side * 2].getSmGroup(), 0u);
    EXPECT_EQ(m.faces[side * 2].getSmGroup(), m.faces[side * 2 + 1].getSmGroup()) << side;
  }
  // Every pair of sides that meet at an edge (all but opposite ones) is sharp.
  for (size_t a = 0; a < 6; ++a)
    for (size_t b = a + 1; b < 6; ++b)
      if (b != (a | 1)) {
        EXPECT_EQ(m.faces[a * 2].getSmGroup() & m.faces[b * 2].getSmGroup(), 0u) << a << b;
      }

  // Past 90 degrees the cube is one smooth surface.
  m.AutoSmooth(1.6f, FALSE, FALSE);
  for (const Face& f : m.faces) EXPECT_EQ(f.getSmGroup(), m.faces[0].getSmGroup());
}

TEST(AutoSmooth, FineSphereIsOneGroupHoweverLarge) {
  // A million triangles share one group, far from the first face too (its
  // speed is measured in bench/bench_host.cc).
  Mesh big = sphere(500, 1000);
  ASSERT_EQ(big.getNumFaces(), 1000000);
  big.AutoSmooth(1.5533430576324463f, FALSE, FALSE);
  ASSERT_NE(big.faces[0].getSmGroup(), 0u);
  for (const Face& f : big.faces) ASSERT_EQ(f.getSmGroup(), big.faces[0].getSmGroup());
}

TEST(AutoSmooth, ALaterFaceJoinsThePartWhoseVerticesItShares) {
  // Enough cubes to be smoothed a run at a time; the last face repeats a side
  // of the first cube and must take that side's group, not one of its own.
  const Mesh one = cube();
  Mesh m;
  for (int k = 0; k < 400; ++k) {
    const DWORD base = DWORD(m.verts.size());
    for (const Point3& p : one.verts) m.verts.push_back(Point3(p.x + 3.0f * k, p.y, p.z));
    for (Face f : one.faces) {
      f.setVerts(f.v[0] + base, f.v[1] + base, f.v[2] + base);
      m.faces.push_back(f);
    }
  }
  m.faces.push_back(m.faces[4]);
  m.AutoSmooth(1.5533430576324463f, FALSE, FALSE);
  EXPECT_NE(m.faces[4].getSmGroup(), 1u);
  EXPECT_EQ(m.faces.end()[-1].getSmGroup(), m.faces[4].getSmGroup());
}

// Rows of `stride` points made a grid of quads as the plug-in writes it:
// corners d, a (the next along the row; in a ring the last wraps round), c and
// b a row above, as faces (c, b, a) and (a, d, c).
void addGrid(Mesh& m, const std::vector<Point3>& points, int stride, bool ring) {
  const DWORD base = DWORD(m.verts.size());
  for (const Point3& p : points) m.verts.push_back(p);
  const int rows = int(points.size()) / stride - 1, width = ring ? stride : stride - 1;
  for (int r = 0; r < rows; ++r)
    for (int s = 0; s < width; ++s) {
      const DWORD d = base + DWORD(r * stride + s), a = base + DWORD(r * stride + (s + 1) % stride);
      Face f;
      f.setVerts(d + DWORD(stride), a + DWORD(stride), a);
      m.faces.push_back(f);
      f.setVerts(a, d, d + DWORD(stride));
      m.faces.push_back(f);
    }
}

std::vector<DWORD> groupsOf(Mesh m, float angle) {
  m.AutoSmooth(angle, FALSE, FALSE);
  std::vector<DWORD> groups;
  for (const Face& f : m.faces) groups.push_back(f.getSmGroup());
  return groups;
}

// Integer corners keep every normal exact, so starting each face at its
// second corner changes nothing but that no grid is seen.
std::vector<DWORD> groupsTurned(Mesh m, float angle) {
  for (Face& f : m.faces) f.setVerts(f.v[1], f.v[2], f.v[0]);
  return groupsOf(m, angle);
}

TEST(AutoSmooth, GridsTakeTheGroupsOfTheSameFacesWrittenOtherwise) {
  Mesh m;
  std::vector<Point3> p;
  // A sheet folded upright past its second row of quads.
  for (int r = 0; r < 4; ++r)
    for (int s = 0; s < 4; ++s)
      p.push_back(Point3(float(s), float(std::min(r, 2)), float(std::max(r - 2, 0))));
  addGrid(m, p, 4, false);
  const size_t sheet = m.faces.size();
  // One folded upright past its second column.
  p.clear();
  for (int r = 0; r < 3; ++r)
    for (int s = 0; s < 5; ++s)
      p.push_back(Point3(float(std::min(s, 2)), float(r), float(std::max(s - 2, 0))));
  addGrid(m, p, 5, false);
  const size_t leaf = m.faces.size();
  // A leaf: its first row gathered in one point leaves faces without area.
  p.clear();
  for (int r = 0; r < 4; ++r)
    for (int s = 0; s < 4; ++s) p.push_back(Point3(float(r == 0 ? 1 : s), float(r), 0.0f));
  addGrid(m, p, 4, false);
  const size_t square = m.faces.size();
  // A square tube, sharp at every corner, where its rows close too.
  p.clear();
  const int corners[4][2] = {{0, 0}, {2, 0}, {2, 2}, {0, 2}};
  for (int r = 0; r < 3; ++r)
    for (const auto& c : corners) p.push_back(Point3(float(c[0]), float(c[1]), float(r)));
  addGrid(m, p, 4, true);
  const size_t drop = m.faces.size();
  // A tube cut in two by a side without area, sharp only where its rows close.
  p.clear();
  const int outline[5][2] = {{0, 0}, {5, -2}, {8, 0}, {8, 0}, {5, 2}};
  for (int r = 0; r < 3; ++r)
    for (const auto& c : outline) p.push_back(Point3(float(c[0]), float(c[1]), float(3 * r)));
  addGrid(m, p, 5, true);
  // A quad folded back on its diagonal.
  addGrid(m, {Point3(0, 0, 0), Point3(5, 0, 0), Point3(0, 5, 0), Point3(1, 1, 5)}, 2, false);

  // And a grid too large to be taken at once, folded upright past its middle row.
  const size_t large = m.faces.size();
  p.clear();
  for (int r = 0; r < 201; ++r)
    for (int s = 0; s < 201; ++s)
      p.push_back(Point3(float(s), float(std::min(r, 100)), float(std::max(r - 100, 0))));
  addGrid(m, p, 201, false);

  for (float angle : {1.5533430576324463f, 0.3f})
    EXPECT_EQ(groupsOf(m, angle), groupsTurned(m, angle)) << angle;
  const std::vector<DWORD> groups = groupsOf(m, 1.5533430576324463f);
  EXPECT_EQ(groups[0] & groups[sheet - 1], 0u);
  EXPECT_EQ(groups[sheet] & groups[sheet + 5], 0u);  // quads 0 and 2
  for (size_t f = leaf; f < square; ++f) EXPECT_EQ(groups[f], 1u) << f;
  EXPECT_EQ(groups[square] & groups[square + 3], 0u);
  EXPECT_EQ(groups[square + 1] & groups[square + 6], 0u);
  EXPECT_EQ(groups[drop] & groups[drop + 8], 0u);
  EXPECT_EQ(groups[drop], groups[drop + 3]);
  EXPECT_EQ(groups[large - 1] & groups[large - 2], 0u);
  EXPECT_EQ(groups[large] & groups.back(), 0u);
}

TEST(AutoSmooth, AFaceFoldedOverAGridsEdgeAfterLaterPartsStaysSharp) {
  Mesh m;
  std::vector<Point3> p;
  for (int r = 0; r < 3; ++r)
    for (int s = 0; s < 3; ++s) p.push_back(Point3(float(s), float(r), 0.0f));
  addGrid(m, p, 3, false);
  for (Point3& q : p) q.x += 10.0f;
  addGrid(m, p, 3, false);
  m.verts.push_back(Point3(1, 3, 1));
  Face over;
  over.setVerts(6, 7, 18);  // on the first grid's top edge
  m.faces.push_back(over);
  const std::vector<DWORD> groups = groupsOf(m, 1.5533430576324463f);
  EXPECT_EQ(groups, groupsTurned(m, 1.5533430576324463f));
  EXPECT_EQ(groups.back() & groups[4], 0u);
}

TEST(Mesh, GrowthAndShrinkKeepOrZeroTheElements) {
  // Growth past huge-page sizes moves the elements; what a shrink drops
  // comes back zeroed, whether or not the storage was given back.
  Mesh g;
  ASSERT_TRUE(g.setNumVerts(1000));
  g.setVert(999, Point3(7, 8, 9));
  ASSERT_TRUE(g.setNumVerts(3000000, TRUE));
  g.setVert(2999999, Point3(1, 1, 1));
  EXPECT_FLOAT_EQ(g.verts[999].z, 9.0f);
  for (int keep : {2000000, 10}) {
    ASSERT_TRUE(g.setNumVerts(keep, TRUE));
    ASSERT_TRUE(g.setNumVerts(3000000, TRUE));
    EXPECT_FLOAT_EQ(g.verts[2999999].x, 0.0f);
    EXPECT_FLOAT_EQ(g.verts[keep].x, 0.0f);
  }
  EXPECT_FLOAT_EQ(g.verts[999].z, 0.0f);

  // Handed over as another type of element: no copy, and growth still zeroes.
  const float* before = &g.verts[0].x;
  HostArray<float> flat = std::move(g.verts).takeAs<float>(6);
  EXPECT_TRUE(g.verts.empty());
  EXPECT_EQ(flat.data(), before);
  ASSERT_TRUE(flat.resize(20000000));
  EXPECT_EQ(flat[19999999], 0.0f);
}

TEST(Mesh, BoundingBoxSaysWhetherEveryVertexWasFinite) {
  Mesh m;
  ASSERT_TRUE(m.setNumVerts(3));
  m.setVert(0, Point3(1, -0.0f, 5));
  m.setVert(1, Point3(-2, 0, 5));
  m.setVert(2, Point3(3, 4, -1e31f));  // the last vertex: past the vector loop
  m.buildBoundingBox();
  EXPECT_TRUE(m.verticesFinite());
  EXPECT_EQ(std::vector<float>({m.getBoundingBox().pmin.x, m.getBoundingBox().pmin.z,
                                m.getBoundingBox().pmax.x, m.getBoundingBox().pmax.y}),
            std::vector<float>({-2, -1e31f, 3, 4}));
  EXPECT_TRUE(std::signbit(m.getBoundingBox().pmin.y)) << "the first of equal minima stays";
  for (float bad : {std::nanf(""), INFINITY}) {
    for (int i : {0, 2}) {
      m.verts[i].y = bad;
      m.buildBoundingBox();
      EXPECT_FALSE(m.verticesFinite()) << i;
      m.verts[i].y = 0;
    }
  }
  m.buildBoundingBox();
  ASSERT_TRUE(m.verticesFinite());
  ASSERT_TRUE(m.setNumVerts(4, TRUE));
  EXPECT_FALSE(m.verticesFinite()) << "the box no longer covers the vertices";
}

}  // namespace

#include <gtest/gtest.h>

#include <meshoptimizer.h>

#include <cmath>
#include <limits>
#include <random>

#include "app/mesh_order.h"
#include "app/normals.h"
#include "app/submeshes.h"
#include "test_support.h"

namespace syv::app {
namespace {

using test::cubeModel;

float length(const Vec3f& v) { return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]); }

float dot(const Vec3f& a, const Vec3f& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

// Faceted, a corner has its side's outward axis; in one group, the diagonal.
TEST(CornerNormals, SharedGroupAveragesAndDisjointGroupsStaySharp) {
  Model cube;
  std::vector<Vec3f> n;
  for (uint32_t group : {0u, 1u}) {
    cube = cubeModel(2.f, group);
    n = cornerNormals(cube.mesh);
    for (size_t c = 0; c < n.size(); ++c) {
      const Vec3f& p = cube.mesh.vertices[cube.mesh.faces[c / 3].v[c % 3]];
      const Vec3f out = {p[0] - 1.f, p[1] - 1.f, p[2] - 1.f};  // (+-1, +-1, +-1)
      EXPECT_NEAR(length(n[c]), 1.f, 1e-6);
      EXPECT_NEAR(dot(n[c], out), group ? std::sqrt(3.f) : 1.f, 1e-6) << "corner " << c;
    }
  }

  // Top (z = max) in group 2, the rest in group 1: top corners keep the top normal.
  for (TriFace& f : cube.mesh.faces) {
    bool top = true;
    for (uint32_t v : f.v) top = top && cube.mesh.vertices[v][2] > 1.f;
    f.smoothing = top ? 2u : 1u;
  }
  n = cornerNormals(cube.mesh);
  for (size_t f = 0; f < cube.mesh.faces.size(); ++f) {
    if (cube.mesh.faces[f].smoothing != 2u) continue;
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(n[f * 3 + k][2], 1.f, 1e-6);
  }
  // A face with both bits joins both neighbours.
  cube.mesh.faces[0].smoothing = 3u;
  n = cornerNormals(cube.mesh);
  EXPECT_LT(std::fabs(n[0][2]), 0.999f);
}

TEST(CornerNormals, DegenerateAndBrokenFacesGetUnitNormals) {
  TriMesh mesh;
  mesh.vertices = {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {5, 5, 5}};
  mesh.faces = {{{0, 1, 2}, {}, 1, 0},   // collinear
                {{3, 3, 3}, {}, 0, 0},   // one point
                {{0, 1, 99}, {}, 1, 0}}; // index out of range
  for (const Vec3f& n : cornerNormals(mesh)) {
    EXPECT_TRUE(std::isfinite(n[0]) && std::isfinite(n[1]) && std::isfinite(n[2]));
    EXPECT_NEAR(length(n), 1.f, 1e-6);
  }
}

TEST(Submeshes, WeldsOnlyWhereEverythingAgrees) {
  // Faceted cube: no corner is shared between sides (normals differ).
  Model cube = cubeModel(100.f);
  SubmeshSet set = buildSubmeshes(cube.mesh, 0.01);
  ASSERT_EQ(set.meshes.size(), 1u);
  EXPECT_EQ(set.meshes[0].positions.size(), 24u);
  EXPECT_EQ(set.meshes[0].indices.size(), 36u);
  // Smooth and without texture coordinates: the eight corners weld.
  cube = cubeModel(100.f, 1);
  cube.mesh.hasTexCoords = false;
  set = buildSubmeshes(cube.mesh, 0.01);
  EXPECT_EQ(set.meshes[0].positions.size(), 8u);
  // Smooth with the same texture corners on every side: corners whose uv
  // happens to agree weld too.
  cube.mesh.hasTexCoords = true;
  set = buildSubmeshes(cube.mesh, 0.01);
  EXPECT_EQ(set.meshes[0].positions.size(), 20u);
  // Every side with texture coordinates of its own: 24.
  for (size_t i = 0; i < cube.mesh.tverts.size(); ++i) cube.mesh.tverts[i][0] += float(i / 4);
  set = buildSubmeshes(cube.mesh, 0.01);
  EXPECT_EQ(set.meshes[0].positions.size(), 24u);
  for (uint32_t i : set.meshes[0].indices) EXPECT_LT(i, set.meshes[0].positions.size());
}

TEST(Submeshes, EqualPositionsOfDistinctVerticesWeldKeepingTheFirstCorner) {
  // Vertex 3 repeats vertex 0 with -0: the two weld, numbered in order of
  // first appearance, with the first corner's own zero written.
  TriMesh mesh;
  mesh.vertices = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {-0.f, 0, 0}};
  mesh.faces = {{{0, 1, 2}, {}, 1, 0}, {{3, 1, 2}, {}, 1, 0}};
  SubmeshSet set = buildSubmeshes(mesh, 1.0);
  ASSERT_EQ(set.meshes.size(), 1u);
  EXPECT_EQ(set.meshes[0].indices, (std::vector<uint32_t>{0, 1, 2, 0, 1, 2}));
  ASSERT_EQ(set.meshes[0].positions.size(), 3u);
  EXPECT_FALSE(std::signbit(set.meshes[0].positions[0][0]));
  std::swap(mesh.faces[0], mesh.faces[1]);
  set = buildSubmeshes(mesh, 1.0);
  EXPECT_EQ(set.meshes[0].positions.size(), 3u);
  EXPECT_TRUE(std::signbit(set.meshes[0].positions[0][0]));
}

// Each material welds on its own: what the one before left in the weld's
// chains (few corners, or as many as there are positions) must not leak in.
TEST(Submeshes, MaterialsWeldApartWhateverTheirSize) {
  TriMesh mesh;
  mesh.vertices = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {5, 0, 0}, {6, 0, 0}, {5, 1, 0}};
  mesh.faces = {{{0, 1, 2}, {}, 1, 0}, {{3, 4, 5}, {}, 1, 1}, {{0, 1, 2}, {}, 1, 1},
                {{3, 4, 5}, {}, 1, 2}};
  const SubmeshSet set = buildSubmeshes(mesh, 1.0);
  ASSERT_EQ(set.meshes.size(), 3u);
  EXPECT_EQ(set.meshes[0].indices, (std::vector<uint32_t>{0, 1, 2}));
  EXPECT_EQ(set.meshes[1].indices, (std::vector<uint32_t>{0, 1, 2, 3, 4, 5}));
  EXPECT_EQ(set.meshes[1].positions[3], toOutputFrame(mesh.vertices[0], 1.0));
  EXPECT_EQ(set.meshes[2].indices, (std::vector<uint32_t>{0, 1, 2}));
  EXPECT_EQ(set.meshes[2].positions[0], toOutputFrame(mesh.vertices[3], 1.0));
}

TEST(Submeshes, FacesWithBadDataAreCountedNotWritten) {
  TriMesh mesh;
  const float inf = std::numeric_limits<float>::infinity();
  mesh.vertices = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {inf, 0, 0}};
  mesh.faces = {{{0, 1, 2}, {}, 0, 0}, {{0, 1, 3}, {}, 0, 0}, {{0, 1, 9}, {}, 0, 0}};
  SubmeshSet set = buildSubmeshes(mesh, 0.01);
  EXPECT_EQ(set.droppedFaces, 2u);
  ASSERT_EQ(set.meshes.size(), 1u);
  EXPECT_EQ(set.meshes[0].indices.size(), 3u);
  // A scale that overflows single precision is caught the same way.
  set = buildSubmeshes(mesh, 1e39);
  EXPECT_EQ(set.droppedFaces, 3u);
}

// The GPU order is meshoptimizer's over the whole mesh, whatever pieces it
// is made of: pieces tiny and larger than a run, stacked in place (no cache
// pass), or with an unused vertex.
TEST(Submeshes, GpuOrderIsMeshoptimizersOverTheWholeMesh) {
  std::mt19937 random(7);
  auto piece = [&](size_t triangles, size_t vertices) {
    std::vector<uint32_t> corners(triangles * 3);
    for (size_t i = 0; i < corners.size(); ++i)
      corners[i] = uint32_t(i < vertices ? i : random() % vertices);
    std::shuffle(corners.begin(), corners.end(), random);
    return corners;
  };
  auto make = [](const std::vector<std::vector<uint32_t>>& pieces, size_t unused) {
    Submesh sub;
    for (const auto& corners : pieces) {
      const uint32_t base = uint32_t(sub.positions.size());
      std::vector<uint32_t> seen(corners.size(), ~0u);  // first-use numbering, as welded
      for (uint32_t c : corners) {
        if (seen[c] == ~0u) {
          seen[c] = uint32_t(sub.positions.size()) - base;
          const float f = float(sub.positions.size());
          sub.positions.push_back({f, 0, 0});
          sub.normals.push_back({0, f, 0});
          sub.uvs.push_back({f, 1});
        }
        sub.indices.push_back(base + seen[c]);
      }
    }
    for (size_t i = 0; i < unused; ++i) sub.positions.push_back({-1, 0, 0}), sub.normals.push_back({}), sub.uvs.push_back({});
    return sub;
  };
  std::vector<std::vector<uint32_t>> pieces;
  for (size_t size : {1, 2, 40, 4095, 1, 5000, 40, 3, 9000, 700, 4096, 2}) pieces.push_back(piece(size, size / 2 + 3));
  struct Case {
    std::vector<std::vector<uint32_t>> pieces;
    size_t unused;
    bool cachePass;
  };
  for (const Case& c : {Case{pieces, 0, true}, Case{pieces, 1, true}, Case{{piece(6000, 3)}, 0, false}}) {
    SubmeshSet ours;
    ours.meshes.push_back(make(c.pieces, c.unused));
    Submesh theirs = ours.meshes[0];
    optimizeOrder(ours);
    const size_t n = theirs.positions.size(), count = theirs.indices.size();
    uint32_t* at = theirs.indices.data();
    if (c.cachePass) meshopt_optimizeVertexCache(at, at, count, n);
    std::vector<unsigned> remap(n);
    const size_t kept = meshopt_optimizeVertexFetchRemap(remap.data(), at, count, n);
    meshopt_remapIndexBuffer(at, at, count, remap.data());
    Submesh want;
    want.indices = theirs.indices;
    want.positions.resize(kept), want.normals.resize(kept), want.uvs.resize(kept);
    for (size_t v = 0; v < n; ++v)
      if (remap[v] != ~0u)
        want.positions[remap[v]] = theirs.positions[v], want.normals[remap[v]] = theirs.normals[v],
        want.uvs[remap[v]] = theirs.uvs[v];
    const Submesh& got = ours.meshes[0];
    EXPECT_EQ(got.indices, want.indices);
    EXPECT_EQ(got.positions, want.positions);
    EXPECT_EQ(got.normals, want.normals);
    EXPECT_EQ(got.uvs, want.uvs);
  }
}

}  // namespace
}  // namespace syv::app

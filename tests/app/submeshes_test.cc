#include <gtest/gtest.h>

#include <meshoptimizer.h>
#include <cmath>
#include <limits>

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

// A strip of quads, smooth and textured, with a material per face from
// `material`: enough faces for the grouping to take either of its ways.
TriMesh stripMesh(size_t quads, uint32_t (*material)(size_t face)) {
  TriMesh mesh;
  mesh.hasTexCoords = true;
  for (size_t x = 0; x <= quads; ++x)
    for (float y : {0.f, 1.f}) {
      mesh.vertices.push_back({float(x), y, 0});
      mesh.tverts.push_back({float(x) / 8, y, 0});
    }
  for (size_t q = 0; q < quads; ++q) {
    const uint32_t a = uint32_t(2 * q);
    for (const std::array<uint32_t, 3>& v :
         {std::array<uint32_t, 3>{a, a + 2, a + 1}, std::array<uint32_t, 3>{a + 1, a + 2, a + 3}}) {
      const size_t f = mesh.faces.size();
      mesh.faces.push_back({v, v, 1, material(f)});
    }
  }
  return mesh;
}

// However the materials interleave (face by face, or in long runs), each
// material welds its faces in face order: as if they stood alone.
TEST(Submeshes, InterleavedMaterialsWeldAsIfAlone) {
  auto check = [](uint32_t (*material)(size_t)) {
    const TriMesh mesh = stripMesh(300, material);
    const SubmeshSet set = buildSubmeshes(mesh, 0.01);
    ASSERT_EQ(set.meshes.size(), 3u);
    for (const Submesh& sub : set.meshes) {
      TriMesh alone = mesh;
      alone.faces = {};
      for (const TriFace& face : mesh.faces)
        if (face.material == sub.material) alone.faces.push_back(face);
      const SubmeshSet one = buildSubmeshes(alone, 0.01);
      ASSERT_EQ(one.meshes.size(), 1u);
      EXPECT_EQ(sub.indices, one.meshes[0].indices);
      EXPECT_EQ(sub.positions, one.meshes[0].positions);
      EXPECT_EQ(sub.normals, one.meshes[0].normals);
      EXPECT_EQ(sub.uvs, one.meshes[0].uvs);
    }
  };
  check([](size_t f) { return uint32_t(f * 7 % 3); });
  check([](size_t f) { return uint32_t(f / 50 * 2 % 3); });
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
  // Texture coordinates: an index out of range or a u or v not finite drops
  // the face, wherever the vertex stands; the unused third one never does.
  const float nan = std::numeric_limits<float>::quiet_NaN();
  TriMesh strip = stripMesh(4, [](size_t) { return 0u; });
  for (size_t t : {size_t(1), size_t(9)}) {  // in a block of four, and after
    TriMesh bad = strip;
    bad.tverts[t][2] = nan;
    EXPECT_EQ(buildSubmeshes(bad, 1.0).droppedFaces, 0u);
    bad.tverts[t][1] = -inf;
    EXPECT_EQ(buildSubmeshes(bad, 1.0).droppedFaces, t == 1 ? 2u : 1u);
    bad.tverts[t] = {nan, 0, 0};
    EXPECT_EQ(buildSubmeshes(bad, 1.0).droppedFaces, t == 1 ? 2u : 1u);
  }
  // Indices out of range where every value is finite.
  strip.faces[5].tv[2] = 10;
  strip.faces[2].v[1] = 10;
  set = buildSubmeshes(strip, 1.0);
  EXPECT_EQ(set.droppedFaces, 2u);
  EXPECT_EQ(set.meshes[0].indices.size(), 18u);
  strip.hasTexCoords = false;
  EXPECT_EQ(buildSubmeshes(strip, 1.0).droppedFaces, 1u);
}

// The GPU order is meshoptimizer's over the whole mesh, whatever its pieces: repeated or
// not, tiny or past a run's size, stacked in place (no cache pass), or with an unused vertex.
TEST(Submeshes, GpuOrderIsMeshoptimizersOverTheWholeMesh) {
  uint32_t seed = 7;
  auto make = [&](std::initializer_list<size_t> sizes, uint32_t stacked, bool unused) {
    Submesh sub;
    for (size_t size : sizes) {
      const uint32_t base = uint32_t(sub.positions.size()), vertices = stacked ? stacked : uint32_t(size / 2 + 3);
      std::vector<uint32_t> corners(size * 3), seen(vertices, ~0u);
      for (size_t i = 0; i < corners.size(); ++i) corners[i] = i < vertices ? uint32_t(i) : ((seed = seed * 1664525u + 1013904223u) >> 8) % vertices;
      for (uint32_t c : corners) {  // numbered in order of first use, as welded
        if (seen[c] == ~0u) seen[c] = uint32_t(sub.positions.size()) - base, sub.positions.push_back({float(base + seen[c]), 0, 0});
        sub.indices.push_back(base + seen[c]);
      }
    }
    sub.positions.resize(sub.positions.size() + unused, {-1, 0, 0});
    for (const Vec3f& p : sub.positions) sub.normals.push_back({0, p[0], 0}), sub.uvs.push_back({p[0], 1});
    return sub;
  };
  for (const Submesh& sub : {make({1, 2, 40, 4095, 1, 5000, 40, 3, 9000, 700, 4096, 2}, 0, false), make({40, 3, 9000, 40}, 0, true), make({6000}, 3, false)}) {
    SubmeshSet ours{{sub}, 0};
    optimizeOrder(ours);
    Submesh want = sub;
    if (sub.positions.size() > 3)
      meshopt_optimizeVertexCache(want.indices.data(), sub.indices.data(), sub.indices.size(), sub.positions.size());
    want.positions.resize(meshopt_optimizeVertexFetch(want.positions.data(), want.indices.data(), sub.indices.size(), sub.positions.data(), sub.positions.size(), 12));
    const Submesh& got = ours.meshes[0];  // its other streams moved alike
    EXPECT_TRUE(got.indices == want.indices && got.positions == want.positions && got.normals.back()[1] == got.positions.back()[0]);
  }
}

}  // namespace
}  // namespace syv::app

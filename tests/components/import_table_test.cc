// Each kind imported from a small file, in units of 100: counts worked out by
// hand and the bounds they must reach.
#include <gtest/gtest.h>

#include <cmath>

#include "tests/components/fixtures.h"

namespace syv {
namespace {

TEST(KindImport, CountsAndBoundsPerKind) {
  struct Case {
    const char* file;
    uint32_t faces, vertices;  // vertices 0: not checked
    double lo[3], hi[3];       // NaN: not checked
    double eps;
  };
  const double n = std::nan("");
  const Case cases[] = {
      // Tube: 5 rings of 4 points, 16 quads; three ribs with a 6-quad box each;
      // MoveScale 4; cos(0) times the 0.5-unit circle.
      {"comp_horn.syv", 16 + 3 * 6, 20 + 3 * 24, {n, n, 0}, {50, n, 400}, 1e-9},
      // Arms tilted flat at 0, 90 and 180 degrees, boxes of 10 at 2 units
      // (the file's angles are written to five digits).
      {"comp_hydra.syv", 3 * 6, 0, {-5, -205, n}, {205, 205, 5}, 1e-3},
      // Four beads on a radius of 3 units, plus half a box.
      {"comp_wreath.syv", 4 * 6, 0, {n, -350, n}, {350, n, n}, 1e-9},
      // Four segments, a three-point Area line: 5 rings of 3, 4 x 2 quads, one
      // unit long whatever MoveScale holds.
      {"comp_leaf.syv", 8, 15, {-50, n, n}, {50, n, 100}, 1e-9},
      // Five boxes of 10 on a ball of radius 1 unit, at the poles.
      {"comp_phiball.syv", 5 * 6, 5 * 24, {n, n, -105}, {n, n, 105}, 1e-9},
      // Three rings of a six-point circle and a box at the base.
      {"comp_revo.syv", 2 * 6 + 6, 3 * 6 + 24, {n, n, n}, {n, n, 300}, 1e-9},
  };
  for (const Case& c : cases) {
    Mesh mesh;
    ASSERT_TRUE(importData(c.file, mesh)) << c.file;
    EXPECT_EQ(mesh.faceCount(), c.faces) << c.file;
    if (c.vertices) {
      EXPECT_EQ(mesh.vertexCount(), c.vertices) << c.file;
    }
    Vector3 lo, hi;
    ASSERT_TRUE(mesh.bounds(lo, hi)) << c.file;
    const double got[2][3] = {{lo.x, lo.y, lo.z}, {hi.x, hi.y, hi.z}};
    for (int k = 0; k < 6; ++k) {
      const double want = k < 3 ? c.lo[k] : c.hi[k - 3];
      if (!std::isnan(want)) {
        EXPECT_NEAR(got[k / 3][k % 3], want, c.eps) << c.file << " bound " << k;
      }
    }
  }
}

}  // namespace
}  // namespace syv

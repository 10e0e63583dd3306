#include <gtest/gtest.h>

#include <cmath>

#include "core/base/math.h"

namespace syv {
namespace {

void expectNear(const Vector3& a, const Vector3& b, double eps = 1e-9) {
  EXPECT_NEAR(a.x, b.x, eps);
  EXPECT_NEAR(a.y, b.y, eps);
  EXPECT_NEAR(a.z, b.z, eps);
}

void expectNear(const Matrix4& a, const Matrix4& b, double eps) {
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) EXPECT_NEAR(a.m[i][j], b.m[i][j], eps) << i << "," << j;
}

TEST(Matrix4Test, RowVectorConventionAndProductOrder) {
  // A*B applies A first: translate then rotate moves the translated point.
  Matrix4 t = Matrix4::translation(Vector3(1, 0, 0));
  Matrix4 r = Matrix4::rotZ(kPi / 2);
  expectNear((t * r).transformPoint(Vector3(0, 0, 0)), Vector3(0, 1, 0));
  expectNear((r * t).transformPoint(Vector3(0, 0, 0)), Vector3(1, 0, 0));
  // rotX rows (1,0,0),(0,c,s),(0,-s,c): the Y axis turns towards +Z.
  expectNear(Matrix4::rotX(kPi / 2).transformDirection(Vector3(0, 1, 0)), Vector3(0, 0, 1));
  // rotY rows (c,0,-s),(0,1,0),(s,0,c): the X axis turns towards -Z.
  expectNear(Matrix4::rotY(kPi / 2).transformDirection(Vector3(1, 0, 0)), Vector3(0, 0, -1));
  // The axis-angle form agrees with the elementary rotations.
  expectNear(Matrix4::rotAxis(Vector3(0, 0, 2), 0.7), Matrix4::rotZ(0.7), 1e-12);
}

TEST(Matrix4Test, InverseAndSingular) {
  Matrix4 m = Matrix4::scale(2, 3, 4) * Matrix4::rotY(0.3) *
              Matrix4::translation(Vector3(5, -1, 2));
  expectNear(m * m.inverse(), Matrix4(), 1e-12);
  // A singular matrix inverts to the identity rather than to infinities.
  EXPECT_EQ(Matrix4::scale(1, 0, 1).inverse(), Matrix4());
}

// The shortcuts must give the full product's bits, signed zeros included,
// and leave a non-finite matrix non-finite.
TEST(Matrix4Test, ScaleProductsMatchTheFullProductBitForBit) {
  Matrix4 m = Matrix4::rotAxis({0.3, -0.5, 0.8}, 0.7);
  m.m[0][1] = -0.0;
  m.m[2][3] = -0.0;
  m.setPosition({3.0, -0.0, 1e-300});
  auto same = [](const Matrix4& a, const Matrix4& b) {
    for (int i = 0; i < 4; ++i)
      for (int j = 0; j < 4; ++j)
        if (a.m[i][j] != b.m[i][j] || std::signbit(a.m[i][j]) != std::signbit(b.m[i][j]))
          return false;
    return true;
  };
  EXPECT_TRUE(same(scaledColumns(m, -1.0, -1.0, 1.0), m * Matrix4::scale(-1.0, -1.0, 1.0)));
  EXPECT_TRUE(same(scaledColumns(m, 1.0, 1.0, 1.0), m * Matrix4()));
  EXPECT_TRUE(same(scaledRows(1e-310, m), Matrix4::scale(1e-310) * m));
  EXPECT_TRUE(same(scaledRows(-2.5, m), Matrix4::scale(-2.5) * m));
  m.m[1][2] = INFINITY;
  EXPECT_FALSE(m.isFinite());
  EXPECT_FALSE(scaledColumns(m, 1.0, 1.0, 1.0).isFinite());
  EXPECT_FALSE(scaledRows(INFINITY, Matrix4()).isFinite());
  EXPECT_FALSE(Matrix4::scale(NAN).isFinite());
  EXPECT_TRUE(Matrix4::scale(1e308).isFinite());
}

TEST(Vector3Test, NormalizeKeepsTinyVectors) {
  Vector3 tiny(1e-11, -1e-10, 0);
  Vector3 n = tiny.normalized();
  EXPECT_EQ(n.x, tiny.x);
  EXPECT_EQ(n.y, tiny.y);
  expectNear(Vector3(3, 0, 4).normalized(), Vector3(0.6, 0, 0.8));
}

TEST(BlendTest, EndsAndShortestArc) {
  Matrix4 a = Matrix4::translation(Vector3(0, 0, 0));
  Matrix4 b = Matrix4::rotZ(kPi / 2) * Matrix4::translation(Vector3(2, 0, 0));
  expectNear(blendMatrices(a, b, 0.0), a, 1e-9);
  expectNear(blendMatrices(a, b, 1.0), b, 1e-9);
  Matrix4 h = blendMatrices(a, b, 0.5);
  expectNear(h.transformDirection(Vector3(1, 0, 0)),
             Vector3(std::cos(kPi / 4), std::sin(kPi / 4), 0));
  expectNear(h.position(), Vector3(1, 0, 0));
}

}  // namespace
}  // namespace syv

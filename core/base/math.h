// Vector and matrix types shared by the whole core.
//
// Matrix4 is row-major and uses the row-vector convention: a point p maps to
// p * M without a homogeneous divide, the fourth row holds the translation,
// and in A * B the matrix A acts first.
#pragma once

#include <cmath>

namespace syv {

constexpr double kPi = 3.14159265358979323846;

struct Vector3 {
  double x = 0.0, y = 0.0, z = 0.0;

  Vector3() = default;
  Vector3(double x_, double y_, double z_) : x(x_), y(y_), z(z_) {}

  Vector3 operator+(const Vector3& o) const { return {x + o.x, y + o.y, z + o.z}; }
  Vector3 operator-(const Vector3& o) const { return {x - o.x, y - o.y, z - o.z}; }
  Vector3 operator*(double s) const { return {x * s, y * s, z * s}; }
  Vector3 operator/(double s) const { return {x / s, y / s, z / s}; }
  Vector3 operator-() const { return {-x, -y, -z}; }
  Vector3& operator+=(const Vector3& o) { x += o.x; y += o.y; z += o.z; return *this; }
  Vector3& operator-=(const Vector3& o) { x -= o.x; y -= o.y; z -= o.z; return *this; }
  bool operator==(const Vector3& o) const { return x == o.x && y == o.y && z == o.z; }
  bool operator!=(const Vector3& o) const { return !(*this == o); }

  double dot(const Vector3& o) const { return x * o.x + y * o.y + z * o.z; }
  Vector3 cross(const Vector3& o) const {
    return {y * o.z - z * o.y, z * o.x - x * o.z, x * o.y - y * o.x};
  }
  double length() const { return std::sqrt(dot(*this)); }
  // A vector whose components are all within 1e-10 of zero comes back unchanged.
  Vector3 normalized() const {
    if (std::fabs(x) <= 1e-10 && std::fabs(y) <= 1e-10 && std::fabs(z) <= 1e-10) return *this;
    const double len = length();
    return {x / len, y / len, z / len};
  }
  bool isFinite() const { return std::isfinite(x) && std::isfinite(y) && std::isfinite(z); }
};

class Matrix4 {
 public:
  double m[4][4];

  Matrix4()  // identity
      : m{{1.0, 0.0, 0.0, 0.0}, {0.0, 1.0, 0.0, 0.0}, {0.0, 0.0, 1.0, 0.0}, {0.0, 0.0, 0.0, 1.0}} {}
  static Matrix4 identity() { return Matrix4(); }
  static Matrix4 zero();
  static Matrix4 translation(const Vector3& t);
  static Matrix4 translation(double x, double y, double z) { return translation({x, y, z}); }
  static Matrix4 scale(double s) { return scale(s, s, s); }
  static Matrix4 scale(double sx, double sy, double sz);
  static Matrix4 rotX(double a);
  static Matrix4 rotY(double a);
  static Matrix4 rotZ(double a);
  // Rodrigues rotation about a (normalised) axis; |angle| <= 1e-8 gives the identity.
  static Matrix4 rotAxis(const Vector3& axis, double angle);

  Matrix4 operator*(const Matrix4& o) const;
  bool operator==(const Matrix4& o) const;
  bool operator!=(const Matrix4& o) const { return !(*this == o); }

  double determinant() const;
  // Adjugate over determinant; a determinant of exactly 0 gives the identity.
  Matrix4 inverse() const;

  Vector3 transformPoint(const Vector3& p) const {  // p * M, no divide
    return {p.x * m[0][0] + p.y * m[1][0] + p.z * m[2][0] + m[3][0],
            p.x * m[0][1] + p.y * m[1][1] + p.z * m[2][1] + m[3][1],
            p.x * m[0][2] + p.y * m[1][2] + p.z * m[2][2] + m[3][2]};
  }
  Vector3 transformDirection(const Vector3& d) const {  // ignores the fourth row
    return {d.x * m[0][0] + d.y * m[1][0] + d.z * m[2][0],
            d.x * m[0][1] + d.y * m[1][1] + d.z * m[2][1],
            d.x * m[0][2] + d.y * m[1][2] + d.z * m[2][2]};
  }
  Vector3 row(int r) const { return {m[r][0], m[r][1], m[r][2]}; }
  void setRow(int r, const Vector3& v) { m[r][0] = v.x; m[r][1] = v.y; m[r][2] = v.z; }
  Vector3 position() const { return row(3); }
  void setPosition(const Vector3& p) { setRow(3, p); }
  bool isFinite() const {
    // v - v is 0 for a finite v and NaN otherwise; summed by columns, so that
    // the sixteen tests run as vector code without a branch.
    double lanes[4] = {0.0, 0.0, 0.0, 0.0};
    for (const auto& row : m)
      for (int j = 0; j < 4; ++j) lanes[j] += row[j] - row[j];
    return lanes[0] + lanes[1] + lanes[2] + lanes[3] == 0.0;
  }
  bool isIdentity() const { return *this == Matrix4(); }

 private:
  // Every element is written before it is read; placements make many of these.
  struct Unset {};
  explicit Matrix4(Unset) {}
};

// Inline: placements multiply many matrices. Each sum starts from 0.0 so that
// a sum of negative zeros stays +0 as it always has. A row's four sums run side
// by side (the compiler makes vector code of the inner loop); each still adds
// its terms in the order k = 0..3.
inline Matrix4 Matrix4::operator*(const Matrix4& o) const {
  Matrix4 r{Unset{}};
  for (int i = 0; i < 4; ++i) {
    double s[4] = {0.0, 0.0, 0.0, 0.0};
    for (int k = 0; k < 4; ++k)
      for (int j = 0; j < 4; ++j) s[j] += m[i][k] * o.m[k][j];
    for (int j = 0; j < 4; ++j) r.m[i][j] = s[j];
  }
  return r;
}

inline Vector3 operator*(const Vector3& p, const Matrix4& m) { return m.transformPoint(p); }

// Products with a scale matrix in a few operations, bit for bit what the full
// product gives: each sum of the full product starts from +0 and adds signed
// zeros besides the one real term, hence the "+ 0.0". This holds for finite
// operands only; anything else takes the full product.

// m * scale(sx, sy, sz)
inline Matrix4 scaledColumns(const Matrix4& m, double sx, double sy, double sz) {
  if (!(std::isfinite(sx) && std::isfinite(sy) && std::isfinite(sz) && m.isFinite()))
    return m * Matrix4::scale(sx, sy, sz);
  const double d[4] = {sx, sy, sz, 1.0};
  Matrix4 r = m;
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) r.m[i][j] = m.m[i][j] * d[j] + 0.0;
  return r;
}

// scale(s) * m
inline Matrix4 scaledRows(double s, const Matrix4& m) {
  if (!(std::isfinite(s) && m.isFinite())) return Matrix4::scale(s) * m;
  const double d[4] = {s, s, s, 1.0};
  Matrix4 r = m;
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) r.m[i][j] = d[i] * m.m[i][j] + 0.0;
  return r;
}

// Blend of two matrices, decomposed into translation, rotation and scale:
// translation and scale interpolate linearly, rotation along the shortest arc.
// The fraction is clamped to [0, 1]; 0 gives a, 1 gives b.
Matrix4 blendMatrices(const Matrix4& a, const Matrix4& b, double fraction);

// The smallest rotation (no translation) that turns direction `from` onto `to`.
Matrix4 rotationBetween(const Vector3& from, const Vector3& to);

template <typename T>
inline T clampValue(T v, T lo, T hi) {
  return v < lo ? lo : (v > hi ? hi : v);
}

}  // namespace syv

#include "core/base/math.h"

#include <algorithm>
#include <cstdint>

namespace syv {

Matrix4 Matrix4::zero() {
  Matrix4 z{Unset{}};
  for (auto& row : z.m)
    for (double& v : row) v = 0.0;
  return z;
}

Matrix4 Matrix4::translation(const Vector3& t) {
  Matrix4 r;
  r.setRow(3, t);
  return r;
}

Matrix4 Matrix4::scale(double sx, double sy, double sz) {
  Matrix4 r;
  r.m[0][0] = sx;
  r.m[1][1] = sy;
  r.m[2][2] = sz;
  return r;
}

Matrix4 Matrix4::rotX(double a) {
  Matrix4 r;
  const double c = std::cos(a), s = std::sin(a);
  r.m[1][1] = c;
  r.m[1][2] = s;
  r.m[2][1] = -s;
  r.m[2][2] = c;
  return r;
}

Matrix4 Matrix4::rotY(double a) {
  Matrix4 r;
  const double c = std::cos(a), s = std::sin(a);
  r.m[0][0] = c;
  r.m[0][2] = -s;
  r.m[2][0] = s;
  r.m[2][2] = c;
  return r;
}

Matrix4 Matrix4::rotZ(double a) {
  Matrix4 r;
  const double c = std::cos(a), s = std::sin(a);
  r.m[0][0] = c;
  r.m[0][1] = s;
  r.m[1][0] = -s;
  r.m[1][1] = c;
  return r;
}

Matrix4 Matrix4::rotAxis(const Vector3& axis, double angle) {
  Matrix4 r;
  if (std::fabs(angle) <= 1e-8) return r;
  const Vector3 k = axis.normalized();
  const double c = std::cos(angle), s = std::sin(angle), t = 1.0 - c;
  // Transpose of the column-vector Rodrigues matrix, so that rotAxis(Z, a) == rotZ(a).
  r.m[0][0] = c + k.x * k.x * t;
  r.m[0][1] = k.x * k.y * t + k.z * s;
  r.m[0][2] = k.x * k.z * t - k.y * s;
  r.m[1][0] = k.y * k.x * t - k.z * s;
  r.m[1][1] = c + k.y * k.y * t;
  r.m[1][2] = k.y * k.z * t + k.x * s;
  r.m[2][0] = k.z * k.x * t + k.y * s;
  r.m[2][1] = k.z * k.y * t - k.x * s;
  r.m[2][2] = c + k.z * k.z * t;
  return r;
}

bool Matrix4::operator==(const Matrix4& o) const {
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j)
      if (m[i][j] != o.m[i][j]) return false;
  return true;
}

namespace {

inline double minor3(const double a[4][4], int r0, int r1, int r2, int c0, int c1, int c2) {
  return a[r0][c0] * (a[r1][c1] * a[r2][c2] - a[r1][c2] * a[r2][c1]) -
         a[r0][c1] * (a[r1][c0] * a[r2][c2] - a[r1][c2] * a[r2][c0]) +
         a[r0][c2] * (a[r1][c0] * a[r2][c1] - a[r1][c1] * a[r2][c0]);
}

// The three indices other than i, ascending.
constexpr int kOthers[4][3] = {{1, 2, 3}, {0, 2, 3}, {0, 1, 3}, {0, 1, 2}};

// Cofactor of element (R, C). Indices known at compile time let the compiler
// share the 2x2 products between cofactors; every sum keeps its order.
template <int R, int C>
inline double cofactor(const double a[4][4]) {
  constexpr const int* rows = kOthers[R];
  constexpr const int* cols = kOthers[C];
  const double mnr = minor3(a, rows[0], rows[1], rows[2], cols[0], cols[1], cols[2]);
  return ((R + C) % 2 == 0) ? mnr : -mnr;
}

template <int R>
inline void cofactorRow(const double a[4][4], double out[4]) {
  out[0] = cofactor<R, 0>(a);
  out[1] = cofactor<R, 1>(a);
  out[2] = cofactor<R, 2>(a);
  out[3] = cofactor<R, 3>(a);
}

}  // namespace

double Matrix4::determinant() const {
  double cof[4];
  cofactorRow<0>(m, cof);
  double d = 0.0;
  for (int c = 0; c < 4; ++c) d += m[0][c] * cof[c];
  return d;
}

namespace {

// Two lanes of doubles: each lane works out the same expression in the same
// order as the scalar cofactor, so the bits are the same.
using Lanes = double __attribute__((vector_size(16)));
using LaneBits = int64_t __attribute__((vector_size(16)));

inline Lanes lanes(double a, double b) { return Lanes{a, b}; }

// The sign of the cofactors of rows R and R + 1 (R even) in column C.
inline Lanes signed2(Lanes v, int C) {
  const LaneBits flip = (C % 2 == 0) ? LaneBits{0, INT64_MIN} : LaneBits{INT64_MIN, 0};
  return reinterpret_cast<Lanes>(reinterpret_cast<LaneBits>(v) ^ flip);
}

}  // namespace

// The cofactors of rows 0 and 1 side by side (their 3 x 3 minors share rows 2
// and 3), then of rows 2 and 3 (which share row 0); each column's pair is a
// row of the adjugate.
Matrix4 Matrix4::inverse() const {
  const double(*a)[4] = m;
  auto low = [a](int x, int y) { return a[2][x] * a[3][y] - a[2][y] * a[3][x]; };
  const double l01 = low(0, 1), l02 = low(0, 2), l03 = low(0, 3), l12 = low(1, 2),
               l13 = low(1, 3), l23 = low(2, 3);
  const double lowOf[4][4] = {{0.0, l01, l02, l03}, {0.0, 0.0, l12, l13}, {0.0, 0.0, 0.0, l23},
                              {0.0, 0.0, 0.0, 0.0}};
  auto high = [a](int x, int y) {
    return lanes(a[1][x], a[1][x]) * lanes(a[3][y], a[2][y]) -
           lanes(a[1][y], a[1][y]) * lanes(a[3][x], a[2][x]);
  };
  const Lanes h01 = high(0, 1), h02 = high(0, 2), h03 = high(0, 3), h12 = high(1, 2),
              h13 = high(1, 3), h23 = high(2, 3);
  const Lanes highOf[4][4] = {{Lanes{}, h01, h02, h03},
                              {Lanes{}, Lanes{}, h12, h13},
                              {Lanes{}, Lanes{}, Lanes{}, h23},
                              {Lanes{}, Lanes{}, Lanes{}, Lanes{}}};
  Lanes top[4], bottom[4];
  for (int C = 0; C < 4; ++C) {
    const int c0 = kOthers[C][0], c1 = kOthers[C][1], c2 = kOthers[C][2];
    const double d12 = lowOf[c1][c2], d02 = lowOf[c0][c2], d01 = lowOf[c0][c1];
    top[C] = signed2((lanes(a[1][c0], a[0][c0]) * lanes(d12, d12) -
                      lanes(a[1][c1], a[0][c1]) * lanes(d02, d02)) +
                         lanes(a[1][c2], a[0][c2]) * lanes(d01, d01),
                     C);
    bottom[C] = signed2((lanes(a[0][c0], a[0][c0]) * highOf[c1][c2] -
                         lanes(a[0][c1], a[0][c1]) * highOf[c0][c2]) +
                            lanes(a[0][c2], a[0][c2]) * highOf[c0][c1],
                        C);
  }
  double det = 0.0;
  for (int c = 0; c < 4; ++c) det += m[0][c] * top[c][0];
  if (det == 0.0) return Matrix4();
  Matrix4 r{Unset{}};
  const Lanes d = lanes(det, det);
  for (int C = 0; C < 4; ++C) {  // adjugate is the transpose
    const Lanes t = top[C] / d, b = bottom[C] / d;
    r.m[C][0] = t[0];
    r.m[C][1] = t[1];
    r.m[C][2] = b[0];
    r.m[C][3] = b[1];
  }
  return r;
}

namespace {

struct Quat {
  double w, x, y, z;
};

// Quaternion of a pure rotation given by orthonormal rows (row-vector convention).
Quat toQuat(const double r[3][3]) {
  // Work with the column-vector matrix R = transpose(rows).
  const double m00 = r[0][0], m01 = r[1][0], m02 = r[2][0];
  const double m10 = r[0][1], m11 = r[1][1], m12 = r[2][1];
  const double m20 = r[0][2], m21 = r[1][2], m22 = r[2][2];
  Quat q;
  const double tr = m00 + m11 + m22;
  if (tr > 0) {
    const double s = std::sqrt(tr + 1.0) * 2;
    q = {0.25 * s, (m21 - m12) / s, (m02 - m20) / s, (m10 - m01) / s};
  } else if (m00 > m11 && m00 > m22) {
    const double s = std::sqrt(1.0 + m00 - m11 - m22) * 2;
    q = {(m21 - m12) / s, 0.25 * s, (m01 + m10) / s, (m02 + m20) / s};
  } else if (m11 > m22) {
    const double s = std::sqrt(1.0 + m11 - m00 - m22) * 2;
    q = {(m02 - m20) / s, (m01 + m10) / s, 0.25 * s, (m12 + m21) / s};
  } else {
    const double s = std::sqrt(1.0 + m22 - m00 - m11) * 2;
    q = {(m10 - m01) / s, (m02 + m20) / s, (m12 + m21) / s, 0.25 * s};
  }
  return q;
}

void fromQuat(const Quat& q, double r[3][3]) {
  const double w = q.w, x = q.x, y = q.y, z = q.z;
  // Column-vector matrix, stored transposed as rows.
  const double c[3][3] = {{1 - 2 * (y * y + z * z), 2 * (x * y - z * w), 2 * (x * z + y * w)},
                          {2 * (x * y + z * w), 1 - 2 * (x * x + z * z), 2 * (y * z - x * w)},
                          {2 * (x * z - y * w), 2 * (y * z + x * w), 1 - 2 * (x * x + y * y)}};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) r[i][j] = c[j][i];
}

Quat slerp(Quat a, Quat b, double f) {
  double d = a.w * b.w + a.x * b.x + a.y * b.y + a.z * b.z;
  if (d < 0) {  // shortest arc
    b = {-b.w, -b.x, -b.y, -b.z};
    d = -d;
  }
  double ka, kb;
  if (d > 0.9995) {
    ka = 1 - f;
    kb = f;
  } else {
    const double th = std::acos(std::min(1.0, d));
    const double s = std::sin(th);
    ka = std::sin((1 - f) * th) / s;
    kb = std::sin(f * th) / s;
  }
  Quat q{ka * a.w + kb * b.w, ka * a.x + kb * b.x, ka * a.y + kb * b.y, ka * a.z + kb * b.z};
  const double n = std::sqrt(q.w * q.w + q.x * q.x + q.y * q.y + q.z * q.z);
  return {q.w / n, q.x / n, q.y / n, q.z / n};
}

// Splits the upper 3x3 block into per-row scales and a rotation; false when degenerate.
bool decompose(const Matrix4& m, double scale[3], double rot[3][3]) {
  for (int i = 0; i < 3; ++i) {
    const Vector3 r = m.row(i);
    scale[i] = r.length();
    if (scale[i] < 1e-12) return false;
    rot[i][0] = r.x / scale[i];
    rot[i][1] = r.y / scale[i];
    rot[i][2] = r.z / scale[i];
  }
  const Vector3 r0{rot[0][0], rot[0][1], rot[0][2]}, r1{rot[1][0], rot[1][1], rot[1][2]},
      r2{rot[2][0], rot[2][1], rot[2][2]};
  if (r0.cross(r1).dot(r2) < 0) {  // mirrored: fold the reflection into one scale
    scale[2] = -scale[2];
    for (double& v : rot[2]) v = -v;
  }
  return true;
}

}  // namespace

Matrix4 blendMatrices(const Matrix4& a, const Matrix4& b, double fraction) {
  const double f = clampValue(fraction, 0.0, 1.0);
  if (f == 0.0) return a;
  if (f == 1.0) return b;
  double sa[3], sb[3], ra[3][3], rb[3][3];
  Matrix4 out;
  if (!decompose(a, sa, ra) || !decompose(b, sb, rb)) {
    for (int i = 0; i < 4; ++i)
      for (int j = 0; j < 4; ++j) out.m[i][j] = a.m[i][j] + (b.m[i][j] - a.m[i][j]) * f;
    return out;
  }
  double r[3][3];
  fromQuat(slerp(toQuat(ra), toQuat(rb), f), r);
  for (int i = 0; i < 3; ++i) {
    const double s = sa[i] + (sb[i] - sa[i]) * f;
    for (int j = 0; j < 3; ++j) out.m[i][j] = r[i][j] * s;
  }
  for (int j = 0; j < 3; ++j) out.m[3][j] = a.m[3][j] + (b.m[3][j] - a.m[3][j]) * f;
  return out;
}

Matrix4 rotationBetween(const Vector3& from, const Vector3& to) {
  const Vector3 a = from.normalized(), b = to.normalized();
  const double c = clampValue(a.dot(b), -1.0, 1.0);
  Vector3 axis = a.cross(b);
  if (axis.length() < 1e-12) {
    if (c > 0) return Matrix4();
    // Opposite directions: turn by pi about any axis perpendicular to a.
    axis = std::fabs(a.x) < 0.9 ? a.cross({1, 0, 0}) : a.cross({0, 1, 0});
    return Matrix4::rotAxis(axis, kPi);
  }
  return Matrix4::rotAxis(axis, std::acos(c));
}

}  // namespace syv

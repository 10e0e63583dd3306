// Shared geometry of the components: the sweep mesher, tropism, the photo
// turn, mesh appending, and the guard against non-finite output.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "core/components/component.h"
#include "core/components/evaluation_context.h"
#include "core/base/curve.h"
#include "core/base/math.h"
#include "core/mesh/mesh.h"
#include "core/mesh/outline.h"

namespace syv {

// True when both paths hold the same points, bit for bit.
bool samePath(const Path& a, const Path& b);

// Equal bytes, compared a word at a time in line: the memos compare keys of a
// few dozen bytes for every placement, where a call to memcmp costs more.
inline bool sameBits(const void* a, const void* b, size_t bytes) {
  const auto* p = static_cast<const unsigned char*>(a);
  const auto* q = static_cast<const unsigned char*>(b);
  uint64_t differ = 0;
  size_t k = 0;
  for (; k + sizeof(uint64_t) <= bytes; k += sizeof(uint64_t)) {
    uint64_t u, v;
    std::memcpy(&u, p + k, sizeof u);
    std::memcpy(&v, q + k, sizeof v);
    differ |= u ^ v;
  }
  for (; k < bytes; ++k) differ |= uint64_t(p[k] ^ q[k]);
  return differ == 0;
}

// Names the bits of a path a memo keeps: two paths given the same nonzero id
// hold the same points, so a memo downstream compares ids instead of points.
// 0 names nothing. A path keeps its id only while it is not changed.
using PathId = uint64_t;
PathId newPathId();

// Moves `outline` along `path` and writes one ring of vertices per path point
// before tEnd (plus a blended end ring at tEnd) and the quads between rings.
// - tEnd <= 1e-8 (or NaN) emits nothing; above 1 it counts as 1. It is compared
//   with the path's t values directly.
// - Ring i is S(r) * frame, r = clamp(radius(t / tEnd), 0, 1) * radiusScale;
//   outline point (x, y) becomes (x, y, 0) * (1 + profile(u)) * outlineMatrix
//   * ring matrix.
// - Face corners a, b, c, d run (i, k+1), (i+1, k+1), (i+1, k), (i, k);
//   texture u is the outline point's u (1.0 at the closing corner of a closed
//   contour), texture v the ring index.
// - Paths shorter than two points and empty outlines emit nothing.
// - A sweep above kMaxSweepQuads, or one whose vertices or texture
//   coordinates would not be finite, emits nothing and logs a warning.
// Returns false only when the sink refuses the reservation.
// With a memo, the vertices and quads of the last sweep whose inputs were all the same
// (bit for bit, and curves that draw and log nothing) are written again
// instead of being worked out anew; `pathId` names the path's bits if nonzero.
struct SweepMemo;
bool sweepOutline(MeshSink& sink, const Path& path, const CurveParameter& radius,
                  const Outline& outline, const Matrix4& outlineMatrix, double tEnd,
                  double radiusScale, const CurveParameter& profile, SweepMemo* memo = nullptr,
                  PathId pathId = 0);

// A pair of curves last found pure (drawing and logging nothing when read):
// telling that anew means reading the expression's text, so a pair that is
// the same as last time, by mode and points, is taken as pure again.
struct PureCurves {
  bool known = false;
  CurveParameter first, second;
};

struct SweepMemo {
  bool valid = false;
  PureCurves pure;
  Path path;
  PathId pathId = 0;
  Outline outline;
  Matrix4 outlineMatrix;
  double tEnd = 0.0, radiusScale = 0.0;
  uint64_t ringCount = 0;
  std::vector<Vector3> vertices;
  // The quads as written, indices from vertex 0; empty until a sweep wrote them.
  std::vector<Face> faces;
  std::vector<TexFace> texFaces;
};

// The last bent path of a caller whose paths repeat (every leaf of a
// component bends the same turtle path). Where no point has a pull, the bends
// depend on the path alone, not on the environment, so it is copied.
struct TropismMemo {
  bool valid = false;
  PureCurves pure;
  // Paths that keep being pulled never replay: after some misses in a row
  // the memo is only tried now and then.
  uint32_t misses = 0, skipped = 0;
  Path input, output;
  PathId inputId = 0, outputId = 0;
  std::vector<double> previous;  // per bent point: the segment before it
  std::vector<Matrix4> inverse;  // per bent point: its pivot frame's inverse
  bool inverseModerate = false;  // their first three rows all within 1e199 in magnitude
  // The pure pair read at the input's points (by `length`) gave no pull
  // anywhere; false once the pair or the input is new.
  bool unpulledKnown = false;
  double unpulledLength = 0.0;
};

// Bends the path in place towards (positive `towards`) or away from
// (positive `away`) the direction (0, 0, 1) * environment. Curves are read at
// path[k-1].t / length and clamped to [0, 1]; equal values cancel. Each bend
// turns the rest of the path about the previous frame. Always true.
// With a memo, `id` (if given) names the path's bits before and after.
bool applyTropism(const CurveParameter& towards, const CurveParameter& away, Path& path,
                  const Matrix4& environment, double length, TropismMemo* memo = nullptr,
                  PathId* id = nullptr);

// The rotation that turns the axis `dir` (0 X, 1 Y, other Z) of frame m
// towards the scene's up direction by `fraction` (down when negative).
// mode 1 restricts the pull to the plane perpendicular to that axis.
// |fraction| < 1e-8 gives the identity; a degenerate pull gives the identity.
Matrix4 photoTransform(const Matrix4& m, uint16_t dir, double fraction, uint16_t mode);

// Copies every vertex (times matrix), face (indices shifted to the sink's base;
// material replaced when material >= 0) and texture face into the sink.
// A mesh with a non-finite transformed vertex is skipped with a warning.
// Returns false only when the sink refuses the reservation.
bool appendMesh(MeshSink& sink, const MeshReader& mesh, const Matrix4& matrix, int32_t material);

// Guards against non-finite output. Each returns true when everything is
// finite; otherwise it logs "<who>: non-finite geometry skipped" as a warning
// and returns false, and the caller emits nothing of that piece.
bool finiteOrWarn(const std::vector<Vector3>& points, const std::string& who);
bool finiteOrWarn(const Path& path, const std::string& who);
bool finiteOrWarn(const Matrix4& m, const std::string& who);
bool finiteOrWarn(double value, const std::string& who);
// The same with `who()` called only when it warns.
template <typename Describe, typename = decltype(std::string(std::declval<Describe>()()))>
bool finiteOrWarn(const Path& path, const Describe& who) {
  for (const PathPoint& p : path)
    if (!std::isfinite(p.t) || !p.frame.isFinite()) return finiteOrWarn(path, who());
  return true;
}
template <typename Describe, typename = decltype(std::string(std::declval<Describe>()()))>
bool finiteOrWarn(const Matrix4& m, const Describe& who) {
  return m.isFinite() || finiteOrWarn(m, who());
}

// The linked primitive shape's outline (context object 1006), transformed by
// S(1 / scale) * (shape's matrix)^-1 * S(scale). False, out untouched, when
// there is no linked shape or it has no points.
bool linkedShapeOutline(const EvaluationContext& context, double scale, Outline& out);

}  // namespace syv

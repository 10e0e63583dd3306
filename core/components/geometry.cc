#include "core/components/geometry.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <sstream>

#include "core/components/limits.h"
#include "core/base/log.h"

namespace syv {

double clampCount(double value, double maximum, const std::string& what) {
  double result = value;
  if (std::isnan(value) || value < 0.0)
    result = 0.0;
  else if (value > maximum)
    result = maximum;
  if (result != value || std::isnan(value)) {
    std::ostringstream text;
    text << what << ": count " << value << " out of range, using " << result;
    LogChannel::warning(text.str());
  }
  return result;
}

namespace {

void warnNonFinite(const std::string& who) {
  LogChannel::warning(who + ": non-finite geometry skipped");
}

// The uniform scale S(r) applied before a frame: its first three rows scaled.
Matrix4 scaledFrame(const Matrix4& frame, double r) {
  Matrix4 m = frame;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 4; ++j) m.m[i][j] *= r;
  return m;
}

// Reading it draws nothing and logs nothing, so it may be read again or not
// at all. Only functions: what an expression reads also depends on its variables.
bool pureCurve(const CurveParameter& c) {
  return c.mode() != 0 && c.readsLinearly() && !c.drawsRandom();
}

// Reads alike: pure curves with the same mode and points.
bool sameCurve(const CurveParameter& a, const CurveParameter& b) {
  static_assert(sizeof(CurvePoint) == 6 * sizeof(double) + 2 * sizeof(int32_t),
                "compared as bytes");
  const int n = a.pointCount();
  if (a.mode() != b.mode() || n != b.pointCount()) return false;
  for (int k = 0; k < n; ++k)
    if (!sameBits(a.point(k), b.point(k), sizeof(CurvePoint))) return false;
  return true;
}

bool sameOutline(const Outline& a, const Outline& b) {
  static_assert(sizeof(OutlinePoint) == 4 * sizeof(double), "compared as bytes");
  const uint32_t n = a.pointCount(), contours = a.contourCount();
  if (n != b.pointCount() || contours != b.contourCount()) return false;
  for (uint32_t c = 0; c < contours; ++c)
    if (a.contours()[c].pointCount != b.contours()[c].pointCount ||
        a.contours()[c].closed != b.contours()[c].closed)
      return false;
  return sameBits(a.points(), b.points(), n * sizeof(OutlinePoint));
}

// Mode and points decide a curve's purity once its expression is a function:
// such a curve's drawing depends on its mode alone.
enum class Purity { kImpure, kSameAsLast, kNew };
Purity purePair(PureCurves& seen, const CurveParameter& a, const CurveParameter& b) {
  if (seen.known && sameCurve(a, seen.first) && sameCurve(b, seen.second))
    return Purity::kSameAsLast;
  if (!(pureCurve(a) && pureCurve(b))) return Purity::kImpure;
  seen.first = a;
  seen.second = b;
  seen.known = true;
  return Purity::kNew;
}

// The curves need no comparison: a memo stays valid only while every sweep
// since it was kept brought the same pure pair.
bool keptSweep(const SweepMemo& memo, const Path& path, PathId pathId, const Outline& outline,
               const Matrix4& outlineMatrix, double tEnd, double radiusScale) {
  return memo.valid && ((pathId != 0 && pathId == memo.pathId) || samePath(path, memo.path)) &&
         sameBits(&tEnd, &memo.tEnd, sizeof tEnd) &&
         sameBits(&radiusScale, &memo.radiusScale, sizeof radiusScale) &&
         sameBits(&outlineMatrix, &memo.outlineMatrix, sizeof outlineMatrix) &&
         sameOutline(outline, memo.outline);
}

// Two lanes of doubles, each working out its own sum in the scalar order.
using Lanes = double __attribute__((vector_size(16)));

struct Ring {
  Matrix4 frame;
  double radiusT;  // where the radius curve is read (a blended ring keeps its point's t)
};

// The most vertices a memo keeps (a leaf has some hundreds).
constexpr size_t kKeptVertices = 65536, kKeptQuads = 16384;

// Reused between sweeps so that steady generation does not allocate per sweep.
struct SweepBuffers {
  std::vector<Ring> rings;
  std::vector<Vector3> vertices, shared;
  std::vector<double> pointU;
  std::vector<Face> faces;
  std::vector<TexFace> texFaces;
};

// Reached once per sweep and passed on: in a loaded library a thread_local's
// address costs a call, which the compiler would rather repeat inside the
// loops than keep in a register.
[[gnu::noinline]] SweepBuffers& sweepBuffers() {
  thread_local SweepBuffers buffers;
  return buffers;
}

}  // namespace

bool finiteOrWarn(const std::vector<Vector3>& points, const std::string& who) {
  for (const Vector3& p : points)
    if (!p.isFinite()) {
      warnNonFinite(who);
      return false;
    }
  return true;
}

bool finiteOrWarn(const Path& path, const std::string& who) {
  for (const PathPoint& p : path)
    if (!std::isfinite(p.t) || !p.frame.isFinite()) {
      warnNonFinite(who);
      return false;
    }
  return true;
}

bool finiteOrWarn(const Matrix4& m, const std::string& who) {
  if (m.isFinite()) return true;
  warnNonFinite(who);
  return false;
}

bool finiteOrWarn(double value, const std::string& who) {
  if (std::isfinite(value)) return true;
  warnNonFinite(who);
  return false;
}

namespace {

struct SweepShape {
  uint64_t pointTotal = 0;    // outline points per ring
  uint64_t quadsPerRing = 0;
};

SweepShape sweepShape(const Outline& outline) {
  SweepShape shape;
  for (uint32_t c = 0; c < outline.contourCount(); ++c) {
    const uint64_t n = outline.contourPointCount(c);
    shape.pointTotal += n;
    if (n > 0) shape.quadsPerRing += outline.isContourClosed(c) ? n : n - 1;
  }
  return shape;
}

// Rings: every path point before tEnd, then one end ring (blended when tEnd
// falls between two points). Faces only ever join rings that are written.
void collectRings(const Path& path, double tEnd, std::vector<Ring>& rings) {
  rings.clear();
  for (size_t i = 0; i < path.size(); ++i) {
    if (i > 0 && path[i - 1].t >= tEnd) break;
    if (i > 0 && path[i].t > tEnd) {
      const double span = path[i].t - path[i - 1].t;
      const double f = span > 0.0 ? (tEnd - path[i - 1].t) / span : 1.0;
      rings.push_back({blendMatrices(path[i - 1].frame, path[i].frame, f), path[i].t});
      break;
    }
    rings.push_back({path[i].frame, path[i].t});
  }
}

bool withinSweepBounds(uint64_t vertexTotal, uint64_t quadTotal) {
  if (vertexTotal <= kMaxSweepVertices && quadTotal <= kMaxSweepQuads) return true;
  std::ostringstream text;
  text << "sweep of " << quadTotal << " quads and " << vertexTotal
       << " vertices exceeds the bounds; skipped";
  LogChannel::warning(text.str());
  return false;
}

// The outline point j, profiled and through outlineMatrix, before its ring's frame.
Vector3 outlinePoint(const Outline& outline, uint32_t j, const Matrix4& outlineMatrix,
                     const CurveParameter& profile) {
  double u = 0.0;
  Vector3 p;
  outline.getPoint(j, u, p);
  const Vector3 q = Vector3(p.x, p.y, 0.0) * (1.0 + profile.evaluate(u));
  return outlineMatrix.transformPoint(q);
}

// Every ring's vertices, ring after ring; false when one is not finite. A
// plain profile curve gives each outline point the same value on every ring,
// so its point is worked out once; an expression (perhaps random) is still
// evaluated per vertex, in order.
bool sweepVertices(const std::vector<Ring>& rings, const Outline& outline,
                   const Matrix4& outlineMatrix, const CurveParameter& profile,
                   const CurveParameter& radius, double tEnd, double radiusScale, uint32_t P,
                   std::vector<Vector3>& shared, std::vector<Vector3>& vertices) {
  const bool plain = profile.mode() == 1;
  if (plain) {
    shared.resize(P);
    for (uint32_t j = 0; j < P; ++j) shared[j] = outlinePoint(outline, j, outlineMatrix, profile);
  }
  vertices.resize(rings.size() * P);
  Vector3* out = vertices.data();
  // v - v is 0 for a finite v and NaN otherwise: one test at the end.
  double lx = 0.0, ly = 0.0, lz = 0.0;
  Lanes lxy = {0.0, 0.0};
  for (const Ring& ring : rings) {
    const double r = clampValue(radius.evaluate(ring.radiusT / tEnd), 0.0, 1.0) * radiusScale;
    const Matrix4 frame = scaledFrame(ring.frame, r);
    if (plain) {
      // transformPoint with x and y side by side, each lane in its order.
      const double(*f)[4] = frame.m;
      const Lanes r0 = {f[0][0], f[0][1]}, r1 = {f[1][0], f[1][1]}, r2 = {f[2][0], f[2][1]},
                  r3 = {f[3][0], f[3][1]};
      for (uint32_t j = 0; j < P; ++j, ++out) {
        const Vector3& p = shared[j];
        const Lanes xy =
            ((Lanes{p.x, p.x} * r0 + Lanes{p.y, p.y} * r1) + Lanes{p.z, p.z} * r2) + r3;
        const double z = ((p.x * f[0][2] + p.y * f[1][2]) + p.z * f[2][2]) + f[3][2];
        lxy += xy - xy;
        lz += z - z;
        out->x = xy[0];
        out->y = xy[1];
        out->z = z;
      }
      continue;
    }
    for (uint32_t j = 0; j < P; ++j) {
      const Vector3 v = frame.transformPoint(outlinePoint(outline, j, outlineMatrix, profile));
      lx += v.x - v.x;
      ly += v.y - v.y;
      lz += v.z - v.z;
      *out++ = v;
    }
  }
  return lx + ly + lz + lxy[0] + lxy[1] == 0.0;
}

bool finiteTexture(const Outline& outline, uint32_t P) {
  for (uint32_t j = 0; j < P; ++j) {
    double u = 0.0;
    Vector3 p;
    if (outline.getPoint(j, u, p) && !std::isfinite(u)) {
      warnNonFinite("sweep texture");
      return false;
    }
  }
  return true;
}

// The quads between consecutive rings and their texture faces, handed to the
// sink in chunks.
void sweepFaces(MeshSink& sink, const Outline& outline, uint64_t ringCount, uint32_t P,
                uint32_t vertexBase, uint32_t faceBase, SweepBuffers& buffers,
                SweepMemo* keep) {
  std::vector<double>& pointU = buffers.pointU;
  std::vector<Face>& faces = buffers.faces;
  std::vector<TexFace>& texFaces = buffers.texFaces;
  pointU.assign(P, 0.0);  // a point the outline lacks reads as u = 0
  for (uint32_t j = 0; j < P; ++j) {
    Vector3 p;
    outline.getPoint(j, pointU[j], p);
  }
  // Materials and w stay 0 from the first sizing: nothing else writes them.
  constexpr uint32_t kChunk = 256;
  faces.resize(kChunk);
  texFaces.resize(kChunk);
  uint32_t pending = 0, f = faceBase;
  auto flush = [&] {
    if (keep != nullptr) {
      keep->texFaces.insert(keep->texFaces.end(), texFaces.begin(), texFaces.begin() + pending);
      for (uint32_t k = 0; k < pending; ++k) {
        Face g = faces[k];
        g.a -= vertexBase;
        g.b -= vertexBase;
        g.c -= vertexBase;
        g.d -= vertexBase;
        keep->faces.push_back(g);
      }
    }
    sink.setQuads(f, faces.data(), texFaces.data(), pending);
    f += pending;
    pending = 0;
  };
  const uint32_t contours = outline.contourCount();
  for (uint32_t i = 0; i + 1 < ringCount; ++i) {
    const uint32_t row = vertexBase + i * P, next = row + P;
    const double v0 = double(i), v1 = double(i + 1);
    uint32_t s = 0;
    for (uint32_t c = 0; c < contours; ++c) {
      const uint32_t n = outline.contourPointCount(c);
      const bool closed = outline.isContourClosed(c);
      const uint32_t quads = n == 0 ? 0 : (closed ? n : n - 1);
      for (uint32_t k = 0; k < quads; ++k) {
        const bool wrap = closed && k + 1 == n;
        const uint32_t ahead = wrap ? s : s + k + 1;
        Face& face = faces[pending];
        face.a = row + ahead;
        face.b = next + ahead;
        face.c = next + s + k;
        face.d = row + s + k;
        const double u0 = pointU[s + k], u1 = wrap ? 1.0 : pointU[s + k + 1];
        Vector3* uv = texFaces[pending].uv;
        uv[0].x = u1;
        uv[0].y = v0;
        uv[1].x = u1;
        uv[1].y = v1;
        uv[2].x = u0;
        uv[2].y = v1;
        uv[3].x = u0;
        uv[3].y = v0;
        if (++pending == kChunk) flush();
      }
      s += n;
    }
  }
  if (pending > 0) flush();
}

// A kept sweep's quads again, their indices moved to the new vertices.
void replayFaces(MeshSink& sink, const SweepMemo& memo, uint32_t vertexBase, uint32_t faceBase) {
  sink.setShiftedQuads(faceBase, memo.faces.data(), memo.texFaces.data(),
                       static_cast<uint32_t>(memo.faces.size()), vertexBase, -1);
}

}  // namespace

PathId newPathId() {
  static std::atomic<PathId> last{0};
  return ++last;
}

bool samePath(const Path& a, const Path& b) {
  static_assert(sizeof(PathPoint) == 17 * sizeof(double), "compared as bytes");
  return a.size() == b.size() && sameBits(a.data(), b.data(), a.size() * sizeof(PathPoint));
}

bool sweepOutline(MeshSink& sink, const Path& path, const CurveParameter& radius,
                  const Outline& outline, const Matrix4& outlineMatrix, double tEnd,
                  double radiusScale, const CurveParameter& profile, SweepMemo* memo,
                  PathId pathId) {
  if (!(tEnd > 1e-8)) return true;  // also NaN
  if (tEnd > 1.0) tEnd = 1.0;
  if (path.size() < 2) return true;
  const SweepShape shape = sweepShape(outline);
  if (shape.pointTotal == 0) return true;
  const uint32_t P = static_cast<uint32_t>(shape.pointTotal);

  if (memo != nullptr) {
    const Purity purity = purePair(memo->pure, radius, profile);
    if (purity != Purity::kSameAsLast) memo->valid = false;
    if (purity == Purity::kImpure) memo = nullptr;
  }
  SweepBuffers& buffers = sweepBuffers();
  std::vector<Vector3>& vertices = buffers.vertices;
  const Vector3* vertexData = nullptr;
  uint64_t ringCount = 0;
  bool kept = false;
  if (memo != nullptr &&
      keptSweep(*memo, path, pathId, outline, outlineMatrix, tEnd, radiusScale)) {
    ringCount = memo->ringCount;
    vertexData = memo->vertices.data();
    kept = true;
  } else {
    if (memo != nullptr) memo->valid = false;
    std::vector<Ring>& rings = buffers.rings;
    collectRings(path, tEnd, rings);
    ringCount = rings.size();
    if (ringCount < 2) return true;
    if (!withinSweepBounds(ringCount * shape.pointTotal, (ringCount - 1) * shape.quadsPerRing))
      return true;
    if (!sweepVertices(rings, outline, outlineMatrix, profile, radius, tEnd, radiusScale, P,
                       buffers.shared, vertices)) {
      warnNonFinite("sweep");
      return true;
    }
    vertexData = vertices.data();
    if (memo != nullptr && vertices.size() <= kKeptVertices) {
      memo->path = path;
      memo->pathId = pathId;
      memo->outline = outline;
      memo->outlineMatrix = outlineMatrix;
      memo->tEnd = tEnd;
      memo->radiusScale = radiusScale;
      memo->ringCount = ringCount;
      memo->vertices.assign(vertices.begin(), vertices.end());
      memo->faces.clear();
      memo->texFaces.clear();
      memo->valid = true;
    }
  }
  // The same outline as a sweep that wrote its quads has finite texture.
  const bool replay = kept && !memo->faces.empty();
  if (!replay && !finiteTexture(outline, P)) return true;

  const uint64_t vertexTotal = ringCount * shape.pointTotal;
  const uint64_t quadTotal = (ringCount - 1) * shape.quadsPerRing;
  uint32_t vertexBase = 0, faceBase = 0;
  if (!sink.reserve(static_cast<uint32_t>(vertexTotal), static_cast<uint32_t>(quadTotal),
                    vertexBase, faceBase))
    return false;
  sink.setVertices(vertexBase, vertexData, static_cast<uint32_t>(vertexTotal));
  if (replay)
    replayFaces(sink, *memo, vertexBase, faceBase);
  else
    sweepFaces(sink, outline, ringCount, P, vertexBase, faceBase, buffers,
               memo != nullptr && memo->valid && quadTotal <= kKeptQuads ? memo : nullptr);
  // Let a huge one-off sweep give its memory back.
  if (vertices.capacity() > 262144) std::vector<Vector3>().swap(vertices);
  return true;
}

namespace {

constexpr uint32_t kTropismMisses = 16, kTropismRetry = 64;

// With no pull the target is the segment's own direction (the up direction
// adds only signed zeros, which change no bend), so the path alone decides.
// Whether the pure curves pull is the same at the same points and length.
bool replays(const CurveParameter& towards, const CurveParameter& away, const Path& path,
             PathId id, const Vector3& up, double length, TropismMemo& memo) {
  if (!memo.valid || !((id != 0 && id == memo.inputId) || samePath(path, memo.input)))
    return false;
  const bool unpulled =
      memo.unpulledKnown && sameBits(&length, &memo.unpulledLength, sizeof length);
  // Three products of factors within 1e100 and 1e199 sum to a finite value:
  // the directions need no test.
  const bool finite = memo.inverseModerate && std::fabs(up.x) <= 1e100 &&
                      std::fabs(up.y) <= 1e100 && std::fabs(up.z) <= 1e100;
  for (size_t k = 2; k < path.size(); ++k) {
    if (!unpulled) {
      const double s = path[k - 1].t / length;
      const double w1 = clampValue(towards.evaluate(s), 0.0, 1.0);
      const double w2 = clampValue(away.evaluate(s), 0.0, 1.0);
      if (!((w1 - w2) * memo.previous[k - 2] == 0.0)) return false;
    }
    if (!finite && !memo.inverse[k - 2].transformDirection(up).isFinite()) return false;
  }
  memo.unpulledKnown = true;
  memo.unpulledLength = length;
  return true;
}

}  // namespace

bool applyTropism(const CurveParameter& towards, const CurveParameter& away, Path& path,
                  const Matrix4& environment, double length, TropismMemo* memo, PathId* id) {
  const PathId inputId = id != nullptr ? *id : 0;
  if (id != nullptr) *id = 0;
  const Vector3 up = environment.transformDirection({0.0, 0.0, 1.0});
  if (memo != nullptr && memo->misses >= kTropismMisses && ++memo->skipped % kTropismRetry != 0)
    memo = nullptr;
  if (memo != nullptr) {
    const Purity purity = purePair(memo->pure, towards, away);
    if (purity != Purity::kSameAsLast) memo->unpulledKnown = false;
    if (purity == Purity::kImpure) {
      memo->valid = false;
      memo = nullptr;
    }
  }
  if (memo != nullptr) {
    if (replays(towards, away, path, inputId, up, length, *memo)) {
      path = memo->output;
      if (id != nullptr) *id = memo->outputId;
      memo->misses = 0;
      return true;
    }
    if (memo->misses < kTropismMisses) ++memo->misses;
    memo->input = path;
    memo->inputId = inputId;
    memo->unpulledKnown = false;
    memo->previous.clear();
    memo->inverse.clear();
  }
  bool unpulled = true;
  // Each bend turns every later frame; instead of touching them all per bend
  // (quadratic in the path length), the turns are collected in `pending` and
  // a frame takes them on when the loop reaches it.
  Matrix4 pending;
  bool bent = false;  // until the first bend `pending` is the identity
  for (size_t k = 2; k < path.size(); ++k) {
    path[k].frame = bent ? path[k].frame * pending : scaledColumns(path[k].frame, 1.0, 1.0, 1.0);
    const Matrix4& a = path[k - 1].frame;
    const Matrix4 aInv = a.inverse();
    const Vector3 dl = aInv.transformDirection(up);
    const Vector3 g = aInv.transformDirection(path[k].frame.position() - a.position());
    const double s = path[k - 1].t / length;
    const double w1 = clampValue(towards.evaluate(s), 0.0, 1.0);
    const double w2 = clampValue(away.evaluate(s), 0.0, 1.0);
    const double previous = (a.position() - path[k - 2].frame.position()).length();
    const Vector3 gUnit = g.normalized();
    // Without a pull the up direction adds only signed zeros, which its own
    // components give as its normalised ones do (NaN where not finite).
    const double pull = (w1 - w2) * previous;
    if (memo != nullptr) {
      memo->previous.push_back(previous);
      memo->inverse.push_back(aInv);
      unpulled = unpulled && pull == 0.0 && dl.isFinite();
    }
    const Vector3 target = gUnit + (pull == 0.0 ? dl : dl.normalized()) * pull;
    const double c = clampValue(target.normalized().dot(gUnit), -1.0, 1.0);
    const double angle = std::acos(c);
    if (!(angle > 1e-8)) continue;  // also NaN: no bend rather than a broken path
    const Matrix4 turn = aInv * Matrix4::rotAxis(-(target.cross(g)), angle) * a;
    path[k].frame = path[k].frame * turn;
    pending = bent ? pending * turn : scaledRows(1.0, turn);
    bent = true;
  }
  if (memo != nullptr) {
    memo->valid = unpulled;
    if (unpulled) {
      bool moderate = true;  // NaN is not
      for (const Matrix4& m : memo->inverse)
        for (int i = 0; i < 3; ++i)
          for (int j = 0; j < 3; ++j) moderate = moderate && std::fabs(m.m[i][j]) <= 1e199;
      memo->inverseModerate = moderate;
      memo->output = path;
      memo->outputId = newPathId();
      if (id != nullptr) *id = memo->outputId;
    }
  }
  return true;
}

Matrix4 photoTransform(const Matrix4& m, uint16_t dir, double fraction, uint16_t mode) {
  if (!(std::fabs(fraction) >= 1e-8)) return Matrix4();  // also NaN
  // W brings the selected axis into the Z row, so that one turn serves all three.
  Matrix4 w;
  if (dir == 0)
    w = Matrix4::rotY(kPi / 2);
  else if (dir == 1)
    w = Matrix4::rotX(-kPi / 2);
  const Matrix4 p = w * m;

  const Vector3 z = p.row(2).normalized();
  Vector3 a(0.0, 0.0, 1.0);
  double f = fraction;
  if (fraction < 0) {
    a = -a;
    f = -fraction;
  }
  if (mode == 1) {
    const Vector3 r = m.row(2).normalized();
    a = (a - r * a.dot(r)).normalized();
  }
  const Vector3 blended = z * (1.0 - f) + a * f;
  // Only a pull that cancels the axis completely leaves no direction to turn to;
  // a full turn downwards is a direction like any other.
  if (blended.length() < 1e-12) return Matrix4();

  const Vector3 target = blended.normalized() + p.position();
  const Matrix4 pInv = p.inverse();
  Vector3 d = pInv.transformPoint(target);
  const double hw = target.x * pInv.m[0][3] + target.y * pInv.m[1][3] +
                    target.z * pInv.m[2][3] + pInv.m[3][3];
  if (hw != 1.0 && std::fabs(hw) >= 1e-8) d = d / hw;
  if (d.y == 0.0 && d.z == 0.0) return Matrix4();
  if (!d.isFinite()) return Matrix4();

  // rotX(ax) then rotY(ay) take d onto +Z; the turn is the inverse, Z onto d.
  const double ax = std::atan2(d.y, d.z);
  const double zx = std::sqrt(d.y * d.y + d.z * d.z);
  const double ay = std::atan2(-d.x, zx);
  const Matrix4 turn = Matrix4::rotY(-ay) * Matrix4::rotX(-ax);
  return w.inverse() * turn * w;
}

bool appendMesh(MeshSink& sink, const MeshReader& mesh, const Matrix4& matrix, int32_t material) {
  const uint32_t vertexCount = mesh.vertexCount(), faceCount = mesh.faceCount();
  for (uint32_t i = 0; i < vertexCount; ++i)
    if (!matrix.transformPoint(mesh.vertex(i)).isFinite()) {
      warnNonFinite("appendMesh");
      return true;
    }
  for (uint32_t i = 0; i < faceCount; ++i) {
    const Face face = mesh.face(i);
    if (face.a >= vertexCount || face.b >= vertexCount || face.c >= vertexCount ||
        face.d >= vertexCount) {
      LogChannel::warning("appendMesh: face index beyond the mesh's vertices; mesh skipped");
      return true;
    }
  }
  uint32_t vertexBase = 0, faceBase = 0;
  if (!sink.reserve(vertexCount, faceCount, vertexBase, faceBase)) return false;
  for (uint32_t i = 0; i < vertexCount; ++i)
    sink.setVertex(vertexBase + i, matrix.transformPoint(mesh.vertex(i)));
  for (uint32_t i = 0; i < faceCount; ++i) {
    Face face = mesh.face(i);
    face.a += vertexBase;
    face.b += vertexBase;
    face.c += vertexBase;
    face.d += vertexBase;
    if (material >= 0) face.material = material;
    sink.setFace(faceBase + i, face);
    sink.setTexFace(faceBase + i, mesh.texFace(i));
  }
  return true;
}

bool linkedShapeOutline(const EvaluationContext& context, double scale, Outline& out) {
  const SceneObject* shape = context.object(kIdLinkedObject);
  if (shape == nullptr) return false;
  const Outline* outline = shape->shape();
  if (outline == nullptr || outline->pointCount() == 0) return false;
  out = *outline;
  out.transform(Matrix4::scale(1.0 / scale) * shape->transform().inverse() *
                Matrix4::scale(scale));
  return true;
}

}  // namespace syv

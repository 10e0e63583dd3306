#include "core/components/classic_horn.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/base/expression.h"
#include "core/components/geometry.h"
#include "core/components/limits.h"

namespace syv {

namespace {

std::string describe(const ClassicHorn& horn) {
  return horn.typeName() + " '" + horn.name + "'";
}

bool collapsed(const Matrix4& m) {
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c)
      if (std::fabs(m.m[r][c]) > 1e-6) return false;
  return true;
}

// The turtle's turns and steps, each applied on the left of a finite turtle
// with only the terms of the matrix's non-zero entries: the full product's
// sum starts at +0 and is never -0, so its other (signed zero) terms leave it
// as it is, and these give the same bits. Anything non-finite takes the full
// product.
enum class Axis { X, Y, Z };

Matrix4 turned(Axis axis, double angle, const Matrix4& t) {
  // No turn (cos 1, sin +-0): each mixed sum is the entry itself plus signed
  // zeros, which is the entry + 0.
  if (angle == 0.0 && t.isFinite()) {
    Matrix4 r = t;
    for (int i = 0; i < 4; ++i)
      for (int j = 0; j < 4; ++j) r.m[i][j] = t.m[i][j] + 0.0;
    return r;
  }
  const double c = std::cos(angle), s = std::sin(angle);
  if (!(std::isfinite(c) && std::isfinite(s) && t.isFinite())) {
    const Matrix4 r = axis == Axis::X ? Matrix4::rotX(angle)
                      : axis == Axis::Y ? Matrix4::rotY(angle) : Matrix4::rotZ(angle);
    return r * t;
  }
  // The two rows the turn mixes, with the matrix's entries (row p: c, s at
  // columns p, q; row q: -s, c), in the full product's column order.
  const int p = axis == Axis::X ? 1 : 0, q = axis == Axis::Z ? 1 : 2;
  const double pp = c, pq = axis == Axis::Y ? -s : s;
  const double qp = axis == Axis::Y ? s : -s, qq = c;
  Matrix4 r = t;
  for (int j = 0; j < 4; ++j) {
    for (int i = 0; i < 4; ++i) r.m[i][j] = t.m[i][j] + 0.0;
    r.m[p][j] = (0.0 + pp * t.m[p][j]) + pq * t.m[q][j];
    r.m[q][j] = (0.0 + qp * t.m[p][j]) + qq * t.m[q][j];
  }
  return r;
}

Matrix4 stepped(double x, double y, double z, const Matrix4& t) {
  if (!(std::isfinite(x) && std::isfinite(y) && std::isfinite(z) && t.isFinite()))
    return Matrix4::translation(x, y, z) * t;
  Matrix4 r = t;
  for (int j = 0; j < 4; ++j) {
    for (int i = 0; i < 3; ++i) r.m[i][j] = t.m[i][j] + 0.0;
    r.m[3][j] = (((0.0 + x * t.m[0][j]) + y * t.m[1][j]) + z * t.m[2][j]) + t.m[3][j];
  }
  return r;
}

bool sameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// True when reading the curve draws no random number and cannot log.
bool quiet(const CurveParameter& c) { return c.readsLinearly() && !c.drawsRandom(); }

}  // namespace

Path buildHornPath(const CurveParameter& bendX, const CurveParameter& bendY,
                   const CurveParameter& bendZ, const CurveParameter& shiftX,
                   const CurveParameter& shiftY, const CurveParameter& step,
                   const CurveParameter& twist, const CurveParameter& /*ribScale*/,
                   double segments, double length, double stepFactor) {
  Path path;
  const double steps = std::floor(
      clampCount(segments, kMaxPathPoints, [] { return std::string("horn path: segments"); }));
  if (!(steps >= 0.0)) return path;
  const auto N = static_cast<uint32_t>(steps);
  const double ls = length / segments;
  path.reserve(N + 1);
  Matrix4 turtle;
  double previous = 0.0;
  for (uint32_t i = 0; i <= N; ++i) {
    // A one-point path would otherwise get t = 0 / 0.
    const double s = N > 0 ? double(i) / N : 0.0;
    if (i > 0) {
      turtle = turned(Axis::X, -bendX.evaluate(previous) * ls, turtle);
      turtle = turned(Axis::Y, bendY.evaluate(previous) * ls, turtle);
      turtle = turned(Axis::Z, -bendZ.evaluate(previous) * ls, turtle);
      // The curves are read in the order of the call as it always was.
      const Vector3 move = Matrix4::translation(shiftX.evaluate(previous) * ls,
                                                shiftY.evaluate(previous) * ls,
                                                step.evaluate(previous) * ls * stepFactor)
                               .position();
      turtle = stepped(move.x, move.y, move.z, turtle);
    }
    path.push_back({s, turned(Axis::Z, -twist.evaluate(s), turtle)});
    previous = s;
  }
  return path;
}

void ClassicHorn::keyOf(const CurveParameter& c, CurveKey& key) {
  key.mode = c.mode();
  key.expression = c.expression();
  key.variables[0] = c.frameValue;
  key.variables[1] = c.tValue;
  key.variables[2] = c.ftimeValue;
  key.counts[0] = c.iterValue;
  key.counts[1] = c.chdrnValue;
  key.points.clear();
  for (int k = 0; k < c.pointCount(); ++k) key.points.push_back(*c.point(k));
}

bool ClassicHorn::matches(const CurveParameter& c, const CurveKey& key) {
  static_assert(sizeof(CurvePoint) == 6 * sizeof(double) + 2 * sizeof(int32_t),
                "compared as bytes");
  const int n = c.pointCount();
  if (c.mode() != key.mode || n != static_cast<int>(key.points.size())) return false;
  for (int k = 0; k < n; ++k)
    if (!sameBits(c.point(k), &key.points[k], sizeof(CurvePoint))) return false;
  const double variables[3] = {c.frameValue, c.tValue, c.ftimeValue};
  // A function's mode names its text; only a general expression compares it.
  return sameBits(variables, key.variables, sizeof variables) &&
         c.iterValue == key.counts[0] && c.chdrnValue == key.counts[1] &&
         (c.mode() != 0 || c.expression() == key.expression);
}

PathId ClassicHorn::turtlePath(double steps, double length, Path& path) {
  const CurveParameter* const curves[7] = {&bendX, &bendY, &bendZ, &shiftX,
                                           &shiftY, &step,  &twist};
  TurtleMemo& m = memo_;
  if (m.valid && sameBits(m.steps, steps) && sameBits(m.length, length) &&
      sameBits(m.stepFactor, stepFactor) && m.depth == maxExpressionDepth()) {
    bool same = true;
    for (int k = 0; k < 7 && same; ++k) same = matches(*curves[k], m.curves[k]);
    if (same) {
      path = m.path;
      return m.id;
    }
  }
  path = buildHornPath(bendX, bendY, bendZ, shiftX, shiftY, step, twist, ribScale, steps, length,
                       stepFactor);
  // A count in range warns of nothing; a depth already exceeded is left to be
  // met again by every placement.
  bool keep = steps >= 0.0 && steps <= kMaxPathPoints && !expressionDepthExceeded();
  for (const CurveParameter* c : curves) keep = keep && quiet(*c);
  m.valid = keep;
  if (!keep) return 0;
  m.steps = steps;
  m.length = length;
  m.stepFactor = stepFactor;
  m.depth = maxExpressionDepth();
  for (int k = 0; k < 7; ++k) keyOf(*curves[k], m.curves[k]);
  m.path = path;
  m.id = newPathId();
  return m.id;
}

uint32_t appendTipAndBase(const EvaluationContext& context, const Path& path, uint32_t flags,
                          ChildGroups& childTransforms) {
  uint32_t served = 0;
  if ((flags & kLinkTip) && !path.empty()) {
    ChildPlacement p = contextPlacement(context);
    p.frame = path.back().frame;
    p.t = path.back().t;
    ChildGroup group;
    group.kind = kLinkTip;
    group.placements.push_back(p);
    childTransforms.push_back(std::move(group));
    served |= kLinkTip;
  }
  return served | Component::emitStandardChildren(context, flags, childTransforms);
}

uint32_t ClassicHorn::linkKind(uint32_t index) const {
  switch (index) {
    case 0: return kLinkShape;
    case 1: return kLinkBranches;
    case 2: return kLinkTip;
    default: return kLinkOwnFrame;
  }
}

void ClassicHorn::placeFrames(const EvaluationContext& context, Path& path, PathId* id) const {
  const Matrix4 turn = contextPhotoTurn(context);
  FramesMemo& memo = framesMemo_;
  const PathId inputId = id != nullptr ? *id : 0;
  if (memo.valid && sameBits(memo.scale, scale) && sameBits(&memo.turn, &turn, sizeof turn) &&
      ((inputId != 0 && inputId == memo.inputId) || samePath(memo.input, path))) {
    path = memo.output;
    if (id != nullptr) *id = memo.outputId;
    return;
  }
  memo.input = path;
  memo.inputId = inputId;
  memo.turn = turn;
  memo.scale = scale;
  placeFramesAnew(turn, path);
  memo.output = path;
  memo.outputId = newPathId();
  if (id != nullptr) *id = memo.outputId;
  memo.valid = true;
}

void ClassicHorn::placeFramesAnew(const Matrix4& turn, Path& path) const {
  // The scale products as scaledRows / scaledColumns: the same bits, fewer operations.
  // Without a photo turn its product only adds +0 to each element of a finite
  // frame, which the scale product after it does anyway.
  const double down = 1.0 / scale, up = scale;
  const bool plainTurn = turn.isIdentity() && std::isfinite(up);
  // Both products in place, element by element as those two compute them,
  // when every operand is finite (the usual case); else as written above.
  const bool inPlace = plainTurn && std::isfinite(down);
  const double rows[4] = {down, down, down, 1.0}, columns[4] = {up, up, up, 1.0};
  for (PathPoint& p : path) {
    if (inPlace && p.frame.isFinite()) {
      Matrix4& f = p.frame;
      for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) f.m[i][j] = rows[i] * f.m[i][j] + 0.0;
      if (f.isFinite()) {
        for (int i = 0; i < 4; ++i)
          for (int j = 0; j < 4; ++j) f.m[i][j] = f.m[i][j] * columns[j] + 0.0;
        continue;
      }
      p.frame = scaledColumns(f * turn, up, up, up);
      continue;
    }
    const Matrix4 m = scaledRows(down, p.frame);
    p.frame = scaledColumns(plainTurn && m.isFinite() ? m : m * turn, up, up, up);
  }
}

uint32_t ClassicHorn::generate(const EvaluationContext& context, MeshSink& sink, uint32_t flags,
                               ChildGroups& childTransforms) {
  auto who = [this](const char* what) { return describe(*this) + what; };
  const double steps = clampCount(segments, kMaxPathPoints, [&] { return who(": segments"); });
  Path& path = scratchPath_;
  turtlePath(steps, hornLength, path);
  placeFrames(context, path);
  if (!finiteOrWarn(path, [&] { return who(" path"); })) return 0;

  Outline outline;
  if (linkedShapeOutline(context, scale, outline) &&
      !sweepOutline(sink, path, radius, outline, Matrix4(), 1.0, 1.0, profile))
    return 0;

  const SceneObject* shape = context.object(kIdLinkedObject);
  const Mesh* stamp = shape != nullptr ? shape->mesh() : nullptr;
  if (stamp != nullptr && stamp->faceCount() == 0) stamp = nullptr;
  const Matrix4 shapeMatrix = shape != nullptr ? shape->transform() : Matrix4();

  ChildGroup ribs;
  ribs.kind = kLinkBranches;
  const uint32_t count = path.size() >= 2 ? static_cast<uint32_t>(path.size() - 2) : 0;
  for (size_t i = 0; i + 1 < path.size(); ++i) {
    const double t = path[i].t;
    Matrix4 m = path[i].frame;
    if (stamp != nullptr && !collapsed(m)) {
      const Matrix4 placed = shapeMatrix * Matrix4::scale(radius.evaluate(t)) * m;
      if (finiteOrWarn(placed, [&] { return who(" stamped mesh"); }) &&
          !appendMesh(sink, *stamp, placed, -1))
        return 0;
    }
    if (i == 0) continue;
    m = Matrix4::rotX(-kPi / 2) * m;
    m = Matrix4::rotZ(-ribTwist.evaluate(t)) * m;
    m = Matrix4::scale(ribScale.evaluate(t)) * m;
    if (!finiteOrWarn(m, [&] { return who(" rib"); })) continue;
    ChildPlacement p = contextPlacement(context);
    p.frame = m;
    p.t = t;
    p.index = static_cast<uint32_t>(i - 1);
    p.count = count;
    ribs.placements.push_back(p);
  }
  childTransforms.push_back(std::move(ribs));
  return kLinkBranches | appendTipAndBase(context, path, flags, childTransforms);
}

}  // namespace syv

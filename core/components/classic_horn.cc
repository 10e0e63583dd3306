#include "core/components/classic_horn.h"

#include <algorithm>
#include <cmath>

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

}  // namespace

Path buildHornPath(const CurveParameter& bendX, const CurveParameter& bendY,
                   const CurveParameter& bendZ, const CurveParameter& shiftX,
                   const CurveParameter& shiftY, const CurveParameter& step,
                   const CurveParameter& twist, const CurveParameter& /*ribScale*/,
                   double segments, double length, double stepFactor) {
  Path path;
  const double steps = std::floor(clampCount(segments, kMaxPathPoints, "horn path: segments"));
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
      turtle = Matrix4::rotX(-bendX.evaluate(previous) * ls) * turtle;
      turtle = Matrix4::rotY(bendY.evaluate(previous) * ls) * turtle;
      turtle = Matrix4::rotZ(-bendZ.evaluate(previous) * ls) * turtle;
      turtle = Matrix4::translation(shiftX.evaluate(previous) * ls,
                                    shiftY.evaluate(previous) * ls,
                                    step.evaluate(previous) * ls * stepFactor) *
               turtle;
    }
    path.push_back({s, Matrix4::rotZ(-twist.evaluate(s)) * turtle});
    previous = s;
  }
  return path;
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

void ClassicHorn::placeFrames(const EvaluationContext& context, Path& path) const {
  const Matrix4 turn = contextPhotoTurn(context);
  // The scale products as scaledRows / scaledColumns: the same bits, fewer operations.
  const double down = 1.0 / scale, up = scale;
  for (PathPoint& p : path)
    p.frame = scaledColumns(scaledRows(down, p.frame) * turn, up, up, up);
}

uint32_t ClassicHorn::generate(const EvaluationContext& context, MeshSink& sink, uint32_t flags,
                               ChildGroups& childTransforms) {
  const std::string who = describe(*this);
  const double steps = clampCount(segments, kMaxPathPoints, who + ": segments");
  Path path = buildHornPath(bendX, bendY, bendZ, shiftX, shiftY, step, twist, ribScale, steps,
                            hornLength, stepFactor);
  placeFrames(context, path);
  if (!finiteOrWarn(path, who + " path")) return 0;

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
      if (finiteOrWarn(placed, who + " stamped mesh") && !appendMesh(sink, *stamp, placed, -1))
        return 0;
    }
    if (i == 0) continue;
    m = Matrix4::rotX(-kPi / 2) * m;
    m = Matrix4::rotZ(-ribTwist.evaluate(t)) * m;
    m = Matrix4::scale(ribScale.evaluate(t)) * m;
    if (!finiteOrWarn(m, who + " rib")) continue;
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

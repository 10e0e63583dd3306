#include "core/components/classic_revo.h"

#include <algorithm>
#include <cmath>
#include <map>

#include "core/components/geometry.h"
#include "core/components/limits.h"

namespace syv {

uint32_t ClassicRevo::generate(const EvaluationContext& context, MeshSink& sink, uint32_t flags,
                               ChildGroups& childTransforms) {
  const std::string who = "ClassicRevo '" + name + "'";
  const auto n = static_cast<size_t>(clampCount(double(profilePoints.size()), kMaxPathPoints,
                                                who + ": profile points"));
  Path path;
  path.reserve(n);
  std::map<double, double> pairs;
  double lo = 0.0, hi = 0.0;
  for (size_t i = 0; i < n; ++i) {
    const Vector3& q = profilePoints[i];
    // One point alone stands at t = 0 rather than 0 / 0.
    const double t = n > 1 ? double(i) / (n - 1) : 0.0;
    path.push_back({t, Matrix4::translation(0.0, 0.0, q.z)});
    pairs.emplace(t, q.x);
    lo = i == 0 ? q.x : std::min(lo, q.x);
    hi = i == 0 ? q.x : std::max(hi, q.x);
  }
  const CurveParameter radius(lo, hi, pairs, false, "id");

  const SceneObject* shape = context.object(kIdLinkedObject);
  const Outline* source = shape != nullptr ? shape->shape() : nullptr;
  if (source != nullptr && source->pointCount() > 0 && path.size() >= 2 &&
      finiteOrWarn(path, who + " profile")) {
    Outline outline = *source;
    outline.transform(shape->transform().inverse());
    Mesh body;
    if (!sweepOutline(body, path, radius, outline, Matrix4(), 1.0, 1.0, profile)) return 0;
    if (!appendMesh(sink, body, Matrix4(), -1)) return 0;
  }
  return emitStandardChildren(context, flags, childTransforms);
}

}  // namespace syv

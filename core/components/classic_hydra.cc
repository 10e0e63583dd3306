#include "core/components/classic_hydra.h"

#include <algorithm>
#include <cmath>

#include "core/components/geometry.h"
#include "core/components/limits.h"

namespace syv {

uint32_t ClassicHydra::generate(const EvaluationContext& context, MeshSink& /*sink*/,
                                uint32_t flags, ChildGroups& childTransforms) {
  uint32_t served = 0;
  if ((flags & kLinkBranches) && armCount > 1e-8) {
    const std::string who = "ClassicHydra '" + name + "'";
    const double count = clampCount(armCount, kMaxChildCount, who + ": arms");
    const auto N = static_cast<uint32_t>(std::floor(count));
    ChildGroup group;
    group.kind = kLinkBranches;
    for (uint32_t i = 0; i < N; ++i) {
      const double s = double(i) / N;
      const double u = N > 1 ? double(i) / (N - 1) : 0.0;
      Matrix4 m = Matrix4::rotZ(-armAround.evaluate(u));
      m = Matrix4::rotX(-armTilt.evaluate(s)) * m;
      m = Matrix4::rotZ(-armSpin.evaluate(u)) * m;
      m = Matrix4::scale(armScale.evaluate(u)) * m;
      if (!finiteOrWarn(m, who + " placement")) continue;
      ChildPlacement p = contextPlacement(context);
      p.frame = m;
      p.t = std::min(double(i), count) / count;
      p.index = i;
      p.count = N;
      group.placements.push_back(p);
    }
    childTransforms.push_back(std::move(group));
    served |= kLinkBranches;
  }
  return served | emitStandardChildren(context, flags, childTransforms);
}

}  // namespace syv

#include "core/components/classic_wreath.h"

#include <algorithm>
#include <cmath>

#include "core/components/geometry.h"
#include "core/components/limits.h"

namespace syv {

uint32_t ClassicWreath::generate(const EvaluationContext& context, MeshSink& /*sink*/,
                                 uint32_t flags, ChildGroups& childTransforms) {
  uint32_t served = 0;
  if ((flags & kLinkBranches) && wreathCount > 1e-8) {
    const std::string who = "ClassicWreath '" + name + "'";
    const double count = clampCount(wreathCount, kMaxChildCount, who + ": children");
    const auto N = static_cast<uint32_t>(std::floor(count));
    ChildGroup group;
    group.kind = kLinkBranches;
    for (uint32_t i = 0; i < N; ++i) {
      const Matrix4 m =
          Matrix4::translation(0.0, wreathRadius, 0.0) * Matrix4::rotZ(2.0 * kPi * i / N);
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

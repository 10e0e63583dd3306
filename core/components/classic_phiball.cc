#include "core/components/classic_phiball.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "core/components/geometry.h"
#include "core/components/limits.h"

namespace syv {

uint32_t ClassicPhiball::generate(const EvaluationContext& context, MeshSink& /*sink*/,
                                  uint32_t flags, ChildGroups& childTransforms) {
  if (!(childCount >= 1.0)) return 0;  // also NaN
  const std::string who = "ClassicPhiball '" + name + "'";
  const auto N = static_cast<uint32_t>(
      std::floor(clampCount(childCount, kMaxChildCount, who + ": children")));
  const double a0 = zone.evaluate(0.0), a1 = zone.evaluate(1.0);
  const double lo = std::min(a0, a1), hi = std::max(a0, a1);
  const double height = std::fabs(std::cos(hi) - std::cos(lo));
  const double r = scale * ballRadius;

  ChildPlacement base = contextPlacement(context);
  base.count = N;

  ChildGroup group;
  group.kind = kLinkBranches;
  auto place = [&](const Matrix4& m, uint32_t i) {
    if (!finiteOrWarn(m, who + " placement")) return;
    ChildPlacement p = base;
    p.frame = m;
    p.t = double(i) / N;
    p.index = i;
    group.placements.push_back(p);
  };

  double phase = 0.0;
  if (packing == 0.0 || N <= 1) {
    for (uint32_t i = 0; i < N; ++i) {
      double z = 1.0;
      if (childCount <= 1.0)
        z = -1.0;
      else if (i + 1 < N)
        z = 2.0 * i / (N - 1) - 1.0;
      place(Matrix4::translation(0.0, 0.0, r) * Matrix4::rotX(-std::acos(z)) *
                Matrix4::rotZ(-phase),
            i);
      phase += kGoldenTurn;
    }
  } else {
    std::vector<double> size(N);
    double maxSq = 0.0;
    for (uint32_t i = 0; i < N; ++i) {
      size[i] = std::fabs(childSize.evaluate(double(i) / N));
      if (i + 1 < N) maxSq = std::max(maxSq, size[i] * size[i]);
    }
    // All sizes zero would divide by zero; such children carry no area.
    auto area = [&](uint32_t i) {
      const double rel = maxSq > 0.0 ? size[i] * size[i] / maxSq : 0.0;
      return (1.0 - packing) + packing * packing * rel;
    };
    double total = 0.0;
    for (uint32_t i = 0; i + 1 < N; ++i) total += area(i);
    double remaining = total;
    for (uint32_t i = 0; i < N; ++i) {
      const double s = double(i) / N;
      const double fraction = total != 0.0 ? remaining / total : 0.0;
      // Rounding may leave the cosine a hair outside [-1, 1].
      const double polar =
          std::acos(clampValue(fraction * height - std::cos(lo), -1.0, 1.0));
      if (size[i] > 1e-8)
        place(Matrix4::scale(childScale.evaluate(s)) * Matrix4::translation(0.0, 0.0, r) *
                  Matrix4::rotX(-polar) * Matrix4::rotZ(-(phase + kPi / 2)),
              i);
      remaining = std::max(0.0, remaining - area(i));
      phase += spiral.evaluate(s);
    }
  }
  childTransforms.push_back(std::move(group));
  return kLinkBranches | emitStandardChildren(context, flags, childTransforms);
}

}  // namespace syv

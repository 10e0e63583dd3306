// Children (link kind 4) on a sphere in the phyllotactic pattern of seed
// heads, each with its Z axis along the outward normal, and base children
// (16). No geometry of its own.
#pragma once

#include <cstdint>
#include <string>

#include "core/components/component.h"

namespace syv {

// 2 pi divided by the golden ratio (222.49 degrees, the same turn as -137.51).
constexpr double kGoldenTurn = 3.8832221;

class ClassicPhiball : public Component {
 public:
  std::string typeName() const override { return "ClassicPhiball"; }
  // 0: the children on the sphere, others: the base.
  uint32_t linkKind(uint32_t index) const override {
    return index == 0 ? kLinkBranches : kLinkOwnFrame;
  }
  // 4, or 20 with the base; 0 (nothing at all) when childCount < 1.
  uint32_t generate(const EvaluationContext& context, MeshSink& sink, uint32_t flags,
                    ChildGroups& childTransforms) override;
  bool declareExtraParameters(EvaluationContext& /*registry*/) override { return true; }

  double childCount = 10.0;  // N = floor(childCount)
  double ballRadius = 0.5;   // times scale
  double packing = 1.0;      // 0: plain golden-angle mode, else weighted zone packing
  CurveParameter spiral;     // phase added per child (weighted mode)
  CurveParameter zone;       // polar bounds: values at 0 and 1, either order
  CurveParameter childSize;  // relative size of child i at i / N (weighted mode)
  CurveParameter childScale; // scale handed to child i (weighted mode)
};

}  // namespace syv

// Children (link kind 4) set radially around the own Z axis, each turned,
// tilted, spun and scaled by curves over the child's index, like the arms of
// a polyp or the petals of a flower; and base children (16).
#pragma once

#include <cstdint>
#include <string>

#include "core/components/component.h"

namespace syv {

class ClassicHydra : public Component {
 public:
  std::string typeName() const override { return "ClassicHydra"; }
  // 0: the arms, others: the base.
  uint32_t linkKind(uint32_t index) const override {
    return index == 0 ? kLinkBranches : kLinkOwnFrame;
  }
  // 4 when arms were asked for and armCount > 1e-8, plus 16 for the base.
  uint32_t generate(const EvaluationContext& context, MeshSink& sink, uint32_t flags,
                    ChildGroups& childTransforms) override;

  // Child i is read at s = i / N (armTilt) and u = i / (N - 1), 0 when N = 1.
  double armCount = 10.0;   // N = floor(armCount)
  CurveParameter armSpin;   // turn about the child's own Z, at u
  CurveParameter armAround; // position angle around the hydra's Z, at u
  CurveParameter armTilt;   // tilt about X, at s
  CurveParameter armScale;  // uniform scale, at u
};

}  // namespace syv

// Children (link kind 4) at equal angles on a circle in the own XY plane,
// each turned to face along the circle; and base children (16).
#pragma once

#include <cstdint>
#include <string>

#include "core/components/component.h"

namespace syv {

class ClassicWreath : public Component {
 public:
  std::string typeName() const override { return "ClassicWreath"; }
  // 0: the ring children, others: the base.
  uint32_t linkKind(uint32_t index) const override {
    return index == 0 ? kLinkBranches : kLinkOwnFrame;
  }
  // 4 when ring children were asked for and wreathCount > 1e-8, plus 16.
  uint32_t generate(const EvaluationContext& context, MeshSink& sink, uint32_t flags,
                    ChildGroups& childTransforms) override;

  double wreathCount = 10.0;  // N = floor(wreathCount)
  double wreathRadius = 0.0;  // radius of the circle (already in scene units)
};

}  // namespace syv

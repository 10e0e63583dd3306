// A body of revolution: the linked shape's outline (normally a circle) swept
// up the Z axis through the profile heights, scaled at each height by the
// profile's radius. Its only children hang at its base (link kind 16).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/components/component.h"

namespace syv {

class ClassicRevo : public Component {
 public:
  std::string typeName() const override { return "ClassicRevo"; }
  bool hasGrowthAxis() const override { return true; }
  // 0: the primitive shape, others: the base.
  uint32_t linkKind(uint32_t index) const override {
    return index == 0 ? kLinkShape : kLinkOwnFrame;
  }
  // 16 when the base was asked for; 0 when the sweep failed.
  uint32_t generate(const EvaluationContext& context, MeshSink& sink, uint32_t flags,
                    ChildGroups& childTransforms) override;

  // Point i: x the radius, z the height (y unused); ring i sits at
  // t = i / (n - 1). Fewer than two points give no surface.
  std::vector<Vector3> profilePoints;
};

}  // namespace syv

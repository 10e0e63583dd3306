// A leaf blade: a horn path of unit length, bent by tropism and swept by the
// linked shape's outline as it stands. No ribs and no stamped meshes; the
// children are the tip (link kind 8) and the base (16).
#pragma once

#include <cstdint>
#include <string>

#include "core/components/classic_horn.h"
#include "core/components/geometry.h"

namespace syv {

class ClassicLeaf : public ClassicHorn {
 public:
  ClassicLeaf() { hornLength = 0.05; }

  std::string typeName() const override { return "ClassicLeaf"; }
  // 0: the primitive shape, 1: the tip child, others: the base.
  uint32_t linkKind(uint32_t index) const override;
  // The OR of the kinds served (8, 16); 0 when the sweep fails or the path is
  // not finite.
  uint32_t generate(const EvaluationContext& context, MeshSink& sink, uint32_t flags,
                    ChildGroups& childTransforms) override;

  CurveParameter phototropism;  // bends towards the scene's up direction
  CurveParameter gravitropism;  // bends away from it

 private:
  TropismMemo tropismMemo_;
  SweepMemo sweepMemo_;
  PathId finiteId_ = 0;  // the last placed path found finite
};

}  // namespace syv

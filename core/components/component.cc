#include "core/components/component.h"

#include <cmath>

#include "core/components/geometry.h"

namespace syv {

Component::~Component() = default;

uint32_t Component::generate(const EvaluationContext& context, MeshSink& /*sink*/,
                             uint32_t flags, ChildGroups& childTransforms) {
  return emitStandardChildren(context, flags, childTransforms);
}

uint32_t Component::emitStandardChildren(const EvaluationContext& /*context*/, uint32_t flags,
                                         ChildGroups& childTransforms) {
  if ((flags & kLinkOwnFrame) == 0) return 0;
  ChildGroup group;
  group.kind = kLinkOwnFrame;
  group.placements.push_back(ChildPlacement());
  childTransforms.push_back(std::move(group));
  return kLinkOwnFrame;
}

ChildPlacement contextPlacement(const EvaluationContext& context) {
  ChildPlacement p;
  p.valid = 1;
  p.growth = context.number(kIdGrowth);
  p.thickness = context.number(kIdThickness);
  p.density = context.number(kIdDensity);
  return p;
}

Matrix4 Component::contextPhotoTurn(const EvaluationContext& context) const {
  const Matrix4 parentToObject = context.matrix(kIdParentToObject);
  // Without a pull the turn is the identity (photoTransform's own first test), and
  // so is the product with it but for signed zeros: the frame's inverse is spared.
  if (!(std::fabs(photo) >= 1e-8)) {
    if (plainTurnKept_ && sameBits(&plainTurnKey_, &parentToObject, sizeof(Matrix4)))
      return plainTurn_;
    plainTurn_ = scaledColumns(parentToObject.inverse(), 1.0, 1.0, 1.0) * parentToObject;
    plainTurnKey_ = parentToObject;
    plainTurnKept_ = true;
    return plainTurn_;
  }
  const Matrix4 parentInverse = parentToObject.inverse();
  const Matrix4 worldToObject = context.matrix(kIdWorldToObject);
  const Matrix4 turn =
      photoTransform(worldToObject.inverse() * parentToObject, photoDir, photo, photoMode);
  return parentInverse * turn * parentToObject;
}

bool Component::iterationEnabled(uint32_t n) const {
  const uint32_t word = n / 16;
  if (word >= iterationMask.size()) return true;
  return ((iterationMask[word] >> (n % 16)) & 1u) != 0;
}

}  // namespace syv

#include "core/components/classic_leaf.h"

#include "core/components/geometry.h"
#include "core/components/limits.h"

namespace syv {

uint32_t ClassicLeaf::linkKind(uint32_t index) const {
  switch (index) {
    case 0: return kLinkShape;
    case 1: return kLinkTip;
    default: return kLinkOwnFrame;
  }
}

uint32_t ClassicLeaf::generate(const EvaluationContext& context, MeshSink& sink, uint32_t flags,
                               ChildGroups& childTransforms) {
  // The blade always has unit length; segments only change the sampling.
  auto who = [this](const char* what) { return "ClassicLeaf '" + name + "'" + what; };
  const double steps = clampCount(segments, kMaxPathPoints, [&] { return who(": segments"); });
  Path& path = scratchPath_;
  // The memos hand the path's id on, so that each knows its input unchanged
  // without comparing its points.
  PathId id = turtlePath(steps, 1.0, path);
  applyTropism(phototropism, gravitropism, path, context.matrix(kIdWorldToObject), 1.0,
               &tropismMemo_, &id);
  placeFrames(context, path, &id);
  if (id == 0 || id != finiteId_) {
    if (!finiteOrWarn(path, [&] { return who(" path"); })) return 0;
    finiteId_ = id;
  }

  const Outline* outline = context.objectShape(kIdLinkedObject);
  if (outline != nullptr && outline->pointCount() > 0) {
    // The blade's outline keeps its own coordinates and no modulation.
    static const CurveParameter zeroProfile(0.0, 0.0, 0.0, 0.0, "id");
    if (!sweepOutline(sink, path, radius, *outline, Matrix4(), 1.0, 1.0, zeroProfile, &sweepMemo_,
                      id))
      return 0;
  }
  return appendTipAndBase(context, path, flags, childTransforms);
}

}  // namespace syv

// A horn: a turtle path that turns about its local axes and steps along
// curves, swept by the linked shape's outline as a tube, with the shape's
// solid mesh stamped at every point but the tip. Inner points carry ribs
// (link kind 4), the last point the tip (8), the own frame the base (16).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/components/component.h"
#include "core/components/geometry.h"

namespace syv {

// The turtle path shared by horn and leaf: floor(segments) + 1 points at
// t = i / N. Each step turns by -bendX, bendY, -bendZ (times ls =
// length / segments) about the turtle's local X, Y, Z and then moves by
// (shiftX, shiftY, step * stepFactor) * ls, all read at the previous point's
// t. The emitted frame is Rz(-twist(t)) * turtle; the twist stays out of the
// turtle. A single-point path (N = 0) has t = 0. ribScale is not read.
Path buildHornPath(const CurveParameter& bendX, const CurveParameter& bendY,
                   const CurveParameter& bendZ, const CurveParameter& shiftX,
                   const CurveParameter& shiftY, const CurveParameter& step,
                   const CurveParameter& twist, const CurveParameter& ribScale, double segments,
                   double length, double stepFactor);

class ClassicHorn : public Component {
 public:
  std::string typeName() const override { return "ClassicHorn"; }
  bool hasGrowthAxis() const override { return true; }
  // 0: the primitive shape, 1: ribs, 2: the tip child, others: the base.
  uint32_t linkKind(uint32_t index) const override;
  // Returns the kinds served: 4 always (the rib group is always appended),
  // 8 and 16 when asked for; 0 when the sink refused or the path is not finite.
  uint32_t generate(const EvaluationContext& context, MeshSink& sink, uint32_t flags,
                    ChildGroups& childTransforms) override;
  bool declareExtraParameters(EvaluationContext& /*registry*/) override { return true; }

  // Fields in the order in which the builder hands them over.
  double segments = 20.0;    // turtle steps: floor(segments) + 1 path points
  double hornLength = 20.0;  // total length; each step is scaled by hornLength / segments
  double stepFactor = 1.0;   // factor on the step along local Z
  bool smooth = false;       // carried, not read by generation
  std::vector<Vector3> hornSpline;  // carried, not read by generation
  CurveParameter radius;     // tube radius along t; scale of the stamped mesh
  CurveParameter bendX, bendY, bendZ;
  CurveParameter shiftX, shiftY;
  CurveParameter step;
  CurveParameter twist;      // turns the emitted frames only
  CurveParameter ribTwist;   // turn of a rib about its Z
  CurveParameter ribScale;   // uniform scale of a rib

 protected:
  // Every frame becomes S(1 / scale) * frame * C * S(scale), C the photo turn
  // in the node's own coordinates. `id` (if given) names the path's bits
  // before and after.
  void placeFrames(const EvaluationContext& context, Path& path, PathId* id = nullptr) const;
  // buildHornPath with this component's curves, into `path`. Curves that draw
  // no random number and cannot log give every placement the same path: it is
  // built once and copied while the curves and counts stay as they were.
  // Returns the kept path's id, 0 when it is not kept.
  PathId turtlePath(double steps, double length, Path& path);
  // A path buffer for generate, reused from placement to placement.
  Path scratchPath_;

 private:
  // What a curve's values depend on.
  struct CurveKey {
    int32_t mode = 0;
    std::string expression;
    double variables[3] = {0.0, 0.0, 0.0};
    int32_t counts[2] = {0, 0};
    std::vector<CurvePoint> points;
  };
  struct TurtleMemo {
    bool valid = false;
    double steps = 0.0, length = 0.0, stepFactor = 0.0;
    int depth = 0;  // the expression depth bound then
    CurveKey curves[7];
    Path path;
    PathId id = 0;
  };
  void placeFramesAnew(const Matrix4& turn, Path& path) const;
  static void keyOf(const CurveParameter& c, CurveKey& key);
  static bool matches(const CurveParameter& c, const CurveKey& key);
  TurtleMemo memo_;
  // The last placed path: placements without a photo turn repeat it.
  struct FramesMemo {
    bool valid = false;
    Matrix4 turn;
    double scale = 0.0;
    Path input, output;
    PathId inputId = 0, outputId = 0;
  };
  mutable FramesMemo framesMemo_;
};

// Tip and base placements shared by horn and leaf.
uint32_t appendTipAndBase(const EvaluationContext& context, const Path& path, uint32_t flags,
                          ChildGroups& childTransforms);

}  // namespace syv

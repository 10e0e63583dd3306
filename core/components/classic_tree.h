// A stem swept along a generated path, carrying branches at nodes along the
// stem (link kind 4), one child at the grown tip (8) and children at its
// base (16). Children receive growth, thickness and density in their
// placements, which is how whole plants grow from one tree applied
// recursively.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "core/components/component.h"

namespace syv {

// One entry per stem path point: its position along the stem and whether a
// branch may sit there.
struct StemNode {
  double t = 0.0;
  bool branch = false;
};

// A cell of the node distribution's integration: Simpson's three samples over
// [a, b] and the area they give.
struct DistributionCell {
  double a, b, fa, fm, fb, area;
};

// The bent stem before frames: one point per node, positions renormalised by
// arc length to [0, 1].
struct StemSkeleton {
  std::vector<Vector3> points;
  std::vector<StemNode> nodes;
  double totalLength = 0.0;
};

class ClassicTree : public Component {
 public:
  std::string typeName() const override { return "ClassicTree"; }
  bool hasGrowthAxis() const override { return true; }
  // 0: the primitive shape, 1: branches, 2: the tip child, others: the base.
  uint32_t linkKind(uint32_t index) const override;
  uint32_t generate(const EvaluationContext& context, MeshSink& sink, uint32_t flags,
                    ChildGroups& childTransforms) override;
  // Registers "shape" and keeps its id in shapeHandle.
  bool declareExtraParameters(EvaluationContext& registry) override;

  // The stem path (frames in the tree's coordinates, t over the full stem,
  // bent and photo-turned) and the node flags, as generate uses them.
  // False when the iteration is switched off or nothing is visible.
  // grownOnly may end the path at the first point at or beyond the growth
  // (nodes stay whole); the frames it keeps are the same.
  bool buildPath(const EvaluationContext& context, Path& path, std::vector<StemNode>& nodes,
                 bool grownOnly = false) const;

  // Fields in the order in which the builder hands them over.
  double stemSegments = 20.0;   // stem nodes in all; plain nodes fill up to this
  double stemLength = 1.0;      // straight stem length in model units
  double lengthFraction = 1.0;  // the part of the stem present at full growth
  double branchCount = 10.0;    // branch nodes: trunc(branchCount + 1) positions
  CurveParameter radius;        // over the grown part, clamped to [0, 1]
  CurveParameter deviation;     // stem turn at branch nodes, by -pi/3 at 1
  double splineLength = 0.0;    // polyline length of the stem spline
  CurveParameter kinks;         // lateral stem steps between branch nodes
  CurveParameter nodeDistribution;  // density of branch nodes along the stem
  CurveParameter divergence;    // angle between consecutive branches (radians)
  CurveParameter branchAngle;   // tilt of a branch from the stem (radians)
  CurveParameter childDensity;  // handed down, clamped to [0.05, 1]
  CurveParameter childGrowth;   // handed down as a fraction of the visible end
  CurveParameter branchScale;   // uniform scale of a branch placement
  uint16_t divergenceMode = 0;
  CurveParameter phototropism;
  CurveParameter gravitropism;
  uint16_t treeMode = 6;
  Spline stemSpline;            // empty: straight stem along +Z
  int32_t shapeHandle = -1;

 private:
  const std::vector<double>& nodePositions(double count, double density) const;

  // Node positions by count and density: a plain distribution curve draws
  // nothing, so the many stems of one component that share count and density
  // share them (a child's density follows its place on the parent, so cousins
  // repeat their siblings' values). Bounded; emptied when full.
  static constexpr size_t kNodeCacheSize = 256;
  mutable std::map<std::pair<double, double>, std::vector<double>> nodeCache_;
  mutable std::vector<double> uncachedPositions_;
  // The plain distribution curve's integration, which depends on the curve
  // alone: every count and density that misses the cache above reuses it.
  mutable std::vector<DistributionCell> nodeCells_;
};

// Positions in [0, 1] that split the stem into pieces of equal node mass
// under `curve`: 0.0 first, then one per piece. count + 1 pieces (divided by
// density when mode > 3), bounded by kMaxChildCount + 1. Empty when there is
// no piece or the curve integrates to (nearly) zero.
// `cells`, when given, holds the curve's integration from an earlier call, or
// gets it when empty.
std::vector<double> distributeNodes(const CurveParameter& curve, double count, uint16_t mode,
                                    double density,
                                    std::vector<DistributionCell>* cells = nullptr);

}  // namespace syv

// The interface every procedural component implements, and the values that
// pass between a component and the scene traversal.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/components/evaluation_context.h"
#include "core/base/curve.h"
#include "core/base/math.h"
#include "core/mesh/mesh.h"

namespace syv {

// Child link kinds: where a child hangs on its parent.
enum LinkKind : uint32_t {
  kLinkShape = 1,     // the primitive shape of the component
  kLinkBranches = 4,  // along the body (branches, ribs, ring children)
  kLinkTip = 8,       // at the end of the body
  kLinkOwnFrame = 16, // at the component's own frame
};

// One frame along a growth axis; t runs from 0 to 1 over the path.
// The frame's X and Y rows span the cross-section, Z is the growth direction,
// the fourth row the position.
struct PathPoint {
  double t = 0.0;
  Matrix4 frame;
};
using Path = std::vector<PathPoint>;

// A point of a space curve keyed by its relative arc length t in [0, 1];
// knots stand in increasing t.
struct SplineKnot {
  double t = 0.0;
  Vector3 position;
};
using Spline = std::vector<SplineKnot>;

struct ChildPlacement {
  Matrix4 frame;          // the child's frame in the parent's coordinates
  uint8_t valid = 0;      // 1 when the values below are meant for the child
  double t = 0.0;
  uint32_t index = 0;
  uint32_t count = 1;
  double growth = 1.0;
  double thickness = 1.0;
  double density = 1.0;
};

struct ChildGroup {
  uint32_t kind = kLinkOwnFrame;
  std::vector<ChildPlacement> placements;
};
using ChildGroups = std::vector<ChildGroup>;

// Components are filled once after creation and then only read: generate
// keeps no state, so one component may serve several scene nodes.
class Component {
 public:
  virtual ~Component();

  // Registers parameters with the node's context; the base needs none of its own.
  virtual void declareParameters(EvaluationContext& /*registry*/) {}

  virtual std::string typeName() const { return "Simple"; }
  virtual bool hasGrowthAxis() const { return false; }
  virtual uint32_t linkKind(uint32_t /*index*/) const { return kLinkOwnFrame; }

  // Builds the geometry into sink and the child placements that flags asks
  // for; returns the kinds it served (0: nothing, also when the sink refused).
  // The base serves only the own-frame kind.
  virtual uint32_t generate(const EvaluationContext& context, MeshSink& sink, uint32_t flags,
                            ChildGroups& childTransforms);

  // With bit 16 in flags: appends one kind-16 group holding the default
  // placement (identity frame, valid 0) and returns 16; otherwise 0.
  static uint32_t emitStandardChildren(const EvaluationContext& context, uint32_t flags,
                                       ChildGroups& childTransforms);

  // Odd when the component builds an own mesh that its children write into.
  virtual uint32_t ownMeshMode() const { return 0; }
  // Builds the component's own mesh (after its children wrote into it).
  virtual bool buildOwnMesh(const EvaluationContext& /*context*/, Mesh& /*mesh*/) const {
    return false;
  }

  // Class-specific registration (the tree's "shape"); true when the class has one.
  virtual bool declareExtraParameters(EvaluationContext& /*registry*/) { return false; }

  // The photo turn in the node's own coordinates:
  // M1005^-1 * photoTransform(M1004^-1 * M1005) * M1005.
  Matrix4 contextPhotoTurn(const EvaluationContext& context) const;

  // Flag n of the iteration mask; a missing word counts as set.
  bool iterationEnabled(uint32_t n) const;

  std::string name;
  double scale = 100.0;
  uint16_t photoDir = 2;
  uint16_t photoMode = 0;
  double photo = 0.0;
  std::vector<uint32_t> iterationMask;
  CurveParameter profile;

 private:
  // The turn without a pull depends only on the parent-to-object matrix, the
  // same for every placement of a node: kept for the last one seen (bit for bit).
  mutable Matrix4 plainTurnKey_ = Matrix4::zero();
  mutable Matrix4 plainTurn_ = Matrix4::zero();
  mutable bool plainTurnKept_ = false;
};

// A valid placement that hands the context's growth, thickness and density on
// unchanged, as components do that arrange their children around themselves.
ChildPlacement contextPlacement(const EvaluationContext& context);

}  // namespace syv

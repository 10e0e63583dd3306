// The interface every procedural component implements, and the values that
// pass between a component and the scene traversal.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/components/evaluation_context.h"
#include "core/expr/curve.h"
#include "core/expr/math.h"
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
struct PathPoint {
  double t = 0.0;
  Matrix4 frame;
};
using Path = std::vector<PathPoint>;

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
  uint8_t flag = 0;
  std::vector<ChildPlacement> placements;
};
using ChildGroups = std::vector<ChildGroup>;

class Component {
 public:
  virtual ~Component() = default;

  virtual std::string typeName() const { return "Simple"; }
  virtual bool hasGrowthAxis() const { return false; }
  virtual uint32_t linkKind(uint32_t /*index*/) const { return kLinkOwnFrame; }

  // Builds the geometry into sink and the child placements that flags asks
  // for; returns the kinds it served. Returns 0 when the sink refused.
  virtual uint32_t generate(const EvaluationContext& context, MeshSink& sink, uint32_t flags,
                            ChildGroups& childTransforms, double weight);

  // One kind-16 placement at the component's own frame when flags asks for it.
  uint32_t emitStandardChildren(const EvaluationContext& context, uint32_t flags,
                                ChildGroups& childTransforms) const;

  // Odd when the component builds an own mesh that its children write into.
  virtual uint32_t ownMeshMode() const { return 0; }
  // Builds the component's own mesh (after its children wrote into it).
  virtual bool buildOwnMesh(const EvaluationContext& /*context*/, Mesh& /*mesh*/) const {
    return false;
  }

  virtual Matrix4 componentTransform(const Matrix4& in) const;

  std::string name;
  double scale = 100.0;
  uint16_t photoDir = 2;
  uint16_t photoMode = 0;
  double photo = 0.0;
  std::vector<uint32_t> iterationMask;
  CurveParameter profile;

  // Flag n of the iteration mask; a missing word counts as set.
  bool iterationEnabled(uint32_t n) const;
};

}  // namespace syv

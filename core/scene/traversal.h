// The walk over the scene under World that generates every visible node's
// geometry into one output sink. The walk keeps its own work stack, so the
// depth of a hierarchy costs heap, not call stack.
#pragma once

#include <cstdint>

#include "core/base/math.h"
#include "core/base/progress.h"
#include "core/mesh/mesh.h"
#include "core/scene/scene_node.h"

namespace syv {

class TraversalState {
 public:
  virtual ~TraversalState() = default;

  Matrix4 transform;
  // 0 at the root, so geometry outside any material of its own lands on the
  // first "Default" entry of the material list rather than on an unset id.
  int32_t materialId = 0;
  double growth = 1.0;
  double thickness = 1.0;
  double density = 1.0;
  uint32_t index = 0;
  uint32_t count = 1;
  double progressStart = 0.0;
  double progressSpan = 1.0;
  MeshSink* sink = nullptr;  // where this subtree's geometry goes
};

enum class TraversalStatus {
  kComplete,
  kSinkRefused,     // the output sink refused a reservation
  kBudgetExceeded,  // more quads or node visits than the limits allow
  kCancelled,       // the progress channel reported a cancel
};

struct TraversalLimits {
  uint64_t maxQuads = 50000000;
  // Shared subtrees are visited once per placement, so a small file can ask
  // for an exponential number of visits even without geometry.
  uint64_t maxVisits = 50000000;
  // The cancel query is asked after this many quads or visits.
  uint64_t cancelInterval = 4096;
};

struct TraversalResult {
  TraversalStatus status = TraversalStatus::kComplete;
  uint64_t quads = 0;
  uint64_t visits = 0;
  bool ok() const { return status == TraversalStatus::kComplete; }
};

// Walks `root` and everything visible below it. state.sink must be set.
// Stops at the first refused reservation, exceeded limit or cancel; what was
// written before stays in the sink. Errors are logged.
TraversalResult traverse(const SceneNode& root, const TraversalState& state,
                         const TraversalLimits& limits = TraversalLimits());

const char* describeTraversalStatus(TraversalStatus status);

}  // namespace syv

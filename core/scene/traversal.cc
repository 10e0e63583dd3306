#include "core/scene/traversal.h"

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "core/components/geometry.h"
#include "core/base/log.h"

namespace syv {

namespace {

struct Guard {
  TraversalLimits limits;
  TraversalResult result;
  uint64_t nextCancelQuads = 0;
  uint64_t nextCancelVisits = 0;

  bool stopped() const { return result.status != TraversalStatus::kComplete; }
  void stop(TraversalStatus status, const std::string& message) {
    if (stopped()) return;
    result.status = status;
    LogChannel::error(message);
  }
  void checkCancel() {
    if (!stopped() && ProgressChannel::cancelled())
      stop(TraversalStatus::kCancelled, "IMPORT: cancelled");
  }
};

// Counts the quads written into the inner sink against the budget, asks for
// a cancel every few thousand quads, and remembers a refused reservation.
class GuardedSink : public MeshSink {
 public:
  GuardedSink(MeshSink& inner, Guard& guard, bool counting)
      : inner_(inner), guard_(guard), counting_(counting) {}

  bool reserve(uint32_t vertexCount, uint32_t faceCount, uint32_t& vertexBase,
               uint32_t& faceBase) override {
    if (guard_.stopped()) return false;
    if (counting_) {
      const uint64_t total = guard_.result.quads + faceCount;
      if (total > guard_.limits.maxQuads) {
        guard_.stop(TraversalStatus::kBudgetExceeded,
                    "IMPORT: the plant needs more than " +
                        std::to_string(guard_.limits.maxQuads * 2) +
                        " triangles (the geometry budget; raise it with --max-triangles or "
                        "SYV_MAX_TRIANGLES); import stopped");
        return false;
      }
      guard_.result.quads = total;
      if (total >= guard_.nextCancelQuads) {
        guard_.nextCancelQuads = total + guard_.limits.cancelInterval;
        guard_.checkCancel();
        if (guard_.stopped()) return false;
      }
    }
    if (!inner_.reserve(vertexCount, faceCount, vertexBase, faceBase)) {
      guard_.stop(TraversalStatus::kSinkRefused,
                  "IMPORT: the output mesh refused " + std::to_string(faceCount) +
                      " more quads; import stopped");
      return false;
    }
    return true;
  }
  bool finish() override { return inner_.finish(); }
  bool setVertex(uint32_t index, const Vector3& v) override { return inner_.setVertex(index, v); }
  bool setFace(uint32_t index, const Face& f) override { return inner_.setFace(index, f); }
  bool setTexFace(uint32_t index, const TexFace& tf) override {
    return inner_.setTexFace(index, tf);
  }
  void setVertices(uint32_t first, const Vector3* v, uint32_t count) override {
    inner_.setVertices(first, v, count);
  }
  void setQuads(uint32_t first, const Face* faces, const TexFace* texFaces,
                uint32_t count) override {
    inner_.setQuads(first, faces, texFaces, count);
  }
  void setPlacedVertices(uint32_t first, const Vector3* v, uint32_t count,
                         const Matrix4& matrix) override {
    inner_.setPlacedVertices(first, v, count, matrix);
  }
  void setShiftedQuads(uint32_t first, const Face* faces, const TexFace* texFaces, uint32_t count,
                       uint32_t shift, int32_t material) override {
    inner_.setShiftedQuads(first, faces, texFaces, count, shift, material);
  }
  MeshSink& inner() { return inner_; }

 private:
  MeshSink& inner_;
  Guard& guard_;
  bool counting_;
};

bool validFrame(const Matrix4& frame) {
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c)
      if (std::fabs(frame.m[r][c]) > 1e-6) return true;
  return false;
}

struct WorkItem {
  uint32_t child;
  uint32_t group;
  uint32_t placement;
};

// One node being visited: what recursion would keep on the call stack.
struct Frame {
  const SceneNode* node = nullptr;
  TraversalState state;  // the node's own state (transform and material applied)
  GuardedSink* sink = nullptr;
  std::unique_ptr<Mesh> ownMesh;
  std::unique_ptr<GuardedSink> ownSink;
  std::unique_ptr<EvaluationContext> context;
  ChildGroups groups;
  std::vector<WorkItem> work;
  std::size_t next = 0;
  double step = 0.0;
  double position = 0.0;
};

class Walker {
 public:
  explicit Walker(const TraversalLimits& limits) { guard_.limits = limits; }

  TraversalResult run(const SceneNode& root, const TraversalState& state) {
    if (state.sink == nullptr) {
      guard_.stop(TraversalStatus::kSinkRefused, "IMPORT: no output mesh");
      return guard_.result;
    }
    GuardedSink top(*state.sink, guard_, true);
    TraversalState rootState = state;
    enter(root, rootState, &top);
    while (!frames_.empty() && !guard_.stopped()) {
      Frame& f = *frames_.back();
      if (f.next < f.work.size()) {
        const WorkItem item = f.work[f.next++];
        const ChildPlacement& p = f.groups[item.group].placements[item.placement];
        TraversalState child = f.state;
        child.transform = f.ownMesh ? Matrix4() : f.state.transform * p.frame.inverse();
        if (p.valid) {
          child.growth = p.growth;
          child.thickness = p.thickness;
          child.density = p.density;
          child.index = p.index;
          child.count = p.count;
        }
        child.progressStart = f.position;
        child.progressSpan = f.step;
        f.position += f.step;
        GuardedSink* sink = f.ownSink ? f.ownSink.get() : f.sink;
        child.sink = sink;
        enter(*f.node->children()[item.child], child, sink);
        continue;
      }
      finishFrame(f);
      release(std::move(frames_.back()));
      frames_.pop_back();
    }
    return guard_.result;
  }

 private:
  // `state` is the caller's copy for this placement; it becomes the node's own.
  void enter(const SceneNode& node, TraversalState& state, GuardedSink* sink) {
    ++guard_.result.visits;
    if (guard_.result.visits > guard_.limits.maxVisits) {
      guard_.stop(TraversalStatus::kBudgetExceeded,
                  "IMPORT: the plant places more than " + std::to_string(guard_.limits.maxVisits) +
                      " objects (the placement limit; raise it with --max-placements or "
                      "SYV_MAX_PLACEMENTS); import stopped");
      return;
    }
    if (guard_.result.visits >= guard_.nextCancelVisits) {
      guard_.nextCancelVisits = guard_.result.visits + guard_.limits.cancelInterval;
      guard_.checkCancel();
      if (guard_.stopped()) return;
    }
    state.transform = node.identityTransform() ? scaledColumns(state.transform, 1.0, 1.0, 1.0)
                                               : state.transform * node.transformRef();
    if (node.materialId() >= 0) state.materialId = node.materialId();
    if (node.hidden()) return;
    // A transform from out-of-range file values would place everything below
    // at infinity or NaN; such a subtree is left out.
    const Matrix4 placement = state.transform.inverse();
    if (!state.transform.isFinite() || !placement.isFinite()) {
      LogChannel::warning("node '" + node.nodeName() +
                          "': placement is not finite; the node and its subtree are left out");
      return;
    }
    if (const Mesh* mesh = node.mesh()) {
      appendMesh(*sink, *mesh, placement, state.materialId);
      return;
    }

    std::unique_ptr<Frame> frame = acquire();
    frame->node = &node;
    frame->sink = sink;
    Component* component = node.component();
    const std::vector<SceneNode*>& children = node.children();
    if (component != nullptr) {
      if (component->ownMeshMode() % 2 == 1) {
        frame->ownMesh = std::make_unique<Mesh>();
        frame->ownSink = std::make_unique<GuardedSink>(*frame->ownMesh, guard_, true);
      }
      const SceneObject* shape = nullptr;
      uint32_t flags = 0;
      for (uint32_t i = 0; i < children.size(); ++i) {
        const uint32_t k = component->linkKind(i);
        if (k == kLinkShape)
          shape = children[i];
        else
          flags |= k;
      }
      // Only an own mesh needs the context again (after its children); any
      // other node's context is used for generate alone, and the copy of the
      // node's parameters is kept from the last placement of the same node.
      EvaluationContext* context = &scratch_;
      if (frame->ownMesh) {
        frame->context = std::make_unique<EvaluationContext>(node.context());
        context = frame->context.get();
      } else if (scratchNode_ != &node) {
        scratch_ = node.context();
        scratchNode_ = &node;
      }
      context->setNodeState(node.transformRef(), state.transform, state.growth, state.thickness,
                            state.density, static_cast<int32_t>(state.index),
                            static_cast<int32_t>(state.count), shape);
      DiscardingMeshSink discard;
      TransformingMeshSink placed(*sink, placement, state.materialId);
      MeshSink& target = frame->ownMesh ? static_cast<MeshSink&>(discard) : placed;
      component->generate(*context, target, flags, frame->groups);
      if (guard_.stopped()) return;
    }

    for (uint32_t i = 0; i < children.size(); ++i) {
      const uint32_t k = component ? component->linkKind(i) : kLinkOwnFrame;
      for (uint32_t g = 0; g < frame->groups.size(); ++g) {
        if (frame->groups[g].kind != k) continue;
        const auto& placements = frame->groups[g].placements;
        for (uint32_t p = 0; p < placements.size(); ++p)
          if (validFrame(placements[p].frame)) frame->work.push_back({i, g, p});
      }
    }
    ProgressChannel::update(state.progressStart);
    if (!frame->work.empty()) frame->step = state.progressSpan / frame->work.size();
    frame->position = state.progressStart;
    if (frame->work.empty() && !frame->ownMesh) {
      release(std::move(frame));
      return;
    }
    frame->state = state;
    frames_.push_back(std::move(frame));
  }

  // Frames are many (one per placement) and short-lived: their storage is reused.
  std::unique_ptr<Frame> acquire() {
    if (spare_.empty()) return std::make_unique<Frame>();
    std::unique_ptr<Frame> frame = std::move(spare_.back());
    spare_.pop_back();
    return frame;
  }
  void release(std::unique_ptr<Frame> frame) {
    frame->ownMesh.reset();
    frame->ownSink.reset();
    frame->context.reset();
    frame->groups.clear();
    frame->work.clear();
    frame->next = 0;
    frame->step = 0.0;
    frame->position = 0.0;
    spare_.push_back(std::move(frame));
  }

  void finishFrame(Frame& f) {
    if (!f.ownMesh) return;
    f.node->component()->buildOwnMesh(*f.context, *f.ownMesh);
    // The own mesh's quads were counted as the children wrote them.
    GuardedSink uncounted(f.sink->inner(), guard_, false);
    appendMesh(uncounted, *f.ownMesh, f.state.transform.inverse(), -1);
  }

  Guard guard_;
  std::vector<std::unique_ptr<Frame>> frames_;
  std::vector<std::unique_ptr<Frame>> spare_;
  EvaluationContext scratch_;
  const SceneNode* scratchNode_ = nullptr;
};

}  // namespace

TraversalResult traverse(const SceneNode& root, const TraversalState& state,
                         const TraversalLimits& limits) {
  Walker walker(limits);
  return walker.run(root, state);
}

const char* describeTraversalStatus(TraversalStatus status) {
  switch (status) {
    case TraversalStatus::kComplete: return "complete";
    case TraversalStatus::kSinkRefused: return "the output mesh refused a reservation";
    case TraversalStatus::kBudgetExceeded: return "the geometry budget was exceeded";
    case TraversalStatus::kCancelled: return "cancelled";
  }
  return "unknown";
}

}  // namespace syv

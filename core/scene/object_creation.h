// Object creation: component records become scene nodes through a
// SceneBuilder, with their placements, materials, shapes, children and link
// nodes. The walk over the records keeps its own work stack, so the depth of
// a hierarchy costs heap, not call stack.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "core/components/component.h"
#include "core/components/evaluation_context.h"
#include <unordered_map>

#include "core/base/curve.h"
#include "core/io/component_record.h"
#include "core/scene/scene_builder.h"

namespace syv {

using RecordMap = std::map<std::string, ComponentRecord>;

// What all creation calls of one import share.
struct CreationShared {
  std::vector<SceneMaterial> materials;
  // Name to first index in materials, for the entries up to indexed.
  std::unordered_map<std::string, int32_t> materialIndex;
  std::size_t indexed = 0;
  // Record name to node name: every record creates at most one object.
  std::map<std::string, std::string> createdNames;
  // Set when a creation stopped because the progress channel reported a cancel.
  bool cancelled = false;
};

// Handed from parent to child by value.
struct CreationContext {
  bool hidden = false;
  SceneMaterial material;
  int32_t materialId = 0;
};

// The "Default" entry that the import appends to the material list per root.
SceneMaterial defaultMaterial();

// Creates the object of `record` and its whole subtree; returns its node name
// (empty: nothing created). `placement.frame` is the parent frame the
// object's transform is composed onto.
std::string createObject(const EvaluationContext& context, SceneBuilder& builder,
                         const ComponentRecord& record, const CreationContext& creation,
                         const ChildPlacement& placement, const RecordMap& records,
                         CreationShared& shared);

// The object itself, without children. `shape` receives the shape node that
// the caller must link as a standard child (simple objects only).
std::string createComponent(const EvaluationContext& context, SceneBuilder& builder,
                            const ComponentRecord& record, const ChildPlacement& placement,
                            const CreationContext& creation, std::string& shape);

// S(scale) * Rz(-rz) * Ry(ry) * Rx(-rx) * T(translation * unit) * parent.
Matrix4 objectTransform(const ComponentRecord& record, const Matrix4& parent, double unit);

// A curve over [minimum, maximum] through the knots' (x, y), z dropped,
// ordered by x, a repeated x keeping its first knot; knots that all share one
// y (within 1e-8) become the two points (0, y) and (1, y). Each y is
// multiplied by `factor` first.
CurveParameter curveFromKnots(const KnotList& knots, double minimum, double maximum,
                              double factor = 1.0);

// The polyline length through the knots; 0 when it is not positive.
double polylineLength(const KnotList& knots);

// The knots keyed by relative arc length (t = i / (n - 1) when the polyline
// has no length).
Spline splineFromKnots(const KnotList& knots);

}  // namespace syv

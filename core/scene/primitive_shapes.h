// The primitive-shape step of object creation: the "Type" of an object's
// primitive block becomes a shape node (a cross-section outline or a solid
// mesh) made through the builder, which the object's component later finds
// as its linked shape.
#pragma once

#include <cstdint>
#include <string>

#include "core/components/evaluation_context.h"
#include "core/io/component_record.h"
#include "core/mesh/outline.h"
#include "core/scene/scene_builder.h"

namespace syv {

// Resolution and point counts from the file are brought into this range
// before they become segment counts: a sphere of resolution n has about 4n^2
// quads, so 1000 keeps one primitive at a few million quads.
constexpr double kMaxPrimitiveResolution = 1000.0;

// The unit scale: number 2011 of the context, 100 when it is absent.
double unitScale(const EvaluationContext& context);

// One closed contour of `segments` points on a circle in the XY plane, point
// k at angle 2*pi*k/segments from +Y towards +X, u = k / segments. Empty for
// fewer than one segment.
Outline circleOutline(double radius, int32_t segments);

// Creates the shape node for the record's primitive and returns its name
// (empty: no shape). The unit scale is number 2011 of the context (100 when
// absent). The node is named "<record name>_<type>".
std::string createPrimitiveShape(const EvaluationContext& context, SceneBuilder& builder,
                                 const ComponentRecord& record);

}  // namespace syv

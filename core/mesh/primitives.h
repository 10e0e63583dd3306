// Generators of the solid primitives: boxes, cylinder sides, discs, cones,
// spheres and planes, written as quads through the MeshSink protocol.
//
// Every solid is centred at the origin with its axis along Z; a point on a
// circle at angle t is (r sin t, r cos t, z), so the first point lies on +Y.
// Each generator stamps `material` into every face and returns false only
// when the sink refuses the reservation (nothing is written then). Closed
// solids face outward as the box does: clockwise seen from outside.
#pragma once

#include <cstdint>

#include "core/base/math.h"
#include "core/mesh/mesh.h"

namespace syv {

// Upper bound on any one count (segments, stacks, rings, divisions). It keeps
// a single primitive within about a million quads (some 120 MB); larger
// counts are lowered to it with a warning.
constexpr uint32_t kMaxPrimitiveCount = 1024;

// 24 vertices and 6 faces; no vertex is shared between faces.
bool generateBox(MeshSink& sink, const Vector3& size, int32_t material);
// (stacks+1)*segments vertices, segments*stacks faces; the first ring is the top.
bool generateCylinderSide(MeshSink& sink, double radius, double height, uint32_t segments,
                          uint32_t stacks, int32_t material);
// The cylinder grid flattened at height z, rings growing from the centre,
// facing up. A negative radius mirrors the disc so that it faces down.
bool generateDisc(MeshSink& sink, double radius, double z, uint32_t segments, uint32_t rings,
                  int32_t material);
// The cylinder grid narrowing from the base at -height/2 to the apex.
bool generateCone(MeshSink& sink, double radius, double height, uint32_t segments,
                  uint32_t stacks, int32_t material);
// (rings-1)*segments + 2 vertices (both poles once), segments*rings faces.
bool generateSphere(MeshSink& sink, double radius, uint32_t segments, uint32_t rings,
                    int32_t material);
// A square of side `size` in XY: (n+1)^2 vertices and n^2 faces.
bool generatePlane(MeshSink& sink, double size, uint32_t divisions, int32_t material);

// Replaces every vertex v by v * matrix.
void transformMesh(Mesh& mesh, const Matrix4& matrix);

}  // namespace syv

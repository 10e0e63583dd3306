// Contexts, shapes and sinks shared by the component tests.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <utility>

#include "core/components/component.h"
#include "core/components/evaluation_context.h"
#include "core/base/curve.h"
#include "core/mesh/mesh.h"
#include "core/mesh/outline.h"
#include "tests/support/recorders.h"

namespace syv {

inline void expectNear(const Vector3& got, const Vector3& want, double eps = 1e-12) {
  EXPECT_NEAR(got.x, want.x, eps);
  EXPECT_NEAR(got.y, want.y, eps);
  EXPECT_NEAR(got.z, want.z, eps);
}

inline CurveParameter constant(double v) { return CurveParameter(0.0, 4.0, v, v, "id"); }

inline EvaluationContext nodeContext(double growth = 1, double thickness = 1, double density = 1,
                                     const SceneObject* shape = nullptr, int32_t iteration = 0) {
  EvaluationContext c;
  c.setNodeState(Matrix4(), Matrix4(), growth, thickness, density, iteration, 1, shape);
  return c;
}

using test::LogRecorder;

// One contour per entry: n points on the unit circle, u = k / n.
inline Outline circles(std::initializer_list<std::pair<uint32_t, bool>> contours) {
  uint32_t total = 0, i = 0, c = 0;
  for (auto& contour : contours) total += contour.first;
  Outline o;
  o.resize(total, uint32_t(contours.size()));
  for (auto& contour : contours) {
    o.setContour(c++, contour.first, contour.second);
    for (uint32_t k = 0; k < contour.first; ++k, ++i) {
      const double a = 2 * kPi * k / contour.first;
      o.setPoint(i, double(k) / contour.first, {std::cos(a), std::sin(a), 0.0});
    }
  }
  return o;
}

// A linked shape holding an outline and optionally a solid mesh.
struct MeshShape : SceneObject {
  MeshShape() = default;
  explicit MeshShape(Outline o) : outline(std::move(o)) {}
  std::string name() const override { return "shape"; }
  Matrix4 transform() const override { return matrix; }
  const Outline* shape() const override { return outline.pointCount() ? &outline : nullptr; }
  const Mesh* mesh() const override { return solid.isEmpty() ? nullptr : &solid; }
  Outline outline;
  Mesh solid;
  Matrix4 matrix;
};

// One quad of material 6 on the first four points; the unit square by default.
inline Mesh meshOf(std::initializer_list<Vector3> points = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0},
                                                           {0, 1, 0}}) {
  Mesh mesh;
  uint32_t vb = 0, fb = 0;
  mesh.reserve(uint32_t(points.size()), 1, vb, fb);
  uint32_t i = 0;
  for (const Vector3& p : points) mesh.setVertex(i++, p);
  mesh.setFace(0, {0, 1, 2, 3, 6});
  return mesh;
}

inline double radial(const Vector3& v) { return std::hypot(v.x, v.y); }

// A sink that refuses every reservation.
struct RefusingSink : DiscardingMeshSink {
  bool reserve(uint32_t, uint32_t, uint32_t&, uint32_t&) override { return false; }
};

// The child groups `c` places for the kinds in `flags`; `served` gets its
// answer and `written` (or a scratch mesh) its geometry.
inline ChildGroups childrenOf(Component& c, const EvaluationContext& context, uint32_t flags,
                              uint32_t* served = nullptr, Mesh* written = nullptr) {
  Mesh scratch;
  ChildGroups groups;
  const uint32_t answer = c.generate(context, written ? *written : scratch, flags, groups);
  if (served) *served = answer;
  return groups;
}

inline const ChildGroup* findGroup(const ChildGroups& groups, uint32_t kind) {
  for (const ChildGroup& g : groups)
    if (g.kind == kind) return &g;
  return nullptr;
}

}  // namespace syv

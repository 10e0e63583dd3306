// Shared by the horn, leaf, phiball, hydra, wreath and revo tests: contexts,
// shapes and imports of the small comp_*.syv files.
#pragma once

#include <cmath>
#include <string>

#include "core/components/evaluation_context.h"
#include "core/mesh/mesh.h"
#include "core/scene/import_builder.h"
#include "tests/components/sweep_fixtures.h"

namespace syv {

inline EvaluationContext nodeContext(double growth = 1, double thickness = 1, double density = 1,
                                     const SceneObject* shape = nullptr) {
  EvaluationContext c;
  c.setNodeState(Matrix4(), Matrix4(), 0, growth, thickness, density, 0, 1, shape);
  return c;
}

// A linked shape holding a solid mesh (and optionally an outline).
struct MeshShape : SceneObject {
  std::string name() const override { return "solid"; }
  Matrix4 transform() const override { return matrix; }
  const Outline* shape() const override { return outline.pointCount() ? &outline : nullptr; }
  const Mesh* mesh() const override { return &solid; }
  Mesh solid;
  Outline outline;
  Matrix4 matrix;
};

// One quad, the unit square in XY.
inline Mesh unitQuad() {
  Mesh m;
  uint32_t vb = 0, fb = 0;
  m.reserve(4, 1, vb, fb);
  m.setVertex(0, {0, 0, 0});
  m.setVertex(1, {1, 0, 0});
  m.setVertex(2, {1, 1, 0});
  m.setVertex(3, {0, 1, 0});
  m.setFace(0, Face{0, 1, 2, 3, 0});
  return m;
}

inline bool importData(const std::string& file, Mesh& mesh) {
  EvaluationContext context;
  context.setNumber(kIdUnitScale, 100.0);
  ImportBuilder builder;
  return builder.loadFile(context, std::string(SYV_TEST_DATA) + "/" + file, mesh) &&
         builder.status() == ImportStatus::kComplete;
}

inline double radial(const Vector3& v) { return std::hypot(v.x, v.y); }

}  // namespace syv

namespace syv {

// A sink that refuses every reservation.
struct RefusingSink : MeshSink {
  bool reserve(uint32_t, uint32_t, uint32_t&, uint32_t&) override { return false; }
  bool finish() override { return true; }
  bool setVertex(uint32_t, const Vector3&) override { return false; }
  bool setFace(uint32_t, const Face&) override { return false; }
  bool setTexFace(uint32_t, const TexFace&) override { return false; }
};

inline const ChildGroup* findGroup(const ChildGroups& groups, uint32_t kind) {
  for (const ChildGroup& g : groups)
    if (g.kind == kind) return &g;
  return nullptr;
}

}  // namespace syv

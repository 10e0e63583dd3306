// The plainest components. ClassicSimple has no geometry: it passes its
// photo-turned frame to the children at its base (link kind 16).
// ClassicHyperpatch adds a free-form deformation that bends the mesh its
// children wrote, through a Bernstein (Bezier) volume of 2 to 5 control
// points per axis.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/components/component.h"

namespace syv {

class ClassicSimple : public Component {
 public:
  std::string typeName() const override { return "ClassicSimple"; }
  bool hasGrowthAxis() const override { return false; }
  uint32_t linkKind(uint32_t /*index*/) const override { return kLinkOwnFrame; }

  // With bit 16 in flags: one kind-16 group whose placement frame is the
  // photo turn in the node's own coordinates (otherwise the default
  // placement); returns 16. Without it, 0. Writes no mesh. A turn that is not
  // finite (from non-finite context matrices) is warned about and serves nothing.
  uint32_t generate(const EvaluationContext& context, MeshSink& sink, uint32_t flags,
                    ChildGroups& childTransforms) override;
};

class ClassicHyperpatch : public ClassicSimple {
 public:
  // Marks the component as a deformer: its children write into an own mesh
  // that buildOwnMesh then deforms.
  uint32_t ownMeshMode() const override { return 1; }
  // deform(mesh); the context is not needed.
  bool buildOwnMesh(const EvaluationContext& context, Mesh& mesh) const override;

  // Copies the patch table of another hyperpatch.
  void copyPatch(const ClassicHyperpatch& other);

  // Moves every vertex of the mesh through the volume. The mesh's bounding
  // box, its longest side mapped to [0, 1], is the unit cube in which the
  // control points stand; points on the regular lattice of that cube leave
  // the mesh as it was. Control point P_ijk (i along x, j along y, k along z)
  // is controlPoints[(i * n + j) * n + k] for n points per axis: k runs fastest.
  // Returns true when the mesh was deformed. Nothing changes when:
  // - the mesh has no vertices, or its longest extent is below 1e-8;
  // - the control point count is not 8, 27, 64 or 125;
  // - a deformed vertex would not be finite (logged as a warning).
  bool deform(Mesh& mesh) const;

  uint32_t patchKind = 0;
  std::vector<Vector3> controlPoints;
};

// The degree of the volume for a control point count: 8 -> 1, 27 -> 2,
// 64 -> 3, 125 -> 4; 0 for any other count.
uint32_t hyperpatchDegree(size_t controlPointCount);

}  // namespace syv

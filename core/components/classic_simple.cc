#include "core/components/classic_simple.h"

#include <algorithm>
#include <cmath>

#include "core/components/geometry.h"

namespace syv {

namespace {

// The degree + 1 Bernstein weights of degree `degree` at t.
void bernstein(uint32_t degree, double t, double (&weights)[5]) {
  static const double kBinomial[5][5] = {
      {1, 0, 0, 0, 0}, {1, 1, 0, 0, 0}, {1, 2, 1, 0, 0}, {1, 3, 3, 1, 0}, {1, 4, 6, 4, 1}};
  const double s = 1.0 - t;
  for (uint32_t i = 0; i <= degree; ++i) {
    double w = kBinomial[degree][i];
    for (uint32_t k = 0; k < i; ++k) w *= t;
    for (uint32_t k = i; k < degree; ++k) w *= s;
    weights[i] = w;
  }
}

}  // namespace

uint32_t ClassicSimple::generate(const EvaluationContext& context, MeshSink& /*sink*/,
                                 uint32_t flags, ChildGroups& childTransforms) {
  if ((flags & kLinkOwnFrame) == 0) return 0;
  const Matrix4 turn = contextPhotoTurn(context);
  if (!finiteOrWarn(turn, typeName() + " '" + name + "': photo turn")) return 0;
  ChildGroup group;
  group.kind = kLinkOwnFrame;
  ChildPlacement placement;
  placement.frame = turn;
  group.placements.push_back(placement);
  childTransforms.push_back(std::move(group));
  return kLinkOwnFrame;
}

uint32_t hyperpatchDegree(size_t controlPointCount) {
  switch (controlPointCount) {
    case 8: return 1;
    case 27: return 2;
    case 64: return 3;
    case 125: return 4;
    default: return 0;
  }
}

bool ClassicHyperpatch::buildOwnMesh(const EvaluationContext& /*context*/, Mesh& mesh) const {
  return deform(mesh);
}

void ClassicHyperpatch::copyPatch(const ClassicHyperpatch& other) {
  patchKind = other.patchKind;
  controlPoints = other.controlPoints;
}

bool ClassicHyperpatch::deform(Mesh& mesh) const {
  Vector3 lo, hi;
  if (!mesh.bounds(lo, hi)) return false;
  const Vector3 centre = (lo + hi) * 0.5;
  const double extent = std::max({hi.x - lo.x, hi.y - lo.y, hi.z - lo.z});
  if (std::fabs(extent) < 1e-8) return false;
  const uint32_t degree = hyperpatchDegree(controlPoints.size());
  if (degree == 0) return false;
  const uint32_t n = degree + 1;
  const Vector3 half(0.5, 0.5, 0.5);

  // Written only once every vertex is known to be finite, so that a bad
  // patch leaves the children's mesh as it was instead of half bent.
  std::vector<Vector3> bent(mesh.vertexCount());
  for (uint32_t v = 0; v < bent.size(); ++v) {
    const Vector3 q = (mesh.vertex(v) - centre) / extent + half;
    double bx[5], by[5], bz[5];
    bernstein(degree, q.x, bx);
    bernstein(degree, q.y, by);
    bernstein(degree, q.z, bz);
    Vector3 sum;
    const Vector3* p = controlPoints.data();
    for (uint32_t i = 0; i < n; ++i)
      for (uint32_t j = 0; j < n; ++j) {
        const double wij = bx[i] * by[j];
        for (uint32_t k = 0; k < n; ++k, ++p) sum += *p * (wij * bz[k]);
      }
    bent[v] = centre + (sum - half) * extent;
  }
  if (!finiteOrWarn(bent, "ClassicHyperpatch '" + name + "': deformation")) return false;
  for (uint32_t v = 0; v < bent.size(); ++v) mesh.setVertex(v, bent[v]);
  return true;
}

}  // namespace syv

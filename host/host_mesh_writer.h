// The host's mesh sink: every core quad becomes two host triangles with four
// texture vertices of its own in one host triangle mesh.
#pragma once

#include <cstdint>
#include <map>

#include "core/mesh/mesh.h"
#include "core/scene/scene_builder.h"
#include "host/sdk/mesh.h"

namespace syv {

class HostMeshWriter : public MeshSink {
 public:
  // The mesh is not owned and must outlive the writer.
  explicit HostMeshWriter(hostsdk::Mesh& mesh)
      : mesh_(mesh), foreignQuads_((static_cast<uint32_t>(mesh.getNumFaces()) + 1) / 2) {}
  ~HostMeshWriter() override = default;

  // The geometry budget: the arrays never grow beyond what this many quads
  // need, so that a plant stopped at the budget has not taken more memory.
  void setQuadLimit(uint64_t quads) { quadLimit_ = quads; }

  // Grows the host arrays by at least doubling, up to the limit. False, the
  // counts unchanged, when the host refuses or the totals would pass the
  // limit or the host's int counts.
  bool reserve(uint32_t vertexCount, uint32_t quadCount, uint32_t& firstVertex,
               uint32_t& firstQuad) override;
  // Trims the arrays to what was reserved, smooths and bounds the mesh.
  bool finish() override;
  bool setVertex(uint32_t index, const Vector3& position) override;
  // Material ids outside the host's 16 bits are clamped (see clampedFaces).
  bool setFace(uint32_t quadIndex, const Face& face) override;
  bool setTexFace(uint32_t quadIndex, const TexFace& texFace) override;
  void setVertices(uint32_t first, const Vector3* positions, uint32_t count) override;
  void setQuads(uint32_t firstQuad, const Face* faces, const TexFace* texFaces,
                uint32_t count) override;
  void setPlacedVertices(uint32_t first, const Vector3* positions, uint32_t count,
                         const Matrix4& matrix) override;
  void setShiftedQuads(uint32_t firstQuad, const Face* faces, const TexFace* texFaces,
                       uint32_t count, uint32_t shift, int32_t material) override;

  uint32_t faceCount() const { return faceCount_; }
  uint32_t vertexCount() const { return vertexCount_; }
  uint32_t textureVertexCount() const { return texVertexCount_; }
  // Quads whose material id did not fit in 16 bits.
  uint32_t clampedFaces() const { return clamped_; }

 private:
  hostsdk::Mesh& mesh_;
  uint64_t quadLimit_ = UINT64_MAX;
  uint32_t faceCount_ = 0;
  uint32_t vertexCount_ = 0;
  uint32_t texVertexCount_ = 0;
  uint32_t clamped_ = 0;
  // Quads from here on are in faces the mesh did not have before the writer:
  // their flags hold nothing but what the writer set.
  uint32_t foreignQuads_;
};

// The smoothing angle of finish: 89 degrees.
constexpr float kHostSmoothAngle = 1.5533430576324463f;

// Replaces u and v of each quad's texture vertices by t / scale - shift of
// the material its first triangle selects; quads whose id has no record keep
// theirs. A zero or non-finite scale component counts as 1 (zeroScaleMaterials
// counts, per material id, the quads that had one). Expects the layout HostMeshWriter writes.
void normalizeTextureCoordinates(hostsdk::Mesh& mesh,
                                 const std::map<int32_t, SceneMaterial>& materials,
                                 std::map<int32_t, int>* zeroScaleMaterials = nullptr);

}  // namespace syv

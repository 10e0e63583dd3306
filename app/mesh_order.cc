#include "app/mesh_order.h"

#include <meshoptimizer.h>

namespace syv::app {
namespace {

template <typename T>
void remapStream(std::vector<T>& stream, const std::vector<unsigned>& remap, size_t kept) {
  meshopt_remapVertexBuffer(stream.data(), stream.data(), stream.size(), sizeof(T), remap.data());
  stream.resize(kept);
}

}  // namespace

void optimizeOrder(SubmeshSet& meshes) {
  for (Submesh& sub : meshes.meshes) {
    const size_t vertices = sub.positions.size();
    if (sub.indices.empty() || vertices == 0) continue;
    meshopt_optimizeVertexCache(sub.indices.data(), sub.indices.data(), sub.indices.size(), vertices);
    std::vector<unsigned> remap(vertices);
    // Welding left no vertex unused, so none is dropped here.
    const size_t kept =
        meshopt_optimizeVertexFetchRemap(remap.data(), sub.indices.data(), sub.indices.size(), vertices);
    meshopt_remapIndexBuffer(sub.indices.data(), sub.indices.data(), sub.indices.size(), remap.data());
    remapStream(sub.positions, remap, kept);
    remapStream(sub.normals, remap, kept);
    remapStream(sub.uvs, remap, kept);
  }
}

}  // namespace syv::app

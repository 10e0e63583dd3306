// The converter's own copy of an imported plant: one triangle mesh as the host
// holds it (shared vertices, per-face texture corners, smoothing bits, material
// ids) and the materials of its multi-material. Exporters read only this.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "host/sdk/host_array.h"

namespace syv::app {

using Vec3f = std::array<float, 3>;

struct TriFace {
  std::array<uint32_t, 3> v{};   // indices into TriMesh::vertices
  std::array<uint32_t, 3> tv{};  // indices into TriMesh::tverts
  uint32_t smoothing = 0;        // smoothing-group bits; 0 = faceted
  uint32_t material = 0;
};

// The arrays are the host's own storage (anonymous mappings): an import hands
// the host mesh's arrays over instead of copying them.
struct TriMesh {
  hostsdk::HostArray<Vec3f> vertices;
  hostsdk::HostArray<Vec3f> tverts;  // u, v, w; w is ignored on export
  hostsdk::HostArray<TriFace> faces;
  bool hasTexCoords = false;  // false: TriFace::tv is meaningless
};

struct MaterialInfo {
  uint32_t id = 0;
  std::string name;
  Vec3f diffuse{0.5f, 0.5f, 0.5f};
  std::string texture;  // file name as the plant gives it; empty = none
};

struct Model {
  std::string nodeName;
  TriMesh mesh;
  std::vector<MaterialInfo> materials;  // sorted by id, ids unique
};

// Gives a container's memory back: `c = {}` would keep its capacity.
template <typename C>
void release(C& c) {
  C().swap(c);
}

// Asks for huge pages inside [data, data + bytes) before it is first written:
// the export's arrays run to hundreds of megabytes, and each small page of
// them costs a fault.
void adviseHuge(const void* data, size_t bytes);

// A vector of `n` value-initialised elements, in huge pages when large.
template <typename V>
void resizeHuge(V& v, size_t n) {
  v.reserve(n);
  adviseHuge(v.data(), n * sizeof(typename V::value_type));
  v.resize(n);
}

// Material for a face's id: the entry with that id, or null.
const MaterialInfo* findMaterial(const Model& model, uint32_t id);

}  // namespace syv::app

#include "app/mesh_order.h"

#include <meshoptimizer.h>

#include <algorithm>

namespace syv::app {
namespace {

// meshoptimizer's own arrays (the cache pass copies the indices and keeps
// several per vertex and triangle): stacked in the scratch regions while they
// fit (it frees them all when a call ends), otherwise in huge pages as well.
struct Arena {
  char* begin;
  size_t size;
  size_t used = 0;
  size_t live = 0;
};
std::vector<Arena> gArenas;

void* allocate(size_t bytes) {
  for (Arena& a : gArenas) {
    const size_t at = (a.used + 63) & ~size_t(63);
    if (at <= a.size && bytes <= a.size - at) {
      a.used = at + bytes;
      ++a.live;
      return a.begin + at;
    }
  }
  void* p = ::operator new(bytes);
  adviseHuge(p, bytes);
  return p;
}

void deallocate(void* p) {
  for (Arena& a : gArenas)
    if (static_cast<char*>(p) >= a.begin && static_cast<char*>(p) < a.begin + a.size) {
      if (--a.live == 0) a.used = 0;
      return;
    }
  ::operator delete(p);
}

// An array of the converter's own on the same terms (scratch first).
struct Lease {
  explicit Lease(size_t n) : data(static_cast<unsigned*>(allocate(n * sizeof(unsigned)))) {}
  ~Lease() { deallocate(data); }
  Lease(const Lease&) = delete;
  Lease& operator=(const Lease&) = delete;
  unsigned* data;
};

// The cache pass rescans the triangles of each cached vertex, so its time
// grows with the sum of the squared triangle counts per vertex: about 6 per
// corner on a closed mesh, far more where copies of one object are stacked in
// place and their corners weld onto a few vertices.
bool cachePassAffordable(const std::vector<uint32_t>& indices, size_t vertices) {
  const Lease uses(vertices);
  std::fill_n(uses.data, vertices, 0u);
  for (uint32_t i : indices) ++uses.data[i];
  double work = 0;
  for (size_t v = 0; v < vertices; ++v) work += double(uses.data[v]) * double(uses.data[v]);
  return work <= 256.0 * double(indices.size());
}

// The vertex streams moved to the fetch order in place, all three in one walk
// along the cycles of the permutation: remapping each on its own would copy it
// whole first.
void permute(Submesh& sub, const unsigned* remap, size_t size) {
  std::vector<bool> placed(size);
  for (size_t start = 0; start < size; ++start) {
    if (placed[start]) continue;
    Vec3f position = sub.positions[start], normal = sub.normals[start];
    std::array<float, 2> uv = sub.uvs[start];
    size_t at = start;
    do {
      at = remap[at];
      std::swap(position, sub.positions[at]);
      std::swap(normal, sub.normals[at]);
      std::swap(uv, sub.uvs[at]);
      placed[at] = true;
    } while (at != start);
  }
}

template <typename T>
void remapStream(std::vector<T>& stream, const unsigned* remap, size_t kept) {
  meshopt_remapVertexBuffer(stream.data(), stream.data(), stream.size(), sizeof(T), remap);
  stream.resize(kept);
}

}  // namespace

void optimizeOrder(SubmeshSet& meshes, const Scratch* scratch) {
  struct Lent {
    ~Lent() { gArenas.clear(); }
  } lent;
  gArenas.clear();
  if (scratch)
    for (const Scratch::Region& r : scratch->regions) gArenas.push_back({r.begin, r.size});
  meshopt_setAllocator(allocate, deallocate);
  for (Submesh& sub : meshes.meshes) {
    const size_t vertices = sub.positions.size();
    if (sub.indices.empty() || vertices == 0) continue;
    if (cachePassAffordable(sub.indices, vertices))
      meshopt_optimizeVertexCache(sub.indices.data(), sub.indices.data(), sub.indices.size(), vertices);
    const Lease remap(vertices);
    // Welding leaves no vertex unused, so the fetch order is a permutation.
    const size_t kept =
        meshopt_optimizeVertexFetchRemap(remap.data, sub.indices.data(), sub.indices.size(), vertices);
    meshopt_remapIndexBuffer(sub.indices.data(), sub.indices.data(), sub.indices.size(), remap.data);
    if (kept == vertices && sub.normals.size() == vertices && sub.uvs.size() == vertices) {
      permute(sub, remap.data, vertices);
      continue;
    }
    remapStream(sub.positions, remap.data, kept);
    remapStream(sub.normals, remap.data, kept);
    remapStream(sub.uvs, remap.data, kept);
  }
}

}  // namespace syv::app

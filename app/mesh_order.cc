#include "app/mesh_order.h"

#include <meshoptimizer.h>

#include <algorithm>
#include <unordered_map>

namespace syv::app {
namespace {

// meshoptimizer's own arrays (the cache pass copies the indices and keeps
// several per vertex and triangle): stacked in the scratch regions while they
// fit, otherwise in huge pages as well. Each region is a stack: blocks come
// back in the reverse order they were taken (meshoptimizer's and ours alike),
// and the cache pass runs once per run of triangles.
struct Arena {
  char* begin;
  size_t size;
  size_t used = 0;
  struct Block {
    size_t at, before;  // its offset, and `used` before it was taken
  };
  std::vector<Block> blocks;  // still taken, in the order they were
};
std::vector<Arena> gArenas;

void* allocate(size_t bytes) {
  for (Arena& a : gArenas) {
    const size_t at = (a.used + 63) & ~size_t(63);
    if (at <= a.size && bytes <= a.size - at) {
      a.blocks.push_back({at, a.used});
      a.used = at + bytes;
      return a.begin + at;
    }
  }
  void* p = ::operator new(bytes);
  adviseHuge(p, bytes);
  return p;
}

// A block given back out of turn leaves its room taken until the arena is
// empty again.
void deallocate(void* p) {
  for (Arena& a : gArenas)
    if (static_cast<char*>(p) >= a.begin && static_cast<char*>(p) < a.begin + a.size) {
      const size_t at = size_t(static_cast<char*>(p) - a.begin);
      auto it = std::find_if(a.blocks.rbegin(), a.blocks.rend(),
                             [at](const Arena::Block& b) { return b.at == at; });
      if (it == a.blocks.rend()) return;
      if (it == a.blocks.rbegin()) a.used = it->before;
      a.blocks.erase(std::next(it).base());
      if (a.blocks.empty()) a.used = 0;
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
struct Uses {
  bool affordable;
  bool all;  // every vertex is used
};
Uses usesOf(const std::vector<uint32_t>& indices, size_t vertices) {
  const Lease uses(vertices);
  std::fill_n(uses.data, vertices, 0u);
  for (uint32_t i : indices) ++uses.data[i];
  // Two sums at a time: sums of whole numbers stay exact in any order below
  // 2^53, and above it either order is far past the limit.
  double work[2] = {0, 0};
  unsigned unused = 0;
  for (size_t v = 0; v < vertices; ++v) {
    const double u = uses.data[v];
    work[v & 1] += u * u;
    unused |= uses.data[v] == 0;
  }
  return {work[0] + work[1] <= 256.0 * double(indices.size()), unused == 0};
}

// The vertex streams from `begin` moved to the fetch order in place, all three
// in one walk along the cycles of the permutation: remapping each on its own
// would copy it whole first.
void permute(Submesh& sub, const unsigned* remap, size_t begin, size_t size,
             std::vector<bool>& placed) {
  placed.assign(size, false);
  Vec3f* positions = sub.positions.data() + begin;
  Vec3f* normals = sub.normals.data() + begin;
  std::array<float, 2>* uvs = sub.uvs.data() + begin;
  for (size_t start = 0; start < size; ++start) {
    if (placed[start]) continue;
    Vec3f position = positions[start], normal = normals[start];
    std::array<float, 2> uv = uvs[start];
    size_t at = start;
    do {
      at = remap[at];
      std::swap(position, positions[at]);
      std::swap(normal, normals[at]);
      std::swap(uv, uvs[at]);
      placed[at] = true;
    } while (at != start);
  }
}

template <typename T>
void remapStream(std::vector<T>& stream, const unsigned* remap, size_t kept) {
  meshopt_remapVertexBuffer(stream.data(), stream.data(), stream.size(), sizeof(T), remap);
  stream.resize(kept);
}

// A run of triangles shares no vertex with the others when every vertex
// before it is numbered below every vertex in and after it. The cache pass
// never leaves such a run before it is done (its triangles reach only its
// own vertices) and then takes the next triangle in input order, so runs
// may be ordered one at a time: the order is the same. Fetch order numbers
// the runs' vertices run after run too.
//
// Neither pass looks at what a vertex's number is, only at which corners
// share it: a run's order follows from its indices counted from its first
// vertex. Plants repeat their pieces (every leaf of a kind welds alike), so
// a run met before takes the order found then.
class KnownOrders {
 public:
  struct Order {
    const uint32_t* indices;  // from the run's first vertex
    const unsigned* remap;    // each vertex's new place
  };
  // `run`: the indices counted from its first vertex.
  bool find(const uint32_t* run, size_t corners, Order& out) {
    hash_ = hashOf(run, corners);
    auto it = first_.find(hash_);
    for (uint32_t e = it == first_.end() ? kNone : it->second; e != kNone; e = entries_[e].next) {
      const Entry& entry = entries_[e];
      if (entry.corners != corners ||
          !std::equal(run, run + corners, words_.begin() + std::ptrdiff_t(entry.at)))
        continue;
      out = {&words_[entry.at + corners], &words_[entry.at + 2 * corners]};
      return true;
    }
    return false;
  }
  // Whether a run of this size would still be kept (large ones are not
  // copied for nothing).
  bool room(size_t corners, size_t vertices) const {
    return words_.size() + 2 * corners + vertices <= kMaxWords;
  }
  // The run `find` missed last: `before` as it was, `after` ordered.
  void add(const uint32_t* before, const uint32_t* after, const unsigned* remap, size_t corners,
           size_t vertices) {
    if (!room(corners, vertices)) return;
    auto [it, fresh] = first_.try_emplace(hash_, uint32_t(entries_.size()));
    entries_.push_back({words_.size(), corners, fresh ? kNone : it->second});
    if (!fresh) it->second = uint32_t(entries_.size() - 1);
    words_.insert(words_.end(), before, before + corners);
    words_.insert(words_.end(), after, after + corners);
    words_.insert(words_.end(), remap, remap + vertices);
  }

 private:
  // Four lanes: one lane's multiplies wait on each other, four lanes' do not.
  static uint64_t hashOf(const uint32_t* run, size_t corners) {
    constexpr uint64_t kPrime = 0x100000001b3ull;
    uint64_t lane[4] = {corners, 1, 2, 3};
    size_t i = 0;
    for (; i + 4 <= corners; i += 4)
      for (int k = 0; k < 4; ++k) lane[k] = (lane[k] ^ run[i + size_t(k)]) * kPrime;
    for (; i < corners; ++i) lane[0] = (lane[0] ^ run[i]) * kPrime;
    return ((lane[0] * kPrime ^ lane[1]) * kPrime ^ lane[2]) * kPrime ^ lane[3];
  }
  static constexpr uint32_t kNone = ~0u;
  static constexpr size_t kMaxWords = size_t(1) << 22;  // 16 MB: some thousand kinds of piece
  struct Entry {
    size_t at;  // in words_
    size_t corners;
    uint32_t next;  // with the same hash
  };
  uint64_t hash_ = 0;
  std::unordered_map<uint64_t, uint32_t> first_;
  std::vector<Entry> entries_;
  std::vector<uint32_t> words_;
};

void orderInRuns(Submesh& sub, bool cachePass) {
  const size_t triangles = sub.indices.size() / 3;
  uint32_t* indices = sub.indices.data();
  // Per triangle: the least vertex of it and every later one.
  const Lease least(triangles + 1);
  least.data[triangles] = ~0u;
  for (size_t t = triangles; t-- > 0;)
    least.data[t] = std::min({least.data[t + 1], indices[t * 3], indices[t * 3 + 1], indices[t * 3 + 2]});
  KnownOrders known;
  std::vector<uint32_t> before;
  std::vector<unsigned> remap;
  std::vector<bool> placed;
  size_t begin = 0;   // first triangle of the run
  uint32_t base = 0;  // its first vertex
  uint32_t top = 0;   // the highest vertex so far
  for (size_t t = 0; t < triangles; ++t) {
    top = std::max({top, indices[t * 3], indices[t * 3 + 1], indices[t * 3 + 2]});
    const size_t end = t + 1;
    if (end < triangles && top >= least.data[end]) continue;
    const size_t count = size_t(top) + 1 - base;
    uint32_t* run = indices + begin * 3;
    const size_t corners = (end - begin) * 3;
    for (size_t i = 0; i < corners; ++i) run[i] -= base;
    KnownOrders::Order order;
    if (known.find(run, corners, order)) {
      for (size_t i = 0; i < corners; ++i) run[i] = base + order.indices[i];
      permute(sub, order.remap, base, count, placed);
    } else {
      const bool keep = known.room(corners, count);
      if (keep) before.assign(run, run + corners);
      if (cachePass) meshopt_optimizeVertexCache(run, run, corners, count);
      remap.assign(count, ~0u);
      unsigned next = 0;
      for (size_t i = 0; i < corners; ++i) {
        unsigned& to = remap[run[i]];
        if (to == ~0u) to = next++;
        run[i] = to;
      }
      if (keep) known.add(before.data(), run, remap.data(), corners, count);
      for (size_t i = 0; i < corners; ++i) run[i] += base;
      permute(sub, remap.data(), base, count, placed);
    }
    begin = end;
    base = top + 1;
  }
}

}  // namespace

void optimizeOrder(SubmeshSet& meshes, const Scratch* scratch) {
  struct Lent {
    ~Lent() { gArenas.clear(); }
  } lent;
  gArenas.clear();
  if (scratch)
    for (const Scratch::Region& r : scratch->regions) gArenas.push_back({r.begin, r.size, 0, {}});
  static const bool installed = (meshopt_setAllocator(allocate, deallocate), true);
  (void)installed;
  for (Submesh& sub : meshes.meshes) {
    const size_t vertices = sub.positions.size();
    if (sub.indices.empty() || vertices == 0) continue;
    const Uses uses = usesOf(sub.indices, vertices);
    // Welding leaves no vertex unused, so the fetch order is a permutation.
    if (uses.all && sub.normals.size() == vertices && sub.uvs.size() == vertices) {
      orderInRuns(sub, uses.affordable);
      continue;
    }
    if (uses.affordable)
      meshopt_optimizeVertexCache(sub.indices.data(), sub.indices.data(), sub.indices.size(), vertices);
    const Lease remap(vertices);
    const size_t kept =
        meshopt_optimizeVertexFetchRemap(remap.data, sub.indices.data(), sub.indices.size(), vertices);
    meshopt_remapIndexBuffer(sub.indices.data(), sub.indices.data(), sub.indices.size(), remap.data);
    remapStream(sub.positions, remap.data, kept);
    remapStream(sub.normals, remap.data, kept);
    remapStream(sub.uvs, remap.data, kept);
  }
}

}  // namespace syv::app

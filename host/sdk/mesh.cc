#include "host/sdk/mesh.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <new>
#include <utility>
#include <vector>

namespace hostsdk {

void Face::setEdgeVisFlags(DWORD va, DWORD vb, DWORD vc) {
  flags &= ~EDGE_ALL;
  if (va) flags |= EDGE_A;
  if (vb) flags |= EDGE_B;
  if (vc) flags |= EDGE_C;
}

namespace {

template <typename T>
BOOL resizeArray(HostArray<T>& v, int count, BOOL keep, size_t limit) {
  if (count < 0 || static_cast<size_t>(count) > limit) return FALSE;
  if (!keep) {
    HostArray<T> fresh;
    if (!fresh.resize(static_cast<size_t>(count))) return FALSE;
    v.swap(fresh);
    return TRUE;
  }
  return v.resize(static_cast<size_t>(count)) ? TRUE : FALSE;
}

}  // namespace

BOOL Mesh::setNumVerts(int count, BOOL keep, BOOL) {
  return resizeArray(verts, count, keep, limit_);
}

BOOL Mesh::setNumFaces(int count, BOOL keep, BOOL) {
  if (!resizeArray(faces, count, keep, limit_)) return FALSE;
  if (!tvFace.empty() && !resizeArray(tvFace, count, keep, limit_)) return FALSE;
  return TRUE;
}

BOOL Mesh::setNumTVerts(int count, BOOL keep) { return resizeArray(tVerts, count, keep, limit_); }

BOOL Mesh::setNumTVFaces(int count, BOOL keep, int) {
  return resizeArray(tvFace, count, keep, limit_);
}

void Mesh::buildBoundingBox() {
  Box3 box;  // a local, so that it stays in registers
  for (const Point3& p : verts) box += p;
  bounds_ = box;
}

namespace {

// Unit normal of a face, zero for a degenerate one or one naming a missing vertex.
inline Point3 normalOf(const Point3* verts, size_t n, const Face& f) {
  if (f.v[0] >= n || f.v[1] >= n || f.v[2] >= n) return Point3();
  const Point3& a = verts[f.v[0]];
  const Point3& b = verts[f.v[1]];
  const Point3& c = verts[f.v[2]];
  double ux = b.x - a.x, uy = b.y - a.y, uz = b.z - a.z;
  double vx = c.x - a.x, vy = c.y - a.y, vz = c.z - a.z;
  double nx = uy * vz - uz * vy, ny = uz * vx - ux * vz, nz = ux * vy - uy * vx;
  double len = std::sqrt(nx * nx + ny * ny + nz * nz);
  if (!(len > 0.0) || !std::isfinite(len)) return Point3();
  return Point3(static_cast<float>(nx / len), static_cast<float>(ny / len),
                static_cast<float>(nz / len));
}

// Parents always point to lower indices, so each root is its set's lowest
// face. The parents live in the faces' group fields until the groups replace
// them.
inline DWORD findRoot(Face* face, DWORD x) {
  while (face[x].smGroup != x) {
    const DWORD up = face[face[x].smGroup].smGroup;
    face[x].smGroup = up;
    x = up;
  }
  return x;
}

inline void unite(Face* face, DWORD a, DWORD b) {
  a = findRoot(face, a);
  b = findRoot(face, b);
  if (a != b) face[std::max(a, b)].smGroup = std::min(a, b);
}

// A face's vertices ascending: its edges are (x, y), (x, z) and (y, z).
struct Sorted {
  DWORD x, y, z;
  explicit Sorted(const Face& f) {
    const DWORD a = std::min(f.v[0], f.v[1]), b = std::max(f.v[0], f.v[1]);
    x = std::min(a, f.v[2]);
    const DWORD c = std::max(a, f.v[2]);
    y = std::min(b, c);
    z = std::max(b, c);
  }
  // An edge joins faces when it has two ends, both among the `nv` vertices;
  // its lower end owns it.
  bool xOwns(size_t nv) const { return (x < z && z < nv) || (x < y && y < nv); }
  bool yOwns(size_t nv) const { return y < z && z < nv; }
};

// Sorts keys whose two halves are below 2^bits each (least significant
// digit first, each digit within one half).
void radixSort(uint64_t* keys, size_t size, int bits) {
  constexpr int kDigit = 11;
  constexpr uint64_t kMask = (1u << kDigit) - 1;
  std::vector<uint64_t> other(size);
  uint64_t* from = keys;
  uint64_t* to = other.data();
  for (int half = 0; half < 64; half += 32) {
    for (int shift = 0; shift < bits; shift += kDigit) {
      auto digit = [&](uint64_t k) { return ((k >> half & 0xFFFFFFFFu) >> shift) & kMask; };
      uint32_t count[kMask + 2] = {0};
      for (size_t k = 0; k < size; ++k) ++count[digit(from[k]) + 1];
      for (size_t d = 0; d <= kMask; ++d) count[d + 1] += count[d];
      for (size_t k = 0; k < size; ++k) to[count[digit(from[k])]++] = from[k];
      std::swap(from, to);
    }
  }
  if (from != keys) std::copy(from, from + size, keys);
}

// Small lists by insertion (they come nearly sorted), long ones (a fan of
// faces on one edge) in linear time.
void sortKeys(uint64_t* keys, size_t size, int bits) {
  if (size > 4096) return radixSort(keys, size, bits);
  if (size > 32) return std::sort(keys, keys + size);
  for (size_t k = 1; k < size; ++k) {
    const uint64_t x = keys[k];
    size_t j = k;
    for (; j > 0 && keys[j - 1] > x; --j) keys[j] = keys[j - 1];
    keys[j] = x;
  }
}

template <typename T>
HostArray<T> workArray(size_t count) {
  HostArray<T> a;
  if (!a.resize(count)) throw std::bad_alloc();
  return a;
}

// Face normals by face index, direct-mapped, in place of an array of them: the
// walk wants a face's normal at its lowest and at its middle vertex, and meets
// those and its neighbours close together. A face without area reads NaN in x.
class NormalCache {
 public:
  NormalCache(const Point3* verts, size_t nv, const Face* face)
      : verts_(verts), nv_(nv), face_(face), entries_(kSize) {}
  Point3 operator()(uint32_t f) {
    Entry& e = entries_[f & (kSize - 1)];
    if (e.face != f) {
      e.face = f;
      e.normal = normalOf(verts_, nv_, face_[f]);
      if (e.normal.x == 0 && e.normal.y == 0 && e.normal.z == 0)
        e.normal.x = std::numeric_limits<float>::quiet_NaN();
    }
    return e.normal;
  }

 private:
  static constexpr size_t kSize = size_t{1} << 14;
  struct Entry {
    uint32_t face = UINT32_MAX;  // faces are counted in int: no face has this index
    Point3 normal;
  };
  const Point3* verts_;
  size_t nv_;
  const Face* face_;
  std::vector<Entry> entries_;
};

}  // namespace

Point3 Mesh::faceNormal(int i) const {
  return normalOf(verts.data(), verts.size(), faces[static_cast<size_t>(i)]);
}

// Faces joined by smooth edges form regions; each region then takes the
// lowest of 32 group bits that none of its neighbours across sharp edges has,
// so that the sharp edges stay sharp. A region with neighbours on all 32 bits
// takes the bit its neighbours use least.
//
// Edges are met in the order of (lower vertex, upper vertex, face): each face
// waits in a list under the lowest vertex owning one of its edges, then moves
// on to the next owner, and only the short list of one vertex's edges is
// sorted. The work arrays are zeroed mappings (no pass to clear them, huge
// pages when large); the union-find parents and then the groups live in the
// faces' group fields.
void Mesh::AutoSmooth(float angle, BOOL, BOOL) {
  const size_t n = faces.size();
  if (n == 0) return;
  const size_t nv = verts.size();
  Face* face = faces.data();
  const double cosLimit = std::cos(static_cast<double>(angle));

  HostArray<uint32_t> head = workArray<uint32_t>(nv);  // face + 1, 0 ends
  HostArray<uint32_t> next = workArray<uint32_t>(n);
  // Plain pointers: the compiler cannot tell the arrays' handles from the faces.
  uint32_t* const head_ = head.data();
  uint32_t* const next_ = next.data();
  // Backwards, so that the lists come out ascending, nearly as sorted.
  for (size_t i = n; i-- > 0;) {
    face[i].smGroup = static_cast<DWORD>(i);
    const Sorted s(face[i]);
    const DWORD owner = s.xOwns(nv) ? s.x : s.yOwns(nv) ? s.y : UINT32_MAX;
    if (owner != UINT32_MAX) {
      next_[i] = head_[owner];
      head_[owner] = static_cast<uint32_t>(i + 1);
    }
  }

  // A face without area has no shading of its own: it takes the group of the
  // first neighbour with area met, and never joins or separates others. It is
  // never united, so its group field is free to hold that neighbour (itself
  // while it has none). An edge reaching past the vertices joins only faces
  // without a normal, which changes nothing.
  NormalCache normalAt(verts.data(), nv, face);
  auto adopt = [face](uint32_t f, uint32_t g) {
    if (face[f].smGroup == f) face[f].smGroup = g;
  };
  std::vector<uint64_t> sharp;  // root pairs, then higher << 32 | lower
  std::vector<uint64_t> edges(64);  // upper vertex << 32 | face, of one vertex
  for (size_t a = 0; a < nv; ++a) {
    size_t count = 0;
    for (uint32_t link = head_[a]; link != 0;) {
      const uint32_t i = link - 1;
      link = next_[i];
      const Sorted s(face[i]);
      if (edges.size() < count + 3) edges.resize(edges.size() * 2);
      uint64_t* out = edges.data() + count;
      const uint64_t xy = uint64_t{s.y} << 32 | i, xz = uint64_t{s.z} << 32 | i;
      if (s.x == a) {
        out[0] = xy;
        count += s.x < s.y && s.y < nv;
        edges[count] = xz;
        count += s.x < s.z && s.z < nv;
        // The face waits next under its middle vertex if that owns an edge.
        if (s.x < s.y && s.yOwns(nv)) {
          next_[i] = head_[s.y];
          head_[s.y] = i + 1;
        }
      }
      if (s.y == a) {
        edges[count] = xz;
        count += s.yOwns(nv);
      }
    }
    if (count < 2) continue;  // an edge of one face meets no other
    sortKeys(edges.data(), count, 32);
    // An edge shared by many faces compares each with its neighbour in the
    // list, which bounds the work on fans of degenerate faces.
    for (size_t k = 0; k + 1 < count; ++k) {
      if ((edges[k] ^ edges[k + 1]) >> 32) continue;
      const uint32_t f = static_cast<uint32_t>(edges[k]), g = static_cast<uint32_t>(edges[k + 1]);
      if (f == g) continue;
      const Point3 p = normalAt(f), q = normalAt(g);
      const bool df = std::isnan(p.x), dg = std::isnan(q.x);
      if (df || dg) {
        if (df && !dg) adopt(f, g);
        if (dg && !df) adopt(g, f);
        continue;
      }
      const double d = static_cast<double>(p.x) * q.x + static_cast<double>(p.y) * q.y +
                       static_cast<double>(p.z) * q.z;
      if (d > cosLimit) unite(face, f, g);
      else sharp.push_back(uint64_t{f} << 32 | g);
    }
  }
  std::vector<uint64_t>().swap(edges);
  next.release();
  head.release();

  // Region adjacency across sharp edges; only a lower region has its group
  // when a region takes its own, so each pair is kept under the higher one.
  size_t kept = 0;
  for (uint64_t s : sharp) {
    const DWORD a = findRoot(face, static_cast<DWORD>(s >> 32));
    const DWORD b = findRoot(face, static_cast<DWORD>(s));
    if (a != b) sharp[kept++] = uint64_t{std::max(a, b)} << 32 | std::min(a, b);
  }
  sharp.resize(kept);
  int bits = 1;
  while (bits < 32 && (size_t{1} << bits) < n) ++bits;
  sortKeys(sharp.data(), sharp.size(), bits);
  sharp.erase(std::unique(sharp.begin(), sharp.end()), sharp.end());

  // Groups in face order: a root takes its group from its lower neighbours,
  // any other face copies its parent's (lower, hence already final), and so
  // does a face without area from a lower neighbour; a higher one waits.
  std::vector<uint32_t> later;
  size_t cursor = 0;
  for (size_t r = 0; r < n; ++r) {
    const DWORD up = face[r].smGroup;
    if (up < r) {
      face[r].smGroup = face[up].smGroup;
      continue;
    }
    if (up > r) {
      later.push_back(static_cast<uint32_t>(r));
      continue;
    }
    DWORD used = 0;
    int counts[32] = {0};
    for (; cursor < sharp.size() && (sharp[cursor] >> 32) == r; ++cursor) {
      DWORD g = face[static_cast<uint32_t>(sharp[cursor])].smGroup;
      used |= g;
      for (int bit = 0; bit < 32; ++bit) {
        if (g & (1u << bit)) ++counts[bit];
      }
    }
    int chosen = -1;
    for (int bit = 0; bit < 32 && chosen < 0; ++bit) {
      if (!(used & (1u << bit))) chosen = bit;
    }
    if (chosen < 0) chosen = static_cast<int>(std::min_element(counts, counts + 32) - counts);
    face[r].smGroup = 1u << chosen;
  }
  for (uint32_t f : later) face[f].smGroup = face[face[f].smGroup].smGroup;
}

}  // namespace hostsdk

#include "host/sdk/mesh.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
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
  bounds_.Init();
  // Box3::operator+= in registers: the exported call per vertex went through the PLT.
  Point3 lo = bounds_.pmin, hi = bounds_.pmax;
  for (const Point3& p : verts) {
    lo.x = std::min(lo.x, p.x);
    lo.y = std::min(lo.y, p.y);
    lo.z = std::min(lo.z, p.z);
    hi.x = std::max(hi.x, p.x);
    hi.y = std::max(hi.y, p.y);
    hi.z = std::max(hi.z, p.z);
  }
  bounds_.pmin = lo;
  bounds_.pmax = hi;
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

// Parents always point to lower indices, so each root is its set's lowest face.
uint32_t findRoot(uint32_t* parent, uint32_t x) {
  while (parent[x] != x) {
    parent[x] = parent[parent[x]];
    x = parent[x];
  }
  return x;
}

void unite(uint32_t* parent, uint32_t a, uint32_t b) {
  a = findRoot(parent, a);
  b = findRoot(parent, b);
  if (a != b) parent[std::max(a, b)] = std::min(a, b);
}

// The lower vertices of a face's edges that reach no further than `nv`:
// at most two distinct ones (the lowest and the middle vertex).
inline int edgeOwners(const Face& f, size_t nv, DWORD owner[2]) {
  int count = 0;
  for (int e = 0; e < 3; ++e) {
    DWORD p = f.v[e], q = f.v[e == 2 ? 0 : e + 1];
    if (p == q) continue;
    if (p > q) std::swap(p, q);
    if (q >= nv) continue;
    if (count == 0 || (owner[0] != p && (count == 1 || owner[1] != p))) owner[count++] = p;
  }
  return count;
}

template <typename T>
HostArray<T> workArray(size_t count) {
  HostArray<T> a;
  if (!a.resize(count)) throw std::bad_alloc();
  return a;
}

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
// is listed (a counting sort, linear) under the lower vertices of its edges,
// and only the short list of one vertex's edges is sorted. The work arrays
// are zeroed mappings (no pass to clear them, huge pages when large).
void Mesh::AutoSmooth(float angle, BOOL, BOOL) {
  const size_t n = faces.size();
  if (n == 0) return;
  const size_t nv = verts.size();
  const Face* face = faces.data();
  const double cosLimit = std::cos(static_cast<double>(angle));

  // Normals, and how many faces each vertex owns an edge of. An edge
  // reaching past the vertices joins only faces without a normal, which
  // changes nothing.
  HostArray<Point3> normals = workArray<Point3>(n);
  HostArray<uint32_t> start = workArray<uint32_t>(nv + 2);
  // A face without area has no shading of its own: it takes the group of a
  // neighbour, and never joins or separates others. Such faces are few:
  // (face, adopted) sorted by face.
  constexpr uint32_t kNone = UINT32_MAX;
  std::vector<std::pair<uint32_t, uint32_t>> adopt;
  for (size_t i = 0; i < n; ++i) {
    const Point3 normal = normalOf(verts.data(), nv, face[i]);
    normals[i] = normal;
    if (normal.x == 0 && normal.y == 0 && normal.z == 0)
      adopt.emplace_back(static_cast<uint32_t>(i), kNone);
    DWORD owner[2];
    const int k = edgeOwners(face[i], nv, owner);
    for (int j = 0; j < k; ++j) ++start[owner[j] + 1];
  }
  for (size_t v = 0; v < nv; ++v) start[v + 1] += start[v];
  const uint32_t listed = start[nv];
  start[nv + 1] = listed;
  // Filled backwards, so each vertex's faces come out ascending; start[v + 1]
  // ends as the first of vertex v's.
  HostArray<uint32_t> owned = workArray<uint32_t>(listed);
  for (size_t i = n; i-- > 0;) {
    DWORD owner[2];
    const int k = edgeOwners(face[i], nv, owner);
    for (int j = 0; j < k; ++j) owned[--start[owner[j] + 1]] = static_cast<uint32_t>(i);
  }

  auto degenerate = [&](uint32_t f) {
    const Point3& p = normals[f];
    return p.x == 0 && p.y == 0 && p.z == 0;
  };
  auto smooth = [&](uint32_t f, uint32_t g) {
    const Point3& p = normals[f];
    const Point3& q = normals[g];
    double d = static_cast<double>(p.x) * q.x + static_cast<double>(p.y) * q.y +
               static_cast<double>(p.z) * q.z;
    return d > cosLimit;
  };

  auto adoptOf = [&](uint32_t f) -> uint32_t& {
    return std::lower_bound(adopt.begin(), adopt.end(), std::make_pair(f, 0u))->second;
  };
  HostArray<uint32_t> parent = workArray<uint32_t>(n);
  for (size_t i = 0; i < n; ++i) parent[i] = static_cast<uint32_t>(i);
  std::vector<std::pair<uint32_t, uint32_t>> sharp;
  std::vector<uint64_t> edges;  // upper vertex << 32 | face, of one vertex
  for (size_t a = 0; a < nv; ++a) {
    const uint32_t first = start[a + 1], last = start[a + 2];
    if (last - first < 2) continue;  // an edge of one face meets no other
    edges.clear();
    for (uint32_t k = first; k < last; ++k) {
      const uint32_t i = owned[k];
      const Face& f = face[i];
      for (int e = 0; e < 3; ++e) {
        uint64_t p = f.v[e], q = f.v[e == 2 ? 0 : e + 1];
        if (p == q) continue;
        if (p > q) std::swap(p, q);
        if (p == a && q < nv) edges.push_back(q << 32 | i);
      }
    }
    // Insertion sort: a vertex owns a handful of edges.
    for (size_t k = 1; k < edges.size(); ++k) {
      const uint64_t x = edges[k];
      size_t j = k;
      for (; j > 0 && edges[j - 1] > x; --j) edges[j] = edges[j - 1];
      edges[j] = x;
    }
    // An edge shared by many faces compares each with its neighbour in the
    // list, which bounds the work on fans of degenerate faces.
    for (size_t k = 0; k + 1 < edges.size(); ++k) {
      if ((edges[k] ^ edges[k + 1]) >> 32) continue;
      const uint32_t f = static_cast<uint32_t>(edges[k]), g = static_cast<uint32_t>(edges[k + 1]);
      if (f == g) continue;
      const bool df = degenerate(f), dg = degenerate(g);
      if (df || dg) {
        if (df && !dg && adoptOf(f) == kNone) adoptOf(f) = g;
        if (dg && !df && adoptOf(g) == kNone) adoptOf(g) = f;
      } else if (smooth(f, g)) {
        unite(parent.data(), f, g);
      } else {
        sharp.emplace_back(f, g);
      }
    }
  }
  std::vector<uint64_t>().swap(edges);
  start.release();
  normals.release();

  // Each face's root, in place: a parent is lower, hence already final.
  HostArray<uint32_t>& root = parent;
  for (size_t i = 0; i < n; ++i) root[i] = root[root[i]];

  // Region adjacency across sharp edges.
  for (auto& s : sharp) s = {root[s.first], root[s.second]};
  sharp.erase(std::remove_if(sharp.begin(), sharp.end(),
                             [](const std::pair<uint32_t, uint32_t>& s) { return s.first == s.second; }),
              sharp.end());
  const size_t pairs = sharp.size();
  sharp.reserve(pairs * 2);
  for (size_t k = 0; k < pairs; ++k) sharp.emplace_back(sharp[k].second, sharp[k].first);
  std::vector<std::pair<uint32_t, uint32_t>>& adjacency = sharp;
  std::sort(adjacency.begin(), adjacency.end());
  adjacency.erase(std::unique(adjacency.begin(), adjacency.end()), adjacency.end());

  // The face lists' pages serve for the groups: clearing them costs less
  // than the kernel's clearing of fresh ones.
  HostArray<DWORD> groupOf = std::move(owned);
  if (!groupOf.empty()) std::memset(groupOf.data(), 0, std::min(groupOf.size(), n) * sizeof(DWORD));
  if (!groupOf.resize(n)) throw std::bad_alloc();
  size_t cursor = 0;
  for (size_t r = 0; r < n; ++r) {
    if (root[r] != r) continue;
    while (cursor < adjacency.size() && adjacency[cursor].first < r) ++cursor;
    DWORD used = 0;
    int counts[32] = {0};
    for (size_t k = cursor; k < adjacency.size() && adjacency[k].first == r; ++k) {
      DWORD g = groupOf[adjacency[k].second];
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
    groupOf[r] = 1u << chosen;
  }
  size_t next = 0;
  for (size_t i = 0; i < n; ++i) {
    size_t from = i;
    if (next < adopt.size() && adopt[next].first == i) {
      if (adopt[next].second != kNone) from = adopt[next].second;
      ++next;
    }
    faces[i].smGroup = groupOf[root[from]];
  }
}

}  // namespace hostsdk

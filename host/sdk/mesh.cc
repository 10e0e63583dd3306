#include "host/sdk/mesh.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numeric>
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
  for (const Point3& p : verts) bounds_ += p;
}

Point3 Mesh::faceNormal(int i) const {
  const Face& f = faces[static_cast<size_t>(i)];
  size_t n = verts.size();
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

namespace {

// Parents always point to lower indices, so each root is its set's lowest face.
struct UnionFind {
  std::vector<uint32_t> parent;
  explicit UnionFind(size_t n) : parent(n) { std::iota(parent.begin(), parent.end(), 0u); }
  uint32_t find(uint32_t x) {
    while (parent[x] != x) {
      parent[x] = parent[parent[x]];
      x = parent[x];
    }
    return x;
  }
  void unite(uint32_t a, uint32_t b) {
    a = find(a);
    b = find(b);
    if (a != b) parent[std::max(a, b)] = std::min(a, b);
  }
};

template <typename T>
void freeVector(std::vector<T>& v) {
  std::vector<T>().swap(v);
}

}  // namespace

// Faces joined by smooth edges form regions; each region then takes the
// lowest of 32 group bits that none of its neighbours across sharp edges has,
// so that the sharp edges stay sharp. A region with neighbours on all 32 bits
// takes the bit its neighbours use least.
//
// Edges are met in the order of (lower vertex, upper vertex, face): the faces
// around each vertex (a counting sort, linear) give its edges to higher
// vertices, and only that short list is sorted.
void Mesh::AutoSmooth(float angle, BOOL, BOOL) {
  const size_t n = faces.size();
  if (n == 0) return;
  const size_t nv = verts.size();
  std::vector<Point3> normals(n);
  for (size_t i = 0; i < n; ++i) normals[i] = faceNormal(static_cast<int>(i));
  const double cosLimit = std::cos(static_cast<double>(angle));

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

  // Faces around each vertex, in face order. An edge reaching past the
  // vertices joins only faces without a normal, which changes nothing.
  std::vector<uint32_t> start(nv + 1, 0);
  for (size_t i = 0; i < n; ++i)
    for (DWORD v : faces[i].v)
      if (v < nv) ++start[v + 1];
  for (size_t v = 0; v < nv; ++v) start[v + 1] += start[v];
  std::vector<uint32_t> around(start[nv]);
  {
    std::vector<uint32_t> fill(start.begin(), start.end() - 1);
    for (size_t i = 0; i < n; ++i)
      for (DWORD v : faces[i].v)
        if (v < nv) around[fill[v]++] = static_cast<uint32_t>(i);
  }

  // A face without area has no shading of its own: it takes the group of a
  // neighbour, and never joins or separates others. Such faces are few:
  // (face, adopted) sorted by face.
  constexpr uint32_t kNone = UINT32_MAX;
  std::vector<std::pair<uint32_t, uint32_t>> adopt;
  for (size_t i = 0; i < n; ++i)
    if (degenerate(static_cast<uint32_t>(i))) adopt.emplace_back(static_cast<uint32_t>(i), kNone);
  auto adoptOf = [&](uint32_t f) -> uint32_t& {
    return std::lower_bound(adopt.begin(), adopt.end(), std::make_pair(f, 0u))->second;
  };
  UnionFind regions(n);
  std::vector<std::pair<uint32_t, uint32_t>> sharp;
  std::vector<std::pair<uint32_t, uint32_t>> edges;  // (upper vertex, face) of one vertex
  for (size_t a = 0; a < nv; ++a) {
    edges.clear();
    uint32_t previous = kNone;
    for (uint32_t k = start[a]; k < start[a + 1]; ++k) {
      const uint32_t i = around[k];
      if (i == previous) continue;  // a face naming the vertex twice
      previous = i;
      const Face& f = faces[i];
      for (int e = 0; e < 3; ++e) {
        uint64_t p = f.v[e], q = f.v[(e + 1) % 3];
        if (p == q) continue;
        if (p > q) std::swap(p, q);
        if (p == a && q < nv) edges.emplace_back(static_cast<uint32_t>(q), i);
      }
    }
    std::sort(edges.begin(), edges.end());
    // An edge shared by many faces compares each with its neighbour in the
    // list, which bounds the work on fans of degenerate faces.
    for (size_t k = 0; k + 1 < edges.size(); ++k) {
      if (edges[k].first != edges[k + 1].first) continue;
      uint32_t f = edges[k].second, g = edges[k + 1].second;
      if (f == g) continue;
      const bool df = degenerate(f), dg = degenerate(g);
      if (df || dg) {
        if (df && !dg && adoptOf(f) == kNone) adoptOf(f) = g;
        if (dg && !df && adoptOf(g) == kNone) adoptOf(g) = f;
      } else if (smooth(f, g)) {
        regions.unite(f, g);
      } else {
        sharp.emplace_back(f, g);
      }
    }
  }
  freeVector(edges);
  freeVector(around);
  freeVector(start);
  freeVector(normals);

  // Each face's root, in place: a parent is lower, hence already final.
  std::vector<uint32_t>& root = regions.parent;
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

  std::vector<DWORD> groupOf(n, 0);
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

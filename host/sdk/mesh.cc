#include "host/sdk/mesh.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <new>
#include <stdexcept>
#include <numeric>
#include <utility>

namespace hostsdk {

void Face::setEdgeVisFlags(DWORD va, DWORD vb, DWORD vc) {
  flags &= ~EDGE_ALL;
  if (va) flags |= EDGE_A;
  if (vb) flags |= EDGE_B;
  if (vc) flags |= EDGE_C;
}

namespace {

template <typename T>
BOOL resizeArray(std::vector<T>& v, int count, BOOL keep, size_t limit) {
  if (count < 0 || static_cast<size_t>(count) > limit) return FALSE;
  try {
    if (!keep) {
      std::vector<T> fresh(static_cast<size_t>(count));
      v.swap(fresh);
    } else {
      v.resize(static_cast<size_t>(count));
    }
    if (v.capacity() > v.size() * 2 + 16) v.shrink_to_fit();
  } catch (const std::bad_alloc&) {
    return FALSE;
  } catch (const std::length_error&) {
    return FALSE;
  }
  return TRUE;
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

}  // namespace

// Faces joined by smooth edges form regions; each region then takes the
// lowest of 32 group bits that none of its neighbours across sharp edges has,
// so that the sharp edges stay sharp. A region with neighbours on all 32 bits
// takes the bit its neighbours use least.
void Mesh::AutoSmooth(float angle, BOOL, BOOL) {
  const size_t n = faces.size();
  if (n == 0) return;
  std::vector<Point3> normals(n);
  for (size_t i = 0; i < n; ++i) normals[i] = faceNormal(static_cast<int>(i));
  const double cosLimit = std::cos(static_cast<double>(angle));

  struct EdgeRef {
    uint64_t key;
    uint32_t face;
  };
  std::vector<EdgeRef> edges;
  edges.reserve(n * 3);
  for (size_t i = 0; i < n; ++i) {
    const Face& f = faces[i];
    for (int e = 0; e < 3; ++e) {
      uint64_t a = f.v[e], b = f.v[(e + 1) % 3];
      if (a == b) continue;
      if (a > b) std::swap(a, b);
      edges.push_back({(a << 32) | b, static_cast<uint32_t>(i)});
    }
  }
  std::sort(edges.begin(), edges.end(), [](const EdgeRef& x, const EdgeRef& y) {
    return x.key != y.key ? x.key < y.key : x.face < y.face;
  });

  auto smooth = [&](uint32_t f, uint32_t g) {
    const Point3& p = normals[f];
    const Point3& q = normals[g];
    double d = static_cast<double>(p.x) * q.x + static_cast<double>(p.y) * q.y +
               static_cast<double>(p.z) * q.z;
    bool zero = (p.x == 0 && p.y == 0 && p.z == 0) || (q.x == 0 && q.y == 0 && q.z == 0);
    return !zero && d > cosLimit;
  };

  UnionFind regions(n);
  std::vector<std::pair<uint32_t, uint32_t>> sharp;
  for (size_t i = 0; i < edges.size();) {
    size_t j = i + 1;
    while (j < edges.size() && edges[j].key == edges[i].key) ++j;
    // An edge shared by many faces compares each with its neighbour in the
    // list, which bounds the work on fans of degenerate faces.
    for (size_t k = i; k + 1 < j; ++k) {
      uint32_t f = edges[k].face, g = edges[k + 1].face;
      if (f == g) continue;
      if (smooth(f, g)) {
        regions.unite(f, g);
      } else {
        sharp.emplace_back(f, g);
      }
    }
    i = j;
  }

  // Region adjacency across sharp edges.
  std::vector<uint32_t> root(n);
  for (size_t i = 0; i < n; ++i) root[i] = regions.find(static_cast<uint32_t>(i));
  std::vector<std::pair<uint32_t, uint32_t>> adjacency;
  adjacency.reserve(sharp.size() * 2);
  for (const auto& s : sharp) {
    uint32_t a = root[s.first], b = root[s.second];
    if (a == b) continue;
    adjacency.emplace_back(a, b);
    adjacency.emplace_back(b, a);
  }
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
  for (size_t i = 0; i < n; ++i) faces[i].smGroup = groupOf[root[i]];
}

}  // namespace hostsdk

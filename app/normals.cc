#include "app/normals.h"

#include <cmath>

namespace syv::app {
namespace {

struct Vec3d {
  double x = 0, y = 0, z = 0;
};

Vec3d toD(const Vec3f& v) { return {v[0], v[1], v[2]}; }

Vec3d sub(const Vec3d& a, const Vec3d& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }

// Interior angle at `at` between the edges to `p` and `q`; 0 when degenerate.
double cornerAngle(const Vec3d& at, const Vec3d& p, const Vec3d& q) {
  const Vec3d u = sub(p, at), w = sub(q, at);
  const double lu = std::sqrt(u.x * u.x + u.y * u.y + u.z * u.z);
  const double lw = std::sqrt(w.x * w.x + w.y * w.y + w.z * w.z);
  if (!(lu > 0) || !(lw > 0)) return 0;
  const double c = (u.x * w.x + u.y * w.y + u.z * w.z) / (lu * lw);
  return std::acos(c < -1 ? -1 : c > 1 ? 1 : c);
}

// Unnormalised normal of the host winding.
Vec3d areaNormal(const TriMesh& mesh, const TriFace& f) {
  const size_t n = mesh.vertices.size();
  if (f.v[0] >= n || f.v[1] >= n || f.v[2] >= n) return {};
  Vec3d a = toD(mesh.vertices[f.v[0]]), b = toD(mesh.vertices[f.v[1]]),
        c = toD(mesh.vertices[f.v[2]]);
  Vec3d u{b.x - a.x, b.y - a.y, b.z - a.z}, w{c.x - a.x, c.y - a.y, c.z - a.z};
  return {u.y * w.z - u.z * w.y, u.z * w.x - u.x * w.z, u.x * w.y - u.y * w.x};
}

bool unitOf(const Vec3d& v, Vec3f& out) {
  double len = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
  if (!(len > 1e-30) || !std::isfinite(len)) return false;
  out = {float(v.x / len), float(v.y / len), float(v.z / len)};
  return std::isfinite(out[0]) && std::isfinite(out[1]) && std::isfinite(out[2]);
}

const Vec3f kUp{0.f, 0.f, 1.f};

}  // namespace

Vec3f faceNormal(const TriMesh& mesh, const TriFace& face) {
  Vec3f n{0.f, 0.f, 0.f};
  unitOf(areaNormal(mesh, face), n);
  return n;
}

std::vector<Vec3f> cornerNormals(const TriMesh& mesh) {
  const size_t faceCount = mesh.faces.size();
  const size_t vertexCount = mesh.vertices.size();
  std::vector<Vec3d> area(faceCount);
  // Corner angles weigh the sum: unlike areas they do not depend on how a
  // quad was split into triangles.
  std::vector<double> angle(faceCount * 3, 0.0);
  std::vector<Vec3f> flat(faceCount);
  std::vector<bool> valid(faceCount);
  for (size_t f = 0; f < faceCount; ++f) {
    const TriFace& face = mesh.faces[f];
    valid[f] = face.v[0] < vertexCount && face.v[1] < vertexCount && face.v[2] < vertexCount;
    area[f] = areaNormal(mesh, face);
    if (!unitOf(area[f], flat[f])) flat[f] = kUp;
    if (valid[f] && (area[f].x != 0 || area[f].y != 0 || area[f].z != 0)) {
      Vec3d p[3];
      for (int k = 0; k < 3; ++k) p[k] = toD(mesh.vertices[face.v[k]]);
      for (int k = 0; k < 3; ++k) angle[f * 3 + k] = cornerAngle(p[k], p[(k + 1) % 3], p[(k + 2) % 3]);
    }
  }

  // Faces around each vertex (compressed rows), for smoothed faces only.
  std::vector<uint32_t> start(vertexCount + 1, 0);
  for (size_t f = 0; f < faceCount; ++f)
    if (valid[f] && mesh.faces[f].smoothing != 0)
      for (uint32_t v : mesh.faces[f].v) ++start[v + 1];
  for (size_t v = 0; v < vertexCount; ++v) start[v + 1] += start[v];
  std::vector<uint32_t> around(start[vertexCount]);
  std::vector<uint32_t> fill(start.begin(), start.end() - 1);
  for (size_t f = 0; f < faceCount; ++f)
    if (valid[f] && mesh.faces[f].smoothing != 0)
      for (uint32_t v : mesh.faces[f].v) around[fill[v]++] = uint32_t(f);

  std::vector<Vec3f> out(faceCount * 3);
  for (size_t f = 0; f < faceCount; ++f)
    for (int k = 0; k < 3; ++k) out[f * 3 + k] = flat[f];

  // Faces with the same bits at a vertex share one sum, so the cost per vertex
  // is its valence times the number of distinct bit sets there (few in practice).
  struct Group {
    uint32_t bits;
    bool ok;  // false: the sum vanished, each face keeps its own normal
    Vec3f normal;
  };
  std::vector<Group> groups;
  for (size_t v = 0; v < vertexCount; ++v) {
    groups.clear();
    for (uint32_t i = start[v]; i < start[v + 1]; ++i) {
      const uint32_t f = around[i];
      const TriFace& face = mesh.faces[f];
      const Group* g = nullptr;
      for (const Group& c : groups)
        if (c.bits == face.smoothing) g = &c;
      if (!g) {
        Vec3d sum;
        for (uint32_t j = start[v]; j < start[v + 1]; ++j) {
          const uint32_t other = around[j];
          const TriFace& of = mesh.faces[other];
          if ((of.smoothing & face.smoothing) == 0) continue;
          const int k = of.v[0] == v ? 0 : of.v[1] == v ? 1 : 2;
          const double w = angle[size_t(other) * 3 + size_t(k)];
          sum.x += double(flat[other][0]) * w;
          sum.y += double(flat[other][1]) * w;
          sum.z += double(flat[other][2]) * w;
        }
        Group made{face.smoothing, false, {}};
        made.ok = unitOf(sum, made.normal);
        groups.push_back(made);
        g = &groups.back();
      }
      const Vec3f& n = g->ok ? g->normal : flat[f];
      for (int k = 0; k < 3; ++k)
        if (face.v[k] == v) out[size_t(f) * 3 + k] = n;
    }
  }
  return out;
}

}  // namespace syv::app

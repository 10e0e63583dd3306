#include "app/submeshes.h"

#include <meshoptimizer.h>

#include <cmath>
#include <cstring>
#include <map>
#include <vector>

#include "app/normals.h"

namespace syv::app {
namespace {

struct Corner {
  Vec3f p, n;
  std::array<float, 2> uv;
};

// What welding compares: the corner's bits with -0 made +0, so that the two
// zeros weld while the first corner's own values are the ones written.
struct CornerKey {
  uint32_t bits[8];
};

uint32_t canonicalBits(float f) {
  if (f == 0.f) f = 0.f;
  uint32_t b;
  std::memcpy(&b, &f, sizeof b);
  return b;
}

CornerKey keyOf(const Corner& c) {
  const float v[8] = {c.p[0], c.p[1], c.p[2], c.n[0], c.n[1], c.n[2], c.uv[0], c.uv[1]};
  CornerKey k;
  for (int i = 0; i < 8; ++i) k.bits[i] = canonicalBits(v[i]);
  return k;
}

bool finite(const Corner& c) {
  for (float f : {c.p[0], c.p[1], c.p[2], c.n[0], c.n[1], c.n[2], c.uv[0], c.uv[1]})
    if (!std::isfinite(f)) return false;
  return true;
}

// Corner k of face f in the output frame; false when an index is out of range
// or a value is not finite.
bool cornerOf(const TriMesh& mesh, const std::vector<Vec3f>& normals, size_t f, int k,
              double scale, Corner& c) {
  const TriFace& face = mesh.faces[f];
  if (face.v[k] >= mesh.vertices.size()) return false;
  c.p = toOutputFrame(mesh.vertices[face.v[k]], scale);
  c.n = toOutputFrame(normals[f * 3 + size_t(k)], 1.0);
  c.uv = {0.f, 0.f};
  if (mesh.hasTexCoords) {
    if (face.tv[k] >= mesh.tverts.size()) return false;
    c.uv = {mesh.tverts[face.tv[k]][0], mesh.tverts[face.tv[k]][1]};
  }
  return finite(c);
}

bool faceOk(const TriMesh& mesh, const std::vector<Vec3f>& normals, size_t f, double scale) {
  Corner c;
  for (int k = 0; k < 3; ++k)
    if (!cornerOf(mesh, normals, f, k, scale, c)) return false;
  return true;
}

// Welds the corners of `faces` (in that order): vertices are numbered in the
// order they first appear, each keeping the values of its first corner.
void weld(const TriMesh& mesh, const std::vector<Vec3f>& normals, const uint32_t* faces,
          size_t faceCount, double scale, Submesh& out) {
  const size_t n = faceCount * 3;
  std::vector<uint32_t> remap(n);
  size_t unique = 0;
  {
    std::vector<CornerKey> keys(n);
    Corner c;
    for (size_t i = 0; i < faceCount; ++i)
      for (int k = 0; k < 3; ++k) {
        cornerOf(mesh, normals, faces[i], k, scale, c);
        keys[i * 3 + size_t(k)] = keyOf(c);
      }
    unique = meshopt_generateVertexRemap(remap.data(), nullptr, n, keys.data(), n, sizeof(CornerKey));
  }
  out.positions.reserve(unique);
  out.normals.reserve(unique);
  out.uvs.reserve(unique);
  Corner c;
  for (size_t i = 0; i < n; ++i) {
    if (remap[i] != out.positions.size()) continue;
    cornerOf(mesh, normals, faces[i / 3], int(i % 3), scale, c);
    out.positions.push_back(c.p);
    out.normals.push_back(c.n);
    out.uvs.push_back(c.uv);
  }
  out.indices = std::move(remap);
}

}  // namespace

Vec3f toOutputFrame(const Vec3f& v, double scale) {
  return {float(double(v[0]) * scale), float(double(v[2]) * scale), float(-double(v[1]) * scale)};
}

SubmeshSet buildSubmeshes(const TriMesh& mesh, double scale) {
  SubmeshSet out;
  const std::vector<Vec3f> normals = cornerNormals(mesh);
  // The kept faces grouped by material id, each group in face order.
  std::vector<uint8_t> kept(mesh.faces.size());
  std::map<uint32_t, size_t> counts;
  auto last = counts.end();
  for (size_t f = 0; f < mesh.faces.size(); ++f) {
    kept[f] = faceOk(mesh, normals, f, scale);
    if (!kept[f]) {
      ++out.droppedFaces;
      continue;
    }
    const uint32_t id = mesh.faces[f].material;
    if (last == counts.end() || last->first != id) last = counts.try_emplace(id, 0).first;
    ++last->second;
  }
  std::map<uint32_t, size_t> fill;
  size_t total = 0;
  for (const auto& [id, count] : counts) {
    fill[id] = total;
    total += count;
  }
  std::vector<uint32_t> order(total);
  last = fill.end();
  for (size_t f = 0; f < mesh.faces.size(); ++f) {
    if (!kept[f]) continue;
    const uint32_t id = mesh.faces[f].material;
    if (last == fill.end() || last->first != id) last = fill.find(id);
    order[last->second++] = uint32_t(f);
  }
  kept = {};
  size_t begin = 0;
  for (const auto& [id, count] : counts) {
    Submesh& sub = out.meshes.emplace_back();
    sub.material = id;
    weld(mesh, normals, order.data() + begin, count, scale, sub);
    begin += count;
  }
  return out;
}

}  // namespace syv::app

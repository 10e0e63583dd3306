#include "app/submeshes.h"

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

// Bitwise key; -0 and +0 must weld, so zeros are canonicalised first.
struct CornerKey {
  uint32_t bits[8];
  bool operator==(const CornerKey& o) const { return std::memcmp(bits, o.bits, sizeof bits) == 0; }
};

struct CornerHash {
  size_t operator()(const CornerKey& k) const {
    uint64_t h = 1469598103934665603ull;
    for (uint32_t b : k.bits) h = (h ^ b) * 1099511628211ull;
    return size_t(h ^ (h >> 29));
  }
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

// Welds corners with an open-addressing table over the corners kept so far:
// a plant has millions of corners, and a node per entry would cost more than
// the export that follows.
struct Builder {
  Submesh mesh;
  std::vector<CornerKey> keys;
  std::vector<uint32_t> slots;  // index into keys + 1; 0 is empty

  uint32_t add(const Corner& c) {
    if ((keys.size() + 1) * 2 > slots.size()) grow();
    const CornerKey key = keyOf(c);
    const size_t mask = slots.size() - 1;
    for (size_t at = CornerHash()(key) & mask;; at = (at + 1) & mask) {
      const uint32_t slot = slots[at];
      if (slot == 0) {
        slots[at] = uint32_t(keys.size()) + 1;
        keys.push_back(key);
        mesh.positions.push_back(c.p);
        mesh.normals.push_back(c.n);
        mesh.uvs.push_back(c.uv);
        return uint32_t(keys.size()) - 1;
      }
      if (keys[slot - 1] == key) return slot - 1;
    }
  }

 private:
  void grow() {
    std::vector<uint32_t> bigger(slots.empty() ? 1024 : slots.size() * 2, 0);
    const size_t mask = bigger.size() - 1;
    for (uint32_t i = 0; i < keys.size(); ++i) {
      size_t at = CornerHash()(keys[i]) & mask;
      while (bigger[at] != 0) at = (at + 1) & mask;
      bigger[at] = i + 1;
    }
    slots.swap(bigger);
  }
};

}  // namespace

Vec3f toOutputFrame(const Vec3f& v, double scale) {
  return {float(double(v[0]) * scale), float(double(v[2]) * scale), float(-double(v[1]) * scale)};
}

SubmeshSet buildSubmeshes(const TriMesh& mesh, double scale) {
  SubmeshSet out;
  const std::vector<Vec3f> normals = cornerNormals(mesh);
  std::map<uint32_t, Builder> byMaterial;
  for (size_t f = 0; f < mesh.faces.size(); ++f) {
    const TriFace& face = mesh.faces[f];
    Corner corners[3];
    bool ok = true;
    for (int k = 0; k < 3 && ok; ++k) {
      if (face.v[k] >= mesh.vertices.size()) {
        ok = false;
        break;
      }
      Corner& c = corners[k];
      c.p = toOutputFrame(mesh.vertices[face.v[k]], scale);
      c.n = toOutputFrame(normals[f * 3 + k], 1.0);
      c.uv = {0.f, 0.f};
      if (mesh.hasTexCoords) {
        if (face.tv[k] >= mesh.tverts.size()) {
          ok = false;
          break;
        }
        c.uv = {mesh.tverts[face.tv[k]][0], mesh.tverts[face.tv[k]][1]};
      }
      ok = finite(c);
    }
    if (!ok) {
      ++out.droppedFaces;
      continue;
    }
    Builder& b = byMaterial[face.material];
    b.mesh.material = face.material;
    for (const Corner& c : corners) b.mesh.indices.push_back(b.add(c));
  }
  for (auto& [id, b] : byMaterial) out.meshes.push_back(std::move(b.mesh));
  return out;
}

}  // namespace syv::app

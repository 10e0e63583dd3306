#include "app/submeshes.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <vector>

#include "app/normals.h"

namespace syv::app {
namespace {

constexpr uint32_t kNone = ~uint32_t(0);

// Inlined: the welding's hash probes turn positions over and over.
inline Vec3f frame(const Vec3f& v, double scale) {
  return {float(double(v[0]) * scale), float(double(v[2]) * scale), float(-double(v[1]) * scale)};
}

bool finite3(const Vec3f& v) {
  return std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2]);
}

// The host's vertices in the output frame, and an id per vertex shared by all
// vertices of the same value there (-0 and +0 equal): far fewer than corners,
// so corners then weld on small integers instead of hashing their floats.
// A vertex not finite there gets kNone: its faces are left out.
// Positions are turned to the output frame where used rather than kept: a
// vertex array less at the export's peak.
struct Positions {
  const TriMesh& mesh;
  double scale;
  std::vector<uint32_t> id;
  size_t unique = 0;
  size_t size() const { return mesh.vertices.size(); }
  Vec3f at(size_t v) const { return frame(mesh.vertices[v], scale); }
};

// `spare` holds the table when it is large enough.
Positions positionsOf(const TriMesh& mesh, double scale, CornerNormals::Spare spare) {
  Positions p{mesh, scale, {}, 0};
  const size_t n = mesh.vertices.size();
  resizeHuge(p.id, n);
  // Open addressing on the bits with -0 made +0, numbered in vertex order.
  auto key = [&](size_t v) {
    const Vec3f at = p.at(v);
    std::array<uint32_t, 3> k;
    for (int i = 0; i < 3; ++i) {
      const float f = at[size_t(i)] == 0.f ? 0.f : at[size_t(i)];
      std::memcpy(&k[size_t(i)], &f, sizeof f);
    }
    return k;
  };
  // Any table numbers alike: an id only says which vertices are equal.
  size_t size = std::max<size_t>(16, n * 2);
  std::vector<uint32_t> own;
  uint32_t* table;  // the vertex that made each id (and bits of its hash)
  if (spare.bytes / sizeof(uint32_t) >= size) {
    size = std::min<size_t>(spare.bytes / sizeof(uint32_t), size_t(1) << 32);
    table = static_cast<uint32_t*>(spare.data);
    std::fill_n(table, size, kNone);
  } else {
    own.reserve(size);
    adviseHuge(own.data(), size * sizeof(uint32_t));
    own.assign(size, kNone);
    table = own.data();
  }
  // A slot holds the vertex in its low bits and, above them, as many bits of
  // its hash as are left: most taken slots are told apart without reading
  // their vertex, a cache miss each. A vertex index never has all its bits
  // set, so no slot is ever taken by kNone.
  int vertexBits = 0;
  while (vertexBits < 32 && (size_t(1) << vertexBits) <= n) ++vertexBits;
  const uint32_t vertexMask = vertexBits == 32 ? kNone : (uint32_t(1) << vertexBits) - 1;
  auto mark = [&](uint32_t h) { return vertexBits == 32 ? 0u : (h << vertexBits); };
  auto hashOf = [](const std::array<uint32_t, 3>& k) {
    uint32_t h = k[0] * 73856093u ^ k[1] * 19349663u ^ k[2] * 83492791u;
    h ^= h >> 15;
    h *= 0x2c1b3c6du;
    h ^= h >> 12;
    return h;
  };
  // Each probe is a cache miss in a table far larger than the caches: the
  // slots of the vertices some way ahead are fetched early, and the vertex a
  // taken slot points to a little later, so the misses overlap.
  constexpr size_t kAhead = 64;
  std::array<std::array<uint32_t, 3>, kAhead> keys;
  std::array<size_t, kAhead> slots;
  std::array<uint32_t, kAhead> marks;
  auto stage = [&](size_t v) {
    keys[v % kAhead] = key(v);
    const uint32_t h = hashOf(keys[v % kAhead]);
    slots[v % kAhead] = size_t((uint64_t(h) * size) >> 32);
    marks[v % kAhead] = mark(h);
    __builtin_prefetch(&table[slots[v % kAhead]]);
  };
  for (size_t v = 0; v < std::min(n, kAhead); ++v) stage(v);
  for (size_t v = 0; v < n; ++v) {
    const std::array<uint32_t, 3> k = keys[v % kAhead];
    size_t slot = slots[v % kAhead];
    const uint32_t m = marks[v % kAhead];
    if (v + kAhead < n) stage(v + kAhead);
    if (v + kAhead / 2 < n) {
      const size_t ahead = (v + kAhead / 2) % kAhead;
      const uint32_t taken = table[slots[ahead]];
      if (taken != kNone && (taken & ~vertexMask) == marks[ahead])
        __builtin_prefetch(&mesh.vertices[taken & vertexMask]);
    }
    if (!finite3(p.at(v))) {
      p.id[v] = kNone;
      continue;
    }
    for (;; slot = slot + 1 == size ? 0 : slot + 1) {
      const uint32_t taken = table[slot];
      if (taken == kNone) {
        table[slot] = m | uint32_t(v);
        p.id[v] = uint32_t(p.unique++);
        break;
      }
      if ((taken & ~vertexMask) == m && key(taken & vertexMask) == k) {
        p.id[v] = p.id[taken & vertexMask];
        break;
      }
    }
  }
  return p;
}

// False when an index is out of range or a value of the face is not finite
// (corner normals always are).
bool faceOk(const TriMesh& mesh, const Positions& pos, size_t f) {
  const TriFace& face = mesh.faces[f];
  for (size_t k = 0; k < 3; ++k) {
    if (face.v[k] >= pos.size() || pos.id[face.v[k]] == kNone) return false;
    if (mesh.hasTexCoords) {
      if (face.tv[k] >= mesh.tverts.size()) return false;
      const Vec3f& t = mesh.tverts[face.tv[k]];
      if (!std::isfinite(t[0]) || !std::isfinite(t[1])) return false;
    }
  }
  return true;
}

// Welds the corners of `faces` (in that order): vertices are numbered in the
// order they first appear, each keeping the values of its first corner. Corners
// weld when position id, normal and texture coordinate are equal; candidates
// are chained per position id and compared on the values already written out
// (turning the normal to the output frame keeps equality), and `head` (one
// entry per id, all kNone) is left as it was found.
void weld(const TriMesh& mesh, const CornerNormals& normals, const Positions& pos,
          const uint32_t* faces, size_t faceCount, uint32_t* head, Submesh& out) {
  const size_t n = faceCount * 3;
  std::vector<uint32_t> next;  // next welded vertex of the same position id
  // At most a vertex per corner: reserved whole, so they never move while
  // growing, and only the pages used become resident (huge ones: a small
  // page each cost a fault, at most one huge page each is partly used).
  auto reserveHuge = [n](auto& v) {
    v.reserve(n);
    adviseHuge(v.data(), n * sizeof(v[0]));
  };
  reserveHuge(out.indices);  // every one written: no zeros first
  reserveHuge(next);
  reserveHuge(out.positions);
  reserveHuge(out.normals);
  reserveHuge(out.uvs);
  const bool uv = mesh.hasTexCoords;
  for (size_t i = 0; i < n; ++i) {
    const size_t f = faces[i / 3];
    const size_t k = i % 3;
    const TriFace& face = mesh.faces[f];
    const uint32_t id = pos.id[face.v[k]];
    // The output frame without its scale: the same floats as turning with 1.
    const Vec3f& hn = normals.at(f, k);
    const Vec3f nc{hn[0], hn[2], -hn[1]};
    const std::array<float, 2> tc =
        uv ? std::array<float, 2>{mesh.tverts[face.tv[k]][0], mesh.tverts[face.tv[k]][1]}
           : std::array<float, 2>{0.f, 0.f};
    uint32_t w = head[id];
    for (; w != kNone; w = next[w]) {
      const Vec3f& n0 = out.normals[w];
      const std::array<float, 2>& t0 = out.uvs[w];
      if (n0[0] == nc[0] && n0[1] == nc[1] && n0[2] == nc[2] && t0[0] == tc[0] && t0[1] == tc[1])
        break;
    }
    if (w == kNone) {
      w = uint32_t(out.positions.size());
      out.positions.push_back(pos.at(face.v[k]));
      out.normals.push_back(nc);
      out.uvs.push_back(tc);
      next.push_back(head[id]);
      head[id] = w;
    }
    out.indices.push_back(w);
  }
  // Emptied whole when that is no more work than going over the corners.
  if (n >= pos.unique) {
    std::fill_n(head, pos.unique, kNone);
    return;
  }
  for (size_t i = 0; i < n; ++i) head[pos.id[mesh.faces[faces[i / 3]].v[i % 3]]] = kNone;
}

// `n` words taken from the front of `room` while it has space (its pages are
// resident already), otherwise `fallback`'s.
uint32_t* words(CornerNormals::Spare& room, size_t n, std::vector<uint32_t>& fallback) {
  const size_t bytes = (n * sizeof(uint32_t) + 63) & ~size_t(63);
  if (bytes <= room.bytes) {
    auto* at = static_cast<uint32_t*>(room.data);
    room.data = static_cast<char*>(room.data) + bytes;
    room.bytes -= bytes;
    return at;
  }
  resizeHuge(fallback, n);
  return fallback.data();
}

}  // namespace

Vec3f toOutputFrame(const Vec3f& v, double scale) { return frame(v, scale); }

SubmeshSet buildSubmeshes(const TriMesh& mesh, double scale) {
  SubmeshSet out;
  CornerNormals normals(mesh);
  CornerNormals::Spare room = normals.spare();
  const Positions pos = positionsOf(mesh, scale, room);
  // The kept faces grouped by material id, each group in face order.
  std::vector<uint8_t> kept(mesh.faces.size());
  std::map<uint32_t, size_t> counts;
  auto last = counts.end();
  for (size_t f = 0; f < mesh.faces.size(); ++f) {
    kept[f] = faceOk(mesh, pos, f);
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
  // In the position table's place, now that it is spent.
  std::vector<uint32_t> ownOrder, ownHead;
  uint32_t* order = words(room, total, ownOrder);
  last = fill.end();
  for (size_t f = 0; f < mesh.faces.size(); ++f) {
    if (!kept[f]) continue;
    const uint32_t id = mesh.faces[f].material;
    if (last == fill.end() || last->first != id) last = fill.find(id);
    order[last->second++] = uint32_t(f);
  }
  release(kept);
  uint32_t* head = words(room, pos.unique, ownHead);
  std::fill_n(head, pos.unique, kNone);
  size_t begin = 0;
  for (const auto& [id, count] : counts) {
    Submesh& sub = out.meshes.emplace_back();
    sub.material = id;
    weld(mesh, normals, pos, order + begin, count, head, sub);
    begin += count;
  }
  return out;
}

}  // namespace syv::app

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
  bool allFinite = true;  // no kNone among the ids
  size_t size() const { return mesh.vertices.size(); }
  Vec3f at(size_t v) const { return frame(mesh.vertices[v], scale); }
};

// `spare` holds the table when it is large enough.
Positions positionsOf(const TriMesh& mesh, double scale, CornerNormals::Spare spare) {
  Positions p{mesh, scale, {}, 0, true};
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
      p.allFinite = false;
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
// (corner normals always are). `tvFinite`: every texture vertex is, so only
// the indices need a look.
bool faceOk(const TriMesh& mesh, const Positions& pos, bool tvFinite, const TriFace& face) {
  if (pos.allFinite && tvFinite) {
    const auto& [v0, v1, v2] = face.v;
    const auto& [t0, t1, t2] = face.tv;
    return std::max({v0, v1, v2}) < pos.size() &&
           (!mesh.hasTexCoords || std::max({t0, t1, t2}) < mesh.tverts.size());
  }
  for (size_t k = 0; k < 3; ++k) {
    if (face.v[k] >= pos.size() || pos.id[face.v[k]] == kNone) return false;
    if (mesh.hasTexCoords) {
      if (face.tv[k] >= mesh.tverts.size()) return false;
      if (tvFinite) continue;
      const Vec3f& t = mesh.tverts[face.tv[k]];
      if (!std::isfinite(t[0]) || !std::isfinite(t[1])) return false;
    }
  }
  return true;
}

// One scan instead of a look per corner, four texture vertices at a time
// (so that it vectorises): an exponent of all ones makes a float infinite or
// NaN. The third coordinate is never used, so it may be anything.
bool allTexCoordsFinite(const TriMesh& mesh) {
  constexpr uint32_t kExp = 0x7f800000u;
  constexpr uint32_t kUsed[12] = {kExp, kExp, 0, kExp, kExp, 0, kExp, kExp, 0, kExp, kExp, 0};
  const size_t n = mesh.tverts.size();
  const auto* bytes = reinterpret_cast<const unsigned char*>(mesh.tverts.data());
  uint32_t bad = 0;
  size_t i = 0;
  for (; i + 4 <= n; i += 4) {
    uint32_t w[12];
    std::memcpy(w, bytes + i * sizeof(Vec3f), sizeof w);
    for (size_t j = 0; j < 12; ++j) bad |= uint32_t((w[j] & kUsed[j]) == kExp);
  }
  for (; i < n; ++i) {
    uint32_t w[2];
    std::memcpy(w, bytes + i * sizeof(Vec3f), sizeof w);
    bad |= uint32_t((w[0] & kExp) == kExp) | uint32_t((w[1] & kExp) == kExp);
  }
  return bad == 0;
}

// Faces to weld: `count` face indices from `faces`.
struct Span {
  const uint32_t* faces;
  size_t count;
};

// Welds the corners of the faces of `spans` (in that order): vertices are
// numbered in the order they first appear, each keeping the values of its
// first corner. Corners weld when position id, normal and texture coordinate
// are equal; candidates are chained per position id and compared on the
// values already written out (turning the normal to the output frame keeps
// equality). `head` (one entry per id) and the chains count vertices on from
// `base`: an entry below it is from an earlier material, as good as none, so
// `head` is never emptied between materials.
void weld(const TriMesh& mesh, const CornerNormals& normals, const Positions& pos,
          const std::vector<Span>& spans, uint32_t* head, size_t& base, Submesh& out) {
  size_t n = 0;
  for (const Span& s : spans) n += s.count * 3;
  if (base + n >= kNone) {
    std::fill_n(head, pos.unique, 0);
    base = 1;
  }
  const uint32_t b = uint32_t(base);
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
  const TriFace* all = mesh.faces.data();
  for (const Span& span : spans) {
    for (size_t j = 0; j < span.count; ++j) {
      const size_t f = span.faces[j];
      const TriFace& face = all[f];
      for (size_t k = 0; k < 3; ++k) {
        const uint32_t id = pos.id[face.v[k]];
        // The output frame without its scale: the same floats as turning with 1.
        const Vec3f& hn = normals.at(f, k);
        const Vec3f nc{hn[0], hn[2], -hn[1]};
        const std::array<float, 2> tc =
            uv ? std::array<float, 2>{mesh.tverts[face.tv[k]][0], mesh.tverts[face.tv[k]][1]}
               : std::array<float, 2>{0.f, 0.f};
        uint32_t w = kNone;
        for (uint32_t g = head[id]; g >= b; g = next[g - b]) {
          const Vec3f& n0 = out.normals[g - b];
          const std::array<float, 2>& t0 = out.uvs[g - b];
          if (n0[0] == nc[0] && n0[1] == nc[1] && n0[2] == nc[2] && t0[0] == tc[0] &&
              t0[1] == tc[1]) {
            w = g - b;
            break;
          }
        }
        if (w == kNone) {
          w = uint32_t(out.positions.size());
          out.positions.push_back(pos.at(face.v[k]));
          out.normals.push_back(nc);
          out.uvs.push_back(tc);
          next.push_back(head[id]);
          head[id] = b + w;
        }
        out.indices.push_back(w);
      }
    }
  }
  base += out.positions.size();
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
  // The kept faces grouped by material id, each group in face order. One pass
  // keeps them in face order and notes where the material changes: a mesh of
  // one material is then grouped already, and long runs of one material are
  // moved whole instead of reading every face again.
  const bool tvFinite = !mesh.hasTexCoords || allTexCoordsFinite(mesh);
  const size_t faceCount = mesh.faces.size();
  std::vector<uint32_t> ownKept, ownOrder, ownHead;
  // In the position table's place, now that it is spent.
  uint32_t* kept = words(room, faceCount, ownKept);
  struct Run {
    uint32_t material;
    uint32_t begin;  // into kept
  };
  std::vector<Run> runs;
  bool runsKept = true;  // false once there are too many to be worth it
  std::map<uint32_t, size_t> counts;
  auto last = counts.end();
  size_t total = 0;
  const TriFace* faces = mesh.faces.data();
  for (size_t f = 0; f < faceCount; ++f) {
    const TriFace& face = faces[f];
    if (!faceOk(mesh, pos, tvFinite, face)) {
      ++out.droppedFaces;
      continue;
    }
    const uint32_t id = face.material;
    if (last == counts.end() || last->first != id) {
      last = counts.try_emplace(id, 0).first;
      if (runsKept) {
        runs.push_back({id, uint32_t(total)});
        if (runs.size() > 64 && runs.size() > faceCount / 64) {
          runsKept = false;
          release(runs);
        }
      }
    }
    ++last->second;
    kept[total++] = uint32_t(f);
  }
  // Each material's faces as spans of `kept`, or of a copy grouped by
  // material once the runs are too short to be worth their list.
  std::map<uint32_t, std::vector<Span>> spans;
  if (runsKept) {
    for (size_t r = 0; r < runs.size(); ++r) {
      const size_t end = r + 1 < runs.size() ? runs[r + 1].begin : total;
      spans[runs[r].material].push_back({kept + runs[r].begin, end - runs[r].begin});
    }
  } else {
    uint32_t* order = words(room, total, ownOrder);
    std::map<uint32_t, size_t> fill;
    size_t at = 0;
    for (const auto& [id, count] : counts) {
      fill[id] = at;
      spans[id].push_back({order + at, count});
      at += count;
    }
    auto put = fill.end();
    for (size_t i = 0; i < total; ++i) {
      const uint32_t id = faces[kept[i]].material;
      if (put == fill.end() || put->first != id) put = fill.find(id);
      order[put->second++] = kept[i];
    }
  }
  uint32_t* head = words(room, pos.unique, ownHead);
  std::fill_n(head, pos.unique, 0);
  size_t base = 1;
  for (const auto& [id, list] : spans) {
    Submesh& sub = out.meshes.emplace_back();
    sub.material = id;
    weld(mesh, normals, pos, list, head, base, sub);
  }
  return out;
}

}  // namespace syv::app

#include "app/normals.h"

#include <cmath>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace syv::app {
namespace {

struct Vec3d {
  double x = 0, y = 0, z = 0;
};

Vec3d toD(const Vec3f& v) { return {v[0], v[1], v[2]}; }

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

// What a smoothed face adds at its corners: its unit normal (+Z when
// degenerate) and its angle there. Corner angles weigh the sum: unlike areas
// they do not depend on how a quad was split into triangles; a degenerate
// face weighs nothing.
struct FaceWeights {
  Vec3f normal;
  double angle[3];
};

constexpr size_t kBlock = 32;

// Square roots of a block, two at a time where the target has them: the
// same correctly rounded results as one at a time.
void sqrtOf(const double* in, double* out) {
#if defined(__SSE2__)
  for (size_t i = 0; i < kBlock; i += 2) _mm_storeu_pd(out + i, _mm_sqrt_pd(_mm_loadu_pd(in + i)));
#else
  for (size_t i = 0; i < kBlock; ++i) out[i] = std::sqrt(in[i]);
#endif
}

// A block of faces at a time, each stage over the whole block in arrays of
// one coordinate, so the compiler takes several faces per instruction. Each
// value is worked out with the same operations in the same order as for a
// face alone (no contraction: the target has no fused multiply-add here).
// Lanes past `count` repeat the last face and are not written out. Where
// the processor has AVX2, a clone takes four faces per instruction (AVX2
// brings no fused multiply-add, so the roundings stay the same).
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
__attribute__((target_clones("avx2", "default")))
#endif
void weigh(const TriMesh& mesh, const uint32_t* faces, size_t count, FaceWeights* out) {
  if (count == 0) return;
  struct Coords {
    double x[kBlock], y[kBlock], z[kBlock];
  };
  Coords p[3], e[3], back[3], area;
  double squares[4][kBlock], roots[4][kBlock], cosine[3][kBlock];
  for (size_t i = 0; i < kBlock; ++i) {
    const TriFace& face = mesh.faces[faces[i < count ? i : count - 1]];
    for (int k = 0; k < 3; ++k) {
      const Vec3f& v = mesh.vertices[face.v[k]];
      p[k].x[i] = v[0];
      p[k].y[i] = v[1];
      p[k].z[i] = v[2];
    }
  }
  // e[k] runs from corner k to the next; back[k] from corner k to the one
  // before (the second side of its angle).
  for (int k = 0; k < 3; ++k) {
    const Coords& from = p[k];
    const Coords& to = p[(k + 1) % 3];
    const Coords& before = p[(k + 2) % 3];
    for (size_t i = 0; i < kBlock; ++i) {
      e[k].x[i] = to.x[i] - from.x[i];
      e[k].y[i] = to.y[i] - from.y[i];
      e[k].z[i] = to.z[i] - from.z[i];
      back[k].x[i] = before.x[i] - from.x[i];
      back[k].y[i] = before.y[i] - from.y[i];
      back[k].z[i] = before.z[i] - from.z[i];
    }
  }
  {
    const Coords& u = e[0];
    const Coords& v = back[0];
    for (size_t i = 0; i < kBlock; ++i) {
      area.x[i] = u.y[i] * v.z[i] - u.z[i] * v.y[i];
      area.y[i] = u.z[i] * v.x[i] - u.x[i] * v.z[i];
      area.z[i] = u.x[i] * v.y[i] - u.y[i] * v.x[i];
    }
  }
  for (size_t i = 0; i < kBlock; ++i)
    squares[3][i] = area.x[i] * area.x[i] + area.y[i] * area.y[i] + area.z[i] * area.z[i];
  for (int k = 0; k < 3; ++k)
    for (size_t i = 0; i < kBlock; ++i)
      squares[k][i] = e[k].x[i] * e[k].x[i] + e[k].y[i] * e[k].y[i] + e[k].z[i] * e[k].z[i];
  for (int k = 0; k < 4; ++k) sqrtOf(squares[k], roots[k]);
  for (int k = 0; k < 3; ++k) {
    const Coords& u = e[k];
    const Coords& v = back[k];
    const double* lu = roots[k];
    const double* lw = roots[(k + 2) % 3];
    for (size_t i = 0; i < kBlock; ++i) {
      const double c = (u.x[i] * v.x[i] + u.y[i] * v.y[i] + u.z[i] * v.z[i]) / (lu[i] * lw[i]);
      cosine[k][i] = c < -1 ? -1 : c > 1 ? 1 : c;
    }
  }
  for (size_t i = 0; i < count; ++i) {
    FaceWeights& o = out[i];
    // unitOf, with the length already taken.
    const double len = roots[3][i];
    const Vec3d n{area.x[i], area.y[i], area.z[i]};
    bool unit = len > 1e-30 && std::isfinite(len);
    if (unit) {
      o.normal = {float(n.x / len), float(n.y / len), float(n.z / len)};
      unit = std::isfinite(o.normal[0]) && std::isfinite(o.normal[1]) && std::isfinite(o.normal[2]);
    }
    if (!unit) o.normal = kUp;
    const bool degenerate = n.x == 0 && n.y == 0 && n.z == 0;
    for (int k = 0; k < 3; ++k) {
      const bool angled = !degenerate && roots[k][i] > 0 && roots[(k + 2) % 3][i] > 0;
      o.angle[k] = angled ? std::acos(cosine[k][i]) : 0;
    }
  }
}

}  // namespace

Vec3f faceNormal(const TriMesh& mesh, const TriFace& face) {
  Vec3f n{0.f, 0.f, 0.f};
  unitOf(areaNormal(mesh, face), n);
  return n;
}

CornerNormals::CornerNormals(const TriMesh& mesh) : faces_(mesh.faces.data()) {
  const size_t faceCount = mesh.faces.size();
  const size_t vertexCount = mesh.vertices.size();
  auto valid = [&](const TriFace& face) {
    return face.v[0] < vertexCount && face.v[1] < vertexCount && face.v[2] < vertexCount;
  };
  auto flatOf = [&](const TriFace& face) {
    Vec3f n;
    if (!unitOf(areaNormal(mesh, face), n)) n = kUp;
    return n;
  };

  // Nearly every vertex has one set of smoothing bits on all its smoothed
  // faces: there the sum over those faces, in face order, is the corner normal,
  // gathered in one pass. Vertices with several sets ("mixed") are summed per
  // set afterwards, over the same faces in the same order.
  enum : uint8_t { kNoFace, kOneSet, kMixed };
  // The sums, then in their place (a vertex's normal never reaches past its
  // own sum) the unit normals: no second array of fresh pages.
  resizeHuge(store_, vertexCount * 3);
  std::vector<uint32_t> bits(vertexCount, 0);
  std::vector<uint8_t> state(vertexCount, kNoFace);
  size_t mixedCorners = 0;
  uint32_t block[kBlock] = {};
  FaceWeights weights[kBlock];
  size_t filled = 0;
  auto gather = [&] {
    weigh(mesh, block, filled, weights);
    for (size_t i = 0; i < filled; ++i) {
      const TriFace& face = mesh.faces[block[i]];
      const Vec3f& n = weights[i].normal;
      const double* a = weights[i].angle;
      for (int k = 0; k < 3; ++k) {
        const uint32_t v = face.v[k];
        if (state[v] == kNoFace) {
          state[v] = kOneSet;
          bits[v] = face.smoothing;
        } else if (state[v] == kOneSet && bits[v] != face.smoothing) {
          state[v] = kMixed;
        }
        // A vertex twice on a face is counted twice, with its first corner's
        // angle (zero: such a face is degenerate).
        const int first = face.v[0] == v ? 0 : face.v[1] == v ? 1 : 2;
        double* sum = &store_[size_t(v) * 3];
        sum[0] += double(n[0]) * a[first];
        sum[1] += double(n[1]) * a[first];
        sum[2] += double(n[2]) * a[first];
      }
    }
    filled = 0;
  };
  for (size_t f = 0; f < faceCount; ++f) {
    const TriFace& face = mesh.faces[f];
    if (face.smoothing == 0 || !valid(face)) continue;
    block[filled++] = uint32_t(f);
    if (filled == kBlock) gather();
  }
  gather();
  release(bits);
  shared_ = reinterpret_cast<Vec3f*>(store_.data());
  for (size_t v = 0; v < vertexCount; ++v) {
    if (state[v] != kOneSet) continue;
    const double* s = &store_[v * 3];
    Vec3f n;
    if (!unitOf({s[0], s[1], s[2]}, n)) {
      state[v] = kNoFace;
      continue;
    }
    std::memcpy(&shared_[v], &n, sizeof n);
  }

  // A face keeps normals of its own when one of its corners does not take
  // its vertex's: faceted, broken, or at a vertex whose sum vanished or that
  // is mixed.
  auto smoothed = [&](const TriFace& face) { return face.smoothing != 0 && valid(face); };
  own_.reserve(faceCount);
  adviseHuge(own_.data(), faceCount * sizeof(uint32_t));
  own_.assign(faceCount, kShared);
  uint32_t owners = 0;
  for (size_t f = 0; f < faceCount; ++f) {
    const TriFace& face = mesh.faces[f];
    if (!smoothed(face) || state[face.v[0]] != kOneSet || state[face.v[1]] != kOneSet ||
        state[face.v[2]] != kOneSet)
      own_[f] = owners++;
  }
  resizeHuge(kept_, size_t(owners) * 3);
  for (size_t f = 0; f < faceCount; ++f) {
    if (own_[f] == kShared) continue;
    const TriFace& face = mesh.faces[f];
    const Vec3f n = flatOf(face);
    Vec3f* out = &kept_[size_t(own_[f]) * 3];
    for (int k = 0; k < 3; ++k) {
      const uint32_t v = face.v[k];
      out[k] = smoothed(face) && state[v] == kOneSet ? shared_[v] : n;
      if (smoothed(face) && state[v] == kMixed) ++mixedCorners;
    }
  }
  if (mixedCorners == 0) return;

  // Smoothed corners at mixed vertices, grouped by vertex, each group in face
  // order.
  std::vector<uint32_t> slot(vertexCount, 0);
  uint32_t mixedCount = 0;
  for (size_t v = 0; v < vertexCount; ++v)
    if (state[v] == kMixed) slot[v] = mixedCount++;
  std::vector<uint32_t> start(size_t(mixedCount) + 1, 0);
  for (size_t f = 0; f < faceCount; ++f) {
    const TriFace& face = mesh.faces[f];
    if (face.smoothing != 0 && valid(face))
      for (uint32_t v : face.v)
        if (state[v] == kMixed) ++start[slot[v] + 1];
  }
  for (size_t m = 0; m < mixedCount; ++m) start[m + 1] += start[m];
  std::vector<uint32_t> around(start[mixedCount]);
  std::vector<uint32_t> fill(start.begin(), start.end() - 1);
  for (size_t f = 0; f < faceCount; ++f) {
    const TriFace& face = mesh.faces[f];
    if (face.smoothing != 0 && valid(face))
      for (uint32_t v : face.v)
        if (state[v] == kMixed) around[fill[slot[v]]++] = uint32_t(f);
  }
  release(fill);

  // Faces with the same bits at a vertex share one sum, so the cost per vertex
  // is its valence times the number of distinct bit sets there (few in practice).
  struct Group {
    uint32_t bits;
    bool ok;  // false: the sum vanished, each face keeps its own normal
    Vec3f normal;
  };
  std::vector<Group> groups;
  for (size_t v = 0; v < vertexCount; ++v) {
    if (state[v] != kMixed) continue;
    const uint32_t begin = start[slot[v]], end = start[slot[v] + 1];
    groups.clear();
    for (uint32_t i = begin; i < end; ++i) {
      const uint32_t f = around[i];
      const TriFace& face = mesh.faces[f];
      const Group* g = nullptr;
      for (const Group& c : groups)
        if (c.bits == face.smoothing) g = &c;
      if (!g) {
        Vec3d total;
        for (uint32_t j = begin; j < end; ++j) {
          const TriFace& of = mesh.faces[around[j]];
          if ((of.smoothing & face.smoothing) == 0) continue;
          FaceWeights w;
          weigh(mesh, &around[j], 1, &w);
          const int k = of.v[0] == v ? 0 : of.v[1] == v ? 1 : 2;
          total.x += double(w.normal[0]) * w.angle[k];
          total.y += double(w.normal[1]) * w.angle[k];
          total.z += double(w.normal[2]) * w.angle[k];
        }
        Group made{face.smoothing, false, {}};
        made.ok = unitOf(total, made.normal);
        groups.push_back(made);
        g = &groups.back();
      }
      if (!g->ok) continue;  // keeps the face's own normal
      for (int k = 0; k < 3; ++k)
        if (face.v[k] == v) kept_[size_t(own_[f]) * 3 + size_t(k)] = g->normal;
    }
  }
}

CornerNormals::Spare CornerNormals::spare() {
  const size_t used = (store_.size() / 3 * sizeof(Vec3f) + 63) & ~size_t(63);
  const size_t bytes = store_.size() * sizeof(double);
  if (used >= bytes) return {nullptr, 0};
  return {reinterpret_cast<char*>(store_.data()) + used, bytes - used};
}

std::vector<Vec3f> cornerNormals(const TriMesh& mesh) {
  const CornerNormals normals(mesh);
  std::vector<Vec3f> out(mesh.faces.size() * 3);
  for (size_t i = 0; i < out.size(); ++i) out[i] = normals.at(i / 3, i % 3);
  return out;
}

}  // namespace syv::app

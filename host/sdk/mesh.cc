#include "host/sdk/mesh.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <new>
#include <utility>
#include <vector>

#if defined(__SSE2__)
#include <immintrin.h>
#endif

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
  verticesFinite_ = false;
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
  const size_t n = verts.size();
  size_t i = 0;
  bool finite = true;
#if defined(__SSE2__)
  // A vertex a vector, in vertex order: minps(p, lo) is p < lo ? p : lo, the
  // same choice as Box3's std::min (and maxps as its std::max), so NaNs and
  // signed zeros come out as they do one coordinate at a time. x - x is NaN
  // just for a coordinate that is not finite. The fourth lane (the next
  // vertex's x) is ignored, and the last vertex, whose load would pass the
  // array's end, is left to the plain loop.
  static_assert(sizeof(Point3) == 12);
  __m128 lo = _mm_setr_ps(box.pmin.x, box.pmin.y, box.pmin.z, 0.0f);
  __m128 hi = _mm_setr_ps(box.pmax.x, box.pmax.y, box.pmax.z, 0.0f);
  __m128 bad = _mm_setzero_ps();
  const float* v = reinterpret_cast<const float*>(verts.data());
  for (; i + 1 < n; ++i) {
    const __m128 p = _mm_loadu_ps(v + i * 3);
    lo = _mm_min_ps(p, lo);
    hi = _mm_max_ps(p, hi);
    const __m128 d = _mm_sub_ps(p, p);
    bad = _mm_or_ps(bad, _mm_cmpunord_ps(d, d));
  }
  alignas(16) float l[4], h[4];
  _mm_store_ps(l, lo);
  _mm_store_ps(h, hi);
  box.pmin = Point3(l[0], l[1], l[2]);
  box.pmax = Point3(h[0], h[1], h[2]);
  finite = (_mm_movemask_ps(bad) & 7) == 0;
#endif
  for (; i < n; ++i) {
    const Point3& p = verts[i];
    box += p;
    finite = finite && std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z);
  }
  bounds_ = box;
  verticesFinite_ = finite;
}

namespace {

// The face's edge cross product; false when it names a missing vertex.
inline bool crossOf(const Point3* verts, size_t n, const Face& f, double& nx, double& ny,
                    double& nz) {
  if (f.v[0] >= n || f.v[1] >= n || f.v[2] >= n) return false;
  const Point3& a = verts[f.v[0]];
  const Point3& b = verts[f.v[1]];
  const Point3& c = verts[f.v[2]];
  double ux = b.x - a.x, uy = b.y - a.y, uz = b.z - a.z;
  double vx = c.x - a.x, vy = c.y - a.y, vz = c.z - a.z;
  nx = uy * vz - uz * vy, ny = uz * vx - ux * vz, nz = ux * vy - uy * vx;
  return true;
}

// Unit normal of a face, zero for a degenerate one or one naming a missing vertex.
inline Point3 normalOf(const Point3* verts, size_t n, const Face& f) {
  double nx, ny, nz;
  if (!crossOf(verts, n, f, nx, ny, nz)) return Point3();
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

// Smoothing groups of a run of faces whose vertices no other face uses (see
// AutoSmooth). Its work arrays are kept from one run to the next, so a mesh
// of many small parts works in cache and in memory already touched.
class Smoother {
 public:
  Smoother(const Point3* verts, size_t nv, Face* face, size_t faces, double cosLimit)
      : verts_(verts), nv_(nv), face_(face), cosLimit_(cosLimit), faces_(faces) {
    // Near the limit, or for a limit near zero, the unit normals decide.
    quick_ = cosLimit > 1e-3 && cosLimit < 1.0;
    above_ = (cosLimit + kMargin) * (cosLimit + kMargin);
    below_ = (cosLimit - kMargin) * (cosLimit - kMargin);
    while (bits_ < 32 && (size_t{1} << bits_) < faces) ++bits_;
  }

  // Faces [begin, end), their vertices below nv all in [low, low + span).
  void run(size_t begin, size_t end, size_t low, size_t span) {
    sharp_.clear();
    // A small run whose vertices lie far apart is walked: its edge slots
    // would take memory by the vertex.
    if (end - begin <= kStream && span <= 4 * (end - begin)) stream(begin, end, low, span);
    else walk(begin, end, low, span);
    assign(begin, end);
  }

  // Faces [begin, end) as a grid from gridEnd: when every edge inside
  // between faces with area is smooth, every region has no neighbour, so
  // all faces, those without area too, take the first group; else false,
  // the faces untouched.
  bool grid(size_t begin, size_t end, uint32_t low, uint32_t width, bool ring);

 private:
  // A face's cross product and its squared length, negative for a face
  // without area or naming a missing vertex.
  struct Normal {
    double x = 0, y = 0, z = 0, s = -1;
  };
  struct Entry {
    uint32_t face = UINT32_MAX;  // faces are counted in int: no face has this index
    Normal normal;
  };
  // The unit normals' rounding moves their cosine by less than 2e-7.
  static constexpr double kMargin = 1e-6;

  static size_t cacheSize(size_t faces) {
    size_t size = 64;
    while (size < faces && size < kCacheMax) size *= 2;
    return size;
  }
  void normalOf(uint32_t f, Normal& n) const {
    double s = -1;
    if (crossOf(verts_, nv_, face_[f], n.x, n.y, n.z)) {
      s = n.x * n.x + n.y * n.y + n.z * n.z;
      if (!(s > 0.0) || !std::isfinite(s)) s = -1;
    }
    n.s = s;
  }
  Normal cached(uint32_t f) {
    if (cache_.empty()) cache_.resize(cacheSize(faces_));
    Entry& e = cache_[f & (cache_.size() - 1)];
    if (e.face != f) {
      e.face = f;
      normalOf(f, e.normal);
    }
    return e.normal;
  }
  // The cosine of two faces' unit normals against the limit, from their
  // cross products where that is clear, else as the unit normals give it.
  bool smooth(uint32_t f, const Normal& p, uint32_t g, const Normal& q) const {
    if (quick_) {
      const double t = p.x * q.x + p.y * q.y + p.z * q.z;
      const double r = p.s * q.s;
      if (r > 1e-280 && r < 1e280) {
        if (t <= 0.0) return false;
        if (t * t > above_ * r) return true;
        if (t * t < below_ * r) return false;
      }
    }
    const Point3 a = hostsdk::normalOf(verts_, nv_, face_[f]);
    const Point3 b = hostsdk::normalOf(verts_, nv_, face_[g]);
    const double d = static_cast<double>(a.x) * b.x + static_cast<double>(a.y) * b.y +
                     static_cast<double>(a.z) * b.z;
    return d > cosLimit_;
  }

  // Two faces met on an edge, the lower first: 0 when they are joined or
  // listed as sharp, 1 when only the first lacks area, 2 the second, 3 both.
  int meet(uint32_t f, const Normal& p, uint32_t g, const Normal& q) {
    const bool df = p.s < 0, dg = q.s < 0;
    if (df || dg) return int{df} | int{dg} << 1;
    if (smooth(f, p, g, q)) unite(face_, f, g);
    else sharp_.push_back(uint64_t{f} << 32 | g);
    return 0;
  }
  void stream(size_t begin, size_t end, size_t low, size_t span);
  void walk(size_t begin, size_t end, size_t low, size_t span);
  void assign(size_t begin, size_t end);

  static constexpr size_t kStream = size_t{1} << 14;
  static constexpr size_t kCacheMax = size_t{1} << 14;
  const Point3* verts_;
  size_t nv_;
  Face* face_;
  double cosLimit_;
  size_t faces_;
  bool quick_ = false;
  double above_ = 0, below_ = 0;
  int bits_ = 1;
  std::vector<Entry> cache_;
  HostArray<uint32_t> head_;  // by vertex: face + 1, 0 ends; all zero between runs
  HostArray<uint32_t> next_;  // by face
  std::vector<uint64_t> edges_ = std::vector<uint64_t>(64);  // upper vertex << 32 | face
  std::vector<uint64_t> sharp_;  // root pairs, then higher << 32 | lower
  std::vector<uint32_t> later_;
  // A small run's edges under their lower vertex: a few in place, the rest
  // listed from the vertex's head (its count in the low bits).
  struct Slot {
    uint32_t upper, last;
  };
  struct Edge {
    uint32_t upper, last, next;  // next: edge + 1 under the same lower vertex, 0 ends
  };
  static constexpr uint32_t kSlots = 4, kCountBits = 3;
  // In the heap, reused by the next smoothing: a small run's are small.
  std::vector<Slot> slots_;
  std::vector<Edge> more_;
  std::vector<Normal> normals_;  // of a small run's faces
  std::vector<double> lattice_;  // a grid's cross products
  std::vector<float> work_;  // and its vertices
  std::vector<double> edge_;  // and edges
  std::vector<uint32_t> orphans_;  // a small run's faces without area
};

// Small runs: each edge remembers the last face met on it, so that faces
// taken in order meet the same neighbours as in the walk below. Only which
// neighbour a face without area adopts depends on the walk's order; it is the
// one met at the least (lower vertex, upper vertex, side), kept in the unused
// normal of the face without area.
void Smoother::stream(size_t begin, size_t end, size_t low, size_t span) {
  Face* const face = face_;
  const size_t nv = nv_;
  const size_t count = end - begin;
  if (head_.size() < span && !head_.resize(span)) throw std::bad_alloc();
  if (slots_.size() < span * kSlots) slots_.resize(span * kSlots);
  if (normals_.size() < count) normals_.resize(count);
  Normal* const normal = normals_.data();  // by face - begin
  uint32_t* const head = head_.data();
  Slot* const slots = slots_.data();
  std::vector<Edge>& more = more_;
  more.clear();
  std::vector<uint32_t>& orphans = orphans_;
  orphans.clear();
  auto edge = [&](uint32_t a, uint32_t b, uint32_t g) __attribute__((always_inline)) {
    const size_t v = a - low;
    const uint32_t state = head[v], n = state & ((1u << kCountBits) - 1);
    Slot* const slot = slots + v * kSlots;
    uint32_t f;
    uint32_t k = 0;
    while (k < n && slot[k].upper != b) ++k;
    if (k < n) {
      f = slot[k].last;
      slot[k].last = g;
    } else if (n < kSlots) {
      slot[n] = Slot{b, g};
      head[v] = state + 1;
      return;
    } else {
      uint32_t j = state >> kCountBits;
      while (j != 0 && more[j - 1].upper != b) j = more[j - 1].next;
      if (j == 0) {
        more.push_back(Edge{b, g, state >> kCountBits});
        head[v] = static_cast<uint32_t>(more.size()) << kCountBits | n;
        return;
      }
      f = more[j - 1].last;
      more[j - 1].last = g;
    }
    if (f == g) return;
    const int kind = meet(f, normal[f - begin], g, normal[g - begin]);
    if (kind == 1 || kind == 2) {
      const uint64_t key = uint64_t{a - low} << 33 | uint64_t{b - low} << 1 | uint64_t(kind == 1);
      Normal& x = normal[(kind == 1 ? f : g) - begin];
      uint64_t best;
      std::memcpy(&best, &x.x, sizeof best);
      if (key < best) {
        std::memcpy(&x.x, &key, sizeof key);
        x.y = kind == 1 ? g : f;
      }
    }
  };
  // The normals first, in a loop of their own that keeps several faces in flight.
  for (size_t i = begin; i < end; ++i) {
    const uint32_t g = static_cast<uint32_t>(i);
    face[i].smGroup = g;
    Normal& n = normal[i - begin];
    normalOf(g, n);
    if (n.s < 0) {
      const uint64_t none = UINT64_MAX;
      std::memcpy(&n.x, &none, sizeof none);
      orphans.push_back(g);
    }
  }
  for (size_t i = begin; i < end; ++i) {
    const uint32_t g = static_cast<uint32_t>(i);
    const Sorted s(face[i]);
    if (s.x < s.y && s.y < nv) edge(s.x, s.y, g);
    if (s.x < s.z && s.z < nv) edge(s.x, s.z, g);
    if (s.yOwns(nv)) edge(s.y, s.z, g);
  }
  std::fill(head, head + span, 0u);
  for (uint32_t f : orphans) {
    const Normal& n = normal[f - begin];
    uint64_t best;
    std::memcpy(&best, &n.x, sizeof best);
    if (best != UINT64_MAX) face[f].smGroup = static_cast<DWORD>(n.y);
  }
}

// Edges are met in the order of (lower vertex, upper vertex, face): each face
// waits in a list under the lowest vertex owning one of its edges, then moves
// on to the next owner, and only the short list of one vertex's edges is
// sorted. The union-find parents and then the groups live in the faces' group
// fields.
void Smoother::walk(size_t begin, size_t end, size_t low, size_t span) {
  Face* const face = face_;
  const size_t nv = nv_;
  if (head_.size() < span && !head_.resize(span)) throw std::bad_alloc();
  if (next_.size() < end - begin && !next_.resize(end - begin)) throw std::bad_alloc();
  // Plain pointers: the compiler cannot tell the arrays' handles from the faces.
  uint32_t* const head = head_.data();
  uint32_t* const next = next_.data();
  // Backwards, so that the lists come out ascending, nearly as sorted.
  for (size_t i = end; i-- > begin;) {
    face[i].smGroup = static_cast<DWORD>(i);
    const Sorted s(face[i]);
    const DWORD owner = s.xOwns(nv) ? s.x : s.yOwns(nv) ? s.y : UINT32_MAX;
    if (owner != UINT32_MAX) {
      next[i - begin] = head[owner - low];
      head[owner - low] = static_cast<uint32_t>(i - begin + 1);
    }
  }

  // A face without area has no shading of its own: it takes the group of the
  // first neighbour with area met, and never joins or separates others. It is
  // never united, so its group field is free to hold that neighbour (itself
  // while it has none). An edge reaching past the vertices joins only faces
  // without a normal, which changes nothing.
  auto adopt = [face](uint32_t f, uint32_t g) {
    if (face[f].smGroup == f) face[f].smGroup = g;
  };
  std::vector<uint64_t>& edges = edges_;
  for (size_t a = low; a < low + span; ++a) {
    size_t count = 0;
    uint32_t link = head[a - low];
    head[a - low] = 0;
    while (link != 0) {
      const uint32_t local = link - 1;
      const uint32_t i = static_cast<uint32_t>(begin + local);
      link = next[local];
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
          next[local] = head[s.y - low];
          head[s.y - low] = local + 1;
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
      const int kind = meet(f, cached(f), g, cached(g));
      if (kind == 1) adopt(f, g);
      if (kind == 2) adopt(g, f);
    }
  }
}

// A grid's quads by the place of their corner d in the vertex lattice: the
// cross products of their first faces (x, y, z, squared length), then of
// their second faces.
struct Lattice {
  double* a[4];
  double* b[4];
};


// One coordinate of a grid's edges, in float as crossOf takes them: h along
// the rows (each vertex to the next), g across the quads (corner c to a).
inline void edgesOf(const float* __restrict q, size_t stride, size_t count, double* __restrict h,
                    double* __restrict g) {
  for (size_t j = 0; j + 1 < count + stride; ++j) h[j] = q[j + 1] - q[j];
  for (size_t j = 0; j < count; ++j) g[j] = q[j + 1] - q[j + stride];
}

// Quads at places [0, count) from `v`, rows `stride` apart, the next corner
// along a row the next vertex; in a ring a row's last quad closes on its
// first vertex, else that place holds no quad and is left without area.
// Each stage is a straight loop over arrays of one coordinate, so the
// compiler takes several quads per instruction, with the operations of
// crossOf in its order; AVX2 brings no fused multiply-add, so its clone
// rounds as the plain code does. The first face (c, b, a) has edges b - c,
// the row above's h, and a - c = g; the second (a, d, c) has d - a = -h and
// c - a = -g, whose cross product is that of h and g, to the bit. `work`
// holds 3 * (count + stride) floats, `edge` 3 * (2 * count + stride) doubles.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
__attribute__((target_clones("avx2", "default")))
#endif
void latticeCrosses(const Point3* v, size_t stride, size_t count, bool ring, float* work,
                    double* edge, Lattice out) {
  const size_t points = count + stride;
  float* const p[3] = {work, work + points, work + 2 * points};
  for (size_t i = 0; i < points; ++i) {
    p[0][i] = v[i].x;
    p[1][i] = v[i].y;
    p[2][i] = v[i].z;
  }
  double* h[3];
  double* g[3];
  for (int k = 0; k < 3; ++k) {
    h[k] = edge + k * (points + count);
    g[k] = h[k] + points;
    const float* const q = p[k];
    edgesOf(q, stride, count, h[k], g[k]);
    for (size_t j = stride - 1; j < points; j += stride) {
      h[k][j] = ring ? q[j + 1 - stride] - q[j] : 0.0f;
      if (j < count) g[k][j] = ring ? q[j + 1 - stride] - q[j + stride] : 0.0f;
    }
  }
  auto crosses = [count](const double* __restrict ux_, const double* __restrict uy_,
                         const double* __restrict uz_, const double* __restrict vx_,
                         const double* __restrict vy_, const double* __restrict vz_,
                         double* const* n) {
    double* __restrict nx = n[0];
    double* __restrict ny = n[1];
    double* __restrict nz = n[2];
    double* __restrict ns = n[3];
    for (size_t j = 0; j < count; ++j) {
      const double ux = ux_[j], uy = uy_[j], uz = uz_[j];
      const double vx = vx_[j], vy = vy_[j], vz = vz_[j];
      const double x = uy * vz - uz * vy, y = uz * vx - ux * vz, z = ux * vy - uy * vx;
      const double s = x * x + y * y + z * z;
      nx[j] = x;
      ny[j] = y;
      nz[j] = z;
      ns[j] = ((s > 0.0) & (s <= std::numeric_limits<double>::max())) ? s : -1.0;
    }
  };
  crosses(h[0] + stride, h[1] + stride, h[2] + stride, g[0], g[1], g[2], out.a);
  crosses(h[0], h[1], h[2], g[0], g[1], g[2], out.b);
}

// Whether every second face at places [0, count) is clearly smooth, by the
// quick cosine test alone, with the first faces of its own quad, the one
// before and the one a row below (or lacks area, as may they).
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
__attribute__((target_clones("avx2", "default")))
#endif
bool latticeSmooth(const Lattice& l, ptrdiff_t stride, ptrdiff_t count, double above) {
  const double* const ax = l.a[0];
  const double* const ay = l.a[1];
  const double* const az = l.a[2];
  const double* const as = l.a[3];
  const double* const bxs = l.b[0];
  const double* const bys = l.b[1];
  const double* const bzs = l.b[2];
  const double* const bss = l.b[3];
  // Whole-word masks, no branches: the loop is vectorised.
  int64_t clear = 1;
  for (ptrdiff_t j = 0; j < count; ++j) {
    const double bx = bxs[j], by = bys[j], bz = bzs[j], bs = bss[j];
    auto with = [&](ptrdiff_t i) -> int64_t {
      const double t = ax[i] * bx + ay[i] * by + az[i] * bz;
      const double r = as[i] * bs;
      return int64_t{as[i] < 0.0} | (int64_t{r > 1e-280} & int64_t{r < 1e280} &
                                     int64_t{t > 0.0} & int64_t{t * t > above * r});
    };
    clear &= int64_t{bs < 0.0} | (with(j) & with(j - 1) & with(j - stride));
  }
  return clear != 0;
}

bool Smoother::grid(size_t begin, size_t end, uint32_t low, uint32_t width, bool ring) {
  const size_t stride = ring ? width : width + size_t{1};
  const size_t quads = (end - begin) / 2, rows = quads / width, count = rows * stride;
  // The first faces come after `stride` places without area, read as the
  // quads before and below the first.
  if (lattice_.size() < 8 * (count + stride)) lattice_.resize(8 * (count + stride));
  Lattice l;
  for (int c = 0; c < 4; ++c) {
    l.a[c] = lattice_.data() + c * (count + stride) + stride;
    l.b[c] = lattice_.data() + (4 + c) * (count + stride);
  }
  std::fill(l.a[3] - stride, l.a[3], -1.0);
  if (work_.size() < 3 * (count + stride)) work_.resize(3 * (count + stride));
  if (edge_.size() < 3 * (2 * count + stride)) edge_.resize(3 * (2 * count + stride));
  // A place without a quad has no area: it passes the tests.
  latticeCrosses(verts_ + low, stride, count, ring, work_.data(), edge_.data(), l);
  // A ring's first quad in a row meets its closing quad; the tests above also
  // paired it with the closing quad of the row before, which is no edge: one
  // failing only costs the slow way.
  bool clear = quick_ && latticeSmooth(l, static_cast<ptrdiff_t>(stride),
                                       static_cast<ptrdiff_t>(count), above_);
  // A quad's first face at place i, its second at place j.
  auto first = [&l](size_t i) { return Normal{l.a[0][i], l.a[1][i], l.a[2][i], l.a[3][i]}; };
  auto second = [&l](size_t j) { return Normal{l.b[0][j], l.b[1][j], l.b[2][j], l.b[3][j]}; };
  for (size_t j = 0; clear && ring && j < count; j += stride) {
    const Normal p = first(j + stride - 1), q = second(j);
    const double t = p.x * q.x + p.y * q.y + p.z * q.z;
    const double r = p.s * q.s;
    clear = p.s < 0.0 || q.s < 0.0 || (r > 1e-280 && r < 1e280 && t > 0.0 && t * t > above_ * r);
  }
  if (!clear) {
    // Each edge as the smoothing of any run would test it. Quad k's first
    // face meets its second on the diagonal and the next quad's second on
    // the side (in a ring the last meets the first), its second the first of
    // the quad a row below.
    auto joined = [&](size_t i, size_t j) {
      const Normal p = first(i), q = second(j);
      const size_t f = begin + 2 * (i / stride * width + i % stride);
      const size_t g = begin + 2 * (j / stride * width + j % stride) + 1;
      return p.s < 0 || q.s < 0 ||
             smooth(static_cast<uint32_t>(f), p, static_cast<uint32_t>(g), q);
    };
    for (size_t j = 0; j < count; ++j) {
      const size_t s = j % stride;
      if (s >= width) continue;
      if (!joined(j, j)) return false;
      if (s > 0 && !joined(j - 1, j)) return false;
      if (j >= stride && !joined(j - stride, j)) return false;
      if (ring && s + 1 == width && !joined(j, j + 1 - width)) return false;
    }
  }
  for (size_t f = begin; f < end; ++f) face_[f].smGroup = 1;
  return true;
}

void Smoother::assign(size_t begin, size_t end) {
  Face* const face = face_;
  std::vector<uint64_t>& sharp = sharp_;
  // Region adjacency across sharp edges; only a lower region has its group
  // when a region takes its own, so each pair is kept under the higher one.
  size_t kept = 0;
  for (uint64_t s : sharp) {
    const DWORD a = findRoot(face, static_cast<DWORD>(s >> 32));
    const DWORD b = findRoot(face, static_cast<DWORD>(s));
    if (a != b) sharp[kept++] = uint64_t{std::max(a, b)} << 32 | std::min(a, b);
  }
  sharp.resize(kept);
  sortKeys(sharp.data(), sharp.size(), bits_);
  sharp.erase(std::unique(sharp.begin(), sharp.end()), sharp.end());

  // Groups in face order: a root takes its group from its lower neighbours,
  // any other face copies its parent's (lower, hence already final), and so
  // does a face without area from a lower neighbour; a higher one waits.
  std::vector<uint32_t>& later = later_;
  later.clear();
  size_t cursor = 0;
  for (size_t r = begin; r < end; ++r) {
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
    const size_t first = cursor;
    for (; cursor < sharp.size() && (sharp[cursor] >> 32) == r; ++cursor)
      used |= face[static_cast<uint32_t>(sharp[cursor])].smGroup;
    int chosen = 0;
    while (chosen < 32 && (used & (1u << chosen))) ++chosen;
    if (chosen == 32) {
      int counts[32] = {0};
      for (size_t k = first; k < cursor; ++k) {
        const DWORD g = face[static_cast<uint32_t>(sharp[k])].smGroup;
        for (int bit = 0; bit < 32; ++bit) {
          if (g & (1u << bit)) ++counts[bit];
        }
      }
      chosen = static_cast<int>(std::min_element(counts, counts + 32) - counts);
    }
    face[r].smGroup = 1u << chosen;
  }
  for (uint32_t f : later) face[f].smGroup = face[face[f].smGroup].smGroup;
}

// The lowest of a face's vertices below nv (UINT32_MAX for none) and one
// past the highest (0 for none).
inline void boundsOf(const Face& f, uint32_t nv, uint32_t& low, uint32_t& end) {
  const DWORD a = f.v[0], b = f.v[1], c = f.v[2];
  const DWORD top = std::max({a, b, c});
  if (top < nv) {  // the usual face
    low = std::min({a, b, c});
    end = top + 1;
    return;
  }
  low = std::min({a < nv ? a : UINT32_MAX, b < nv ? b : UINT32_MAX, c < nv ? c : UINT32_MAX});
  end = std::max({a < nv ? a + 1 : 0u, b < nv ? b + 1 : 0u, c < nv ? c + 1 : 0u});
}

// The faces from i on that form a grid of quads as the plug-in writes them,
// rows `stride` vertices apart from the face's lowest vertex up: quad (row,
// column) has corners d, then a the next along the row (in a ring, the last
// wraps to the row's first), c = d + stride and b = a + stride, as faces
// (c, b, a) and (a, d, c). Each inner edge then has just the two faces the
// grid gives it. Whole rows only, all vertices present and none used by the
// face after, nor by those before (all below `floor`). Returns i when there
// is no such grid, else one past its end.
struct Grid {
  uint32_t low, top;  // its vertices
  uint32_t width;     // quads in a row
  bool ring;
};
constexpr size_t kGridMax = size_t{1} << 16;  // faces
size_t gridEnd(const Face* face, size_t i, size_t n, uint32_t nv, uint32_t floor, Grid& grid) {
  if (n - i < 2) return i;
  const Face& f0 = face[i];
  const Face& f1 = face[i + 1];
  const DWORD base = f1.v[1], c = f0.v[0];
  if (base < floor || c <= base || c >= nv || f1.v[0] != base + 1 || f0.v[2] != base + 1 ||
      f1.v[2] != c)
    return i;
  const uint32_t stride = c - base;
  // A ring of two would give its row edges four faces.
  const size_t wrap = i + 2 * stride - 1;
  const bool ring =
      stride > 2 && wrap < n && face[wrap].v[1] == base + stride - 1 && face[wrap].v[0] == base;
  const uint32_t width = ring ? stride : stride - 1;
  if (width == 0) return i;
  uint64_t row = base;
  uint32_t s = 0, d = base;
  size_t k = i;
  for (; k + 1 < n; k += 2) {
    if (s == 0 && row + 2 * uint64_t{stride} > nv) break;
    // A larger grid would keep a normal by the face: it is smoothed as before.
    if (s == 0 && k - i >= kGridMax) return i;
    const DWORD a = s + 1 == stride ? static_cast<DWORD>(row) : d + 1;
    const Face& p = face[k];
    const Face& q = face[k + 1];
    if (p.v[0] != d + stride || p.v[1] != a + stride || p.v[2] != a || q.v[0] != a ||
        q.v[1] != d || q.v[2] != d + stride)
      break;
    if (++s == width) {
      s = 0;
      row += stride;
      d = static_cast<DWORD>(row);
    } else {
      ++d;
    }
  }
  if (s != 0 || k == i) return i;
  const uint32_t top = static_cast<uint32_t>(row + stride);
  if (k < n) {
    uint32_t low, end;
    boundsOf(face[k], nv, low, end);
    if (low < top) return i;
  }
  grid = Grid{base, top, width, ring};
  return k;
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
// A mesh made of parts, each with vertices of its own, is smoothed a run of
// parts at a time: a run ends where every later face's vertices lie above
// all of the run's. What is shared is decided within the run, so the groups
// are those of the whole mesh at once.
void Mesh::AutoSmooth(float angle, BOOL, BOOL) {
  const size_t n = faces.size();
  if (n == 0) return;
  const size_t nv = verts.size();
  Face* const face = faces.data();
  Smoother smoother(verts.data(), nv, face, n, std::cos(static_cast<double>(angle)));
  constexpr size_t kRun = 2048;
  const uint32_t nv32 = static_cast<uint32_t>(nv);  // vertices are counted in int

  // In one pass, while the run's faces are still in cache, a run ends at the
  // first face above all of it. Should a later face reach below a run's end
  // after all, the runs are cut again, each up to where nothing ahead
  // reaches below it.
  {
    size_t begin = 0;
    uint32_t low = UINT32_MAX, end = 0, floor = 0;
    size_t i = 0;
    for (; i < n;) {
      uint32_t l, e;
      boundsOf(face[i], nv32, l, e);
      if (l < floor) break;
      if (end <= l) {
        // Most parts are grids, smoothed at once when all of a grid is smooth.
        Grid grid;
        const size_t last = gridEnd(face, i, n, nv32, std::max(floor, end), grid);
        if (last > i) {
          if (begin < i) smoother.run(begin, i, low, end > low ? end - low : 0);
          if (!smoother.grid(i, last, grid.low, grid.width, grid.ring))
            smoother.run(i, last, grid.low, grid.top - grid.low);
          floor = grid.top;
          begin = i = last;
          low = UINT32_MAX;
          end = 0;
          continue;
        }
        if (i - begin >= kRun) {
          smoother.run(begin, i, low, end > low ? end - low : 0);
          floor = std::max(floor, end);
          begin = i;
          low = UINT32_MAX;
          end = 0;
        }
      }
      end = std::max(end, e);
      low = std::min(low, l);
      ++i;
    }
    if (i == n) {
      if (begin < n) smoother.run(begin, n, low, end > low ? end - low : 0);
      return;
    }
  }

  // The lowest vertex of every face from each block on.
  constexpr size_t kBlock = 1024;
  const size_t blocks = (n + kBlock - 1) / kBlock;
  std::vector<uint32_t> from(blocks + 1, UINT32_MAX);
  for (size_t k = blocks; k-- > 0;) {
    uint32_t m = from[k + 1], low, end;
    for (size_t i = k * kBlock; i < std::min(n, (k + 1) * kBlock); ++i) {
      boundsOf(face[i], nv32, low, end);
      m = std::min(m, low);
    }
    from[k] = m;
  }
  // Per face of a block: its own vertices' bounds, and the lowest vertex from it on.
  uint32_t lows[kBlock], ends[kBlock], lowest[kBlock];
  size_t begin = 0;
  uint32_t low = UINT32_MAX, end = 0;  // the run's vertices, none yet
  auto flush = [&](size_t last) {
    smoother.run(begin, last, low, end > low ? end - low : 0);
    begin = last;
    low = UINT32_MAX;
    end = 0;
  };
  for (size_t k = 0; k < blocks; ++k) {
    const size_t first = k * kBlock, last = std::min(n, first + kBlock);
    uint32_t m = from[k + 1];
    for (size_t i = last; i-- > first;) {
      boundsOf(face[i], nv32, lows[i - first], ends[i - first]);
      lowest[i - first] = m = std::min(m, lows[i - first]);
    }
    for (size_t i = first; i < last; ++i) {
      if (i - begin >= kRun && end <= lowest[i - first]) flush(i);
      end = std::max(end, ends[i - first]);
      low = std::min(low, lows[i - first]);
    }
  }
  flush(n);
}

}  // namespace hostsdk

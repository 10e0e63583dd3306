#include "host/host_mesh_writer.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>

#if defined(__SSE2__)
#include <immintrin.h>
#endif

namespace syv {

namespace {

// The host counts in int.
constexpr uint64_t kHostMax = static_cast<uint64_t>(INT_MAX);

// Doubling, but not past `cap` (what the budget allows), unless needed.
int grownSize(int size, uint64_t needed, uint64_t cap) {
  const uint64_t doubled = std::min(static_cast<uint64_t>(size) * 2, cap);
  return static_cast<int>(std::min(std::max(doubled, needed), kHostMax));
}

uint64_t times(uint64_t limit, uint64_t k) { return limit > UINT64_MAX / k ? UINT64_MAX : limit * k; }

// The material id clamped into the host's 16 bits; 1 when it had to be.
inline uint32_t clampMaterial(int32_t& id) {
  if (id >= 0 && id <= 0xFFFF) return 0;
  id = std::min<int32_t>(std::max<int32_t>(id, 0), 0xFFFF);
  return 1;
}

// A quad's two host triangles (c, b, a) and (a, d, c); 1 when its material id
// was clamped into the host's 16 bits. Flag bits other than the edges and the
// material id are kept, unless `fresh` says the faces hold none (the writer's
// own faces and grown ones), which spares reading memory about to be written.
template <bool fresh>
inline uint32_t storeFace(hostsdk::Face* pair, const Face& face) {
  int32_t material = face.material;
  const uint32_t clamped = clampMaterial(material);
  // Edges A and B visible, C not, and the material id, as setEdgeVisFlags
  // and setMatID would leave them.
  const hostsdk::DWORD keep = ~(hostsdk::EDGE_ALL | hostsdk::FACE_MATID_MASK);
  const hostsdk::DWORD set = hostsdk::EDGE_A | hostsdk::EDGE_B |
                             (static_cast<hostsdk::DWORD>(static_cast<hostsdk::MtlID>(material))
                              << hostsdk::FACE_MATID_SHIFT);
  pair[0].setVerts(face.c, face.b, face.a);
  pair[1].setVerts(face.a, face.d, face.c);
  for (int k = 0; k < 2; ++k) {
    pair[k].smGroup = 0;
    pair[k].flags = fresh ? set : (pair[k].flags & keep) | set;
  }
  return clamped;
}

// The quad's four texture vertices from index `base` on and its two texture faces.
inline void storeTexFace(hostsdk::TVFace* pair, hostsdk::UVVert* out, hostsdk::DWORD base,
                         const TexFace& texFace) {
#if defined(__SSE2__)
  static_assert(sizeof(TexFace) == 12 * sizeof(double) && sizeof(hostsdk::UVVert) == 12);
  const double* d = &texFace.uv[0].x;
  auto four = [d](int i) {
    return _mm_movelh_ps(_mm_cvtpd_ps(_mm_loadu_pd(d + i)), _mm_cvtpd_ps(_mm_loadu_pd(d + i + 2)));
  };
  float* f = &out[0].x;
  if (reinterpret_cast<uintptr_t>(f) % 16 == 0) {
    _mm_stream_ps(f, four(0));
    _mm_stream_ps(f + 4, four(4));
    _mm_stream_ps(f + 8, four(8));
  } else {
    _mm_storeu_ps(f, four(0));
    _mm_storeu_ps(f + 4, four(4));
    _mm_storeu_ps(f + 8, four(8));
  }
#else
  for (uint32_t k = 0; k < 4; ++k) {
    const Vector3& t = texFace.uv[k];
    out[k] = hostsdk::UVVert(static_cast<float>(t.x), static_cast<float>(t.y),
                             static_cast<float>(t.z));
  }
#endif
  if (pair == nullptr) return;  // stored by the caller
  pair[0].setTVerts(base + 2, base + 1, base);
  pair[1].setTVerts(base, base + 3, base + 2);
}

}  // namespace

bool HostMeshWriter::reserve(uint32_t vertexCount, uint32_t quadCount, uint32_t& firstVertex,
                             uint32_t& firstQuad) {
  firstVertex = vertexCount_;
  firstQuad = faceCount_ / 2;
  const uint64_t vertsNeeded = uint64_t(vertexCount_) + vertexCount;
  const uint64_t quads = uint64_t(firstQuad) + quadCount;
  const uint64_t facesNeeded = quads * 2;
  const uint64_t texNeeded = quads * 4;
  if (vertsNeeded > kHostMax || texNeeded > kHostMax || quads > quadLimit_) return false;

  // A quad has four corners of its own at most: the cap on vertices too.
  const uint64_t cornerCap = times(quadLimit_, 4);
  if (vertsNeeded > static_cast<uint64_t>(mesh_.getNumVerts()) &&
      !mesh_.setNumVerts(grownSize(mesh_.getNumVerts(), vertsNeeded, cornerCap), hostsdk::TRUE,
                         hostsdk::TRUE))
    return false;
  if (texNeeded > static_cast<uint64_t>(mesh_.getNumTVerts()) &&
      !mesh_.setNumTVerts(grownSize(mesh_.getNumTVerts(), texNeeded, cornerCap), hostsdk::TRUE))
    return false;
  if (facesNeeded > static_cast<uint64_t>(mesh_.getNumFaces()) &&
      !mesh_.setNumFaces(grownSize(mesh_.getNumFaces(), facesNeeded, times(quadLimit_, 2)),
                         hostsdk::TRUE, hostsdk::TRUE))
    return false;
  if (mesh_.getNumTVFaces() == 0 && facesNeeded > 0 &&
      !mesh_.setNumTVFaces(static_cast<int>(facesNeeded), hostsdk::FALSE, 0))
    return false;

  vertexCount_ = static_cast<uint32_t>(vertsNeeded);
  faceCount_ = static_cast<uint32_t>(facesNeeded);
  texVertexCount_ = static_cast<uint32_t>(texNeeded);
  return true;
}

bool HostMeshWriter::finish() {
  if (!mesh_.setNumVerts(static_cast<int>(vertexCount_), hostsdk::TRUE, hostsdk::TRUE)) return false;
  if (!mesh_.setNumTVerts(static_cast<int>(texVertexCount_), hostsdk::TRUE)) return false;
  if (!mesh_.setNumFaces(static_cast<int>(faceCount_), hostsdk::TRUE, hostsdk::TRUE)) return false;
  mesh_.AutoSmooth(kHostSmoothAngle, hostsdk::FALSE, hostsdk::FALSE);
  mesh_.InvalidateTopologyCache();
  mesh_.buildBoundingBox();
  return true;
}

bool HostMeshWriter::setVertex(uint32_t index, const Vector3& position) {
  if (index >= vertexCount_) return false;
  setVertices(index, &position, 1);
  return true;
}

bool HostMeshWriter::setFace(uint32_t quadIndex, const Face& face) {
  if (uint64_t(quadIndex) * 2 >= faceCount_) return false;
  hostsdk::Face* pair = mesh_.faces.data() + size_t(quadIndex) * 2;
  clamped_ +=
      quadIndex >= foreignQuads_ ? storeFace<true>(pair, face) : storeFace<false>(pair, face);
  return true;
}

bool HostMeshWriter::setTexFace(uint32_t quadIndex, const TexFace& texFace) {
  if (uint64_t(quadIndex) * 2 >= faceCount_) return false;
  storeTexFace(mesh_.tvFace.data() + size_t(quadIndex) * 2,
               mesh_.tVerts.data() + size_t(quadIndex) * 4, quadIndex * 4, texFace);
  return true;
}

void HostMeshWriter::setVertices(uint32_t first, const Vector3* positions, uint32_t count) {
  if (first >= vertexCount_) return;
  const uint32_t n = std::min(count, vertexCount_ - first);
  hostsdk::Point3* out = mesh_.verts.data() + first;
  for (uint32_t k = 0; k < n; ++k)
    out[k] = hostsdk::Point3(static_cast<float>(positions[k].x),
                             static_cast<float>(positions[k].y),
                             static_cast<float>(positions[k].z));
}

void HostMeshWriter::setPlacedVertices(uint32_t first, const Vector3* positions, uint32_t count,
                                       const Matrix4& matrix) {
  if (first >= vertexCount_) return;
  const uint32_t n = std::min(count, vertexCount_ - first);
  hostsdk::Point3* out = mesh_.verts.data() + first;
#if defined(__SSE2__)
  // transformPoint's sums with x and y side by side, each lane in its order.
  const double(*m)[4] = matrix.m;
  const __m128d r0 = _mm_loadu_pd(m[0]), r1 = _mm_loadu_pd(m[1]), r2 = _mm_loadu_pd(m[2]),
                r3 = _mm_loadu_pd(m[3]);
  const __m128d z0 = _mm_load_sd(&m[0][2]), z1 = _mm_load_sd(&m[1][2]),
                z2 = _mm_load_sd(&m[2][2]), z3 = _mm_load_sd(&m[3][2]);
  for (uint32_t k = 0; k < n; ++k) {
    const __m128d x = _mm_set1_pd(positions[k].x), y = _mm_set1_pd(positions[k].y),
                  z = _mm_set1_pd(positions[k].z);
    const __m128d xy = _mm_add_pd(
        _mm_add_pd(_mm_add_pd(_mm_mul_pd(x, r0), _mm_mul_pd(y, r1)), _mm_mul_pd(z, r2)), r3);
    const __m128d w = _mm_add_sd(
        _mm_add_sd(_mm_add_sd(_mm_mul_sd(x, z0), _mm_mul_sd(y, z1)), _mm_mul_sd(z, z2)), z3);
    float* f = &out[k].x;
    _mm_storel_pi(reinterpret_cast<__m64*>(f), _mm_cvtpd_ps(xy));
    _mm_store_ss(f + 2, _mm_cvtsd_ss(_mm_setzero_ps(), w));
  }
#else
  for (uint32_t k = 0; k < n; ++k) {
    const Vector3 p = matrix.transformPoint(positions[k]);
    out[k] = hostsdk::Point3(static_cast<float>(p.x), static_cast<float>(p.y),
                             static_cast<float>(p.z));
  }
#endif
}

void HostMeshWriter::setQuads(uint32_t firstQuad, const Face* faces, const TexFace* texFaces,
                              uint32_t count) {
  setShiftedQuads(firstQuad, faces, texFaces, count, 0, -1);
}

void HostMeshWriter::setShiftedQuads(uint32_t firstQuad, const Face* faces,
                                     const TexFace* texFaces, uint32_t count, uint32_t shift,
                                     int32_t material) {
  const uint32_t quads = faceCount_ / 2;
  if (firstQuad >= quads) return;
  const uint32_t n = std::min(count, quads - firstQuad);
  // The arrays' addresses once per run: the stores could alias the writer's own fields.
  hostsdk::Face* pair = mesh_.faces.data() + size_t(firstQuad) * 2;
  hostsdk::TVFace* tvPair = mesh_.tvFace.data() + size_t(firstQuad) * 2;
  hostsdk::UVVert* corner = mesh_.tVerts.data() + size_t(firstQuad) * 4;
  const bool fresh = firstQuad >= foreignQuads_;
  uint32_t clamped = 0;
#if defined(__SSE2__)
  if (fresh) {
    // A quad's two faces (ten words) and two texture faces (six) in five
    // stores: c b a 0 | F a d c | 0 F, and t+2 t+1 t t | t+3 t+2.
    static_assert(sizeof(hostsdk::Face) == 20 && sizeof(hostsdk::TVFace) == 12 &&
                  sizeof(Face) == 20);
    const __m128i by = _mm_set1_epi32(static_cast<int>(shift));
    const __m128i low3 = _mm_setr_epi32(-1, -1, -1, 0), high3 = _mm_setr_epi32(0, -1, -1, -1);
    const __m128i tvSteps = _mm_setr_epi32(2, 1, 0, 0), tvTail = _mm_setr_epi32(3, 2, 0, 0);
    char* fp = reinterpret_cast<char*>(pair);
    char* tp = reinterpret_cast<char*>(tvPair);
    for (uint32_t k = 0; k < n; ++k, fp += 40, tp += 24, corner += 4) {
      const Face& f = faces[k];
      int32_t id = material >= 0 ? material : f.material;
      clamped += clampMaterial(id);
      const hostsdk::DWORD flags = hostsdk::EDGE_A | hostsdk::EDGE_B |
                                   static_cast<hostsdk::DWORD>(id) << hostsdk::FACE_MATID_SHIFT;
      const __m128i flag = _mm_cvtsi32_si128(static_cast<int>(flags));
      const __m128i q = _mm_add_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(&f)), by);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(fp),
                       _mm_and_si128(_mm_shuffle_epi32(q, _MM_SHUFFLE(3, 0, 1, 2)), low3));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(fp + 16),
                       _mm_or_si128(_mm_and_si128(_mm_shuffle_epi32(q, _MM_SHUFFLE(2, 3, 0, 0)),
                                                  high3),
                                    flag));
      _mm_storel_epi64(reinterpret_cast<__m128i*>(fp + 32), _mm_slli_si128(flag, 4));
      const __m128i t = _mm_set1_epi32(static_cast<int>((firstQuad + k) * 4));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(tp), _mm_add_epi32(t, tvSteps));
      _mm_storel_epi64(reinterpret_cast<__m128i*>(tp + 16), _mm_add_epi32(t, tvTail));
      storeTexFace(nullptr, corner, 0, texFaces[k]);
    }
    clamped_ += clamped;
    return;
  }
#endif
  for (uint32_t k = 0; k < n; ++k, pair += 2, tvPair += 2, corner += 4) {
    const Face& f = faces[k];
    const Face face{f.a + shift, f.b + shift, f.c + shift, f.d + shift,
                    material >= 0 ? material : f.material};
    clamped += fresh ? storeFace<true>(pair, face) : storeFace<false>(pair, face);
    storeTexFace(tvPair, corner, (firstQuad + k) * 4, texFaces[k]);
  }
  clamped_ += clamped;
}

namespace {

// t / 1 - (+0) gives t back exactly (the coordinates came from doubles, so
// none is a signalling NaN): such a mapping needs no pass.
bool keepsCoordinates(double su, double sv, const Vector3& shift) {
  return su == 1.0 && sv == 1.0 && shift.x == 0.0 && shift.y == 0.0 && !std::signbit(shift.x) &&
         !std::signbit(shift.y);
}

}  // namespace

void normalizeTextureCoordinates(hostsdk::Mesh& mesh,
                                 const std::map<int32_t, SceneMaterial>& materials,
                                 std::map<int32_t, int>* zeroScaleMaterials) {
  // The common plant: no material moves its coordinates, and no face need be read.
  if (std::all_of(materials.begin(), materials.end(),
                  [](const auto& entry) {
                    const SceneMaterial& m = entry.second;
                    return keepsCoordinates(m.textureScale.x, m.textureScale.y, m.textureShift);
                  }))
    return;
  const size_t quads = std::min(mesh.faces.size() / 2, mesh.tVerts.size() / 4);
  // Quads come in runs of one material: each run is looked up and judged once.
  for (size_t q = 0; q < quads;) {
    const int32_t id = mesh.faces[q * 2].getMatID();
    size_t end = q + 1;
    while (end < quads && mesh.faces[end * 2].getMatID() == id) ++end;
    const auto it = materials.find(id);
    if (it == materials.end()) {
      q = end;
      continue;
    }
    const SceneMaterial& m = it->second;
    double su = m.textureScale.x, sv = m.textureScale.y;
    const bool badU = su == 0.0 || !std::isfinite(su);
    const bool badV = sv == 0.0 || !std::isfinite(sv);
    if (badU || badV) {
      if (zeroScaleMaterials) (*zeroScaleMaterials)[id] += static_cast<int>(end - q);
      if (badU) su = 1.0;
      if (badV) sv = 1.0;
    }
    if (keepsCoordinates(su, sv, m.textureShift)) {
      q = end;
      continue;
    }
    for (; q < end; ++q)
      for (size_t k = 0; k < 4; ++k) {
        hostsdk::UVVert& t = mesh.tVerts[q * 4 + k];
        t.x = static_cast<float>(t.x / su - m.textureShift.x);
        t.y = static_cast<float>(t.y / sv - m.textureShift.y);
      }
  }
}

}  // namespace syv

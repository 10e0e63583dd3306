#include "app/gltf_compress.h"

#include <meshoptimizer.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace syv::app {
namespace {

constexpr int kByte = 5120, kUshort = 5123, kUint = 5125, kFloat = 5126;

template <typename T>
EncodedStream encodeVertices(const std::vector<T>& data, int componentType, const char* type,
                             bool normalized) {
  static_assert(sizeof(T) % 4 == 0, "vertex elements are 4-byte aligned");
  EncodedStream s;
  s.count = data.size();
  s.stride = sizeof(T);
  s.componentType = componentType;
  s.type = type;
  s.normalized = normalized;
  s.bytes.resize(meshopt_encodeVertexBufferBound(s.count, s.stride));
  s.bytes.resize(meshopt_encodeVertexBuffer(reinterpret_cast<unsigned char*>(s.bytes.data()),
                                            s.bytes.size(), data.data(), s.count, s.stride));
  return s;
}

EncodedStream encodeIndices(const std::vector<uint32_t>& indices, size_t vertices) {
  EncodedStream s;
  s.count = indices.size();
  s.stride = vertices <= 65536 ? 2 : 4;
  s.componentType = s.stride == 2 ? kUshort : kUint;
  s.type = "SCALAR";
  s.bytes.resize(meshopt_encodeIndexBufferBound(s.count, vertices));
  s.bytes.resize(meshopt_encodeIndexBuffer(reinterpret_cast<unsigned char*>(s.bytes.data()),
                                           s.bytes.size(), indices.data(), s.count));
  return s;
}

}  // namespace

EncodedMeshes encodeMeshes(SubmeshSet&& meshes, const std::vector<bool>& textured) {
  // The versions EXT_meshopt_compression defines.
  meshopt_encodeVertexVersion(0);
  meshopt_encodeIndexVersion(1);
  EncodedMeshes out;
  // One grid for the whole node, uniform over its axes, so that the node's
  // transform undoes it and shapes keep their proportions.
  std::array<float, 3> lo, hi;
  lo.fill(std::numeric_limits<float>::max());
  hi.fill(-std::numeric_limits<float>::max());
  for (const Submesh& sub : meshes.meshes)
    for (const Vec3f& p : sub.positions)
      for (size_t k = 0; k < 3; ++k) {
        lo[k] = std::min(lo[k], p[k]);
        hi[k] = std::max(hi[k], p[k]);
      }
  double extent = 0;
  for (size_t k = 0; k < 3; ++k) {
    if (lo[k] > hi[k]) lo[k] = hi[k] = 0.f;
    extent = std::max(extent, double(hi[k]) - double(lo[k]));
  }
  const double steps = double((1 << kPositionBits) - 1);
  for (size_t k = 0; k < 3; ++k) out.offset[k] = lo[k];
  out.scale = extent > 0 ? extent / steps : 1.0;

  for (Submesh& sub : meshes.meshes) {
    EncodedPrimitive prim;
    const size_t n = sub.positions.size();
    std::vector<std::array<uint16_t, 4>> q(n);
    prim.positionMin.fill(std::numeric_limits<uint32_t>::max());
    for (size_t i = 0; i < n; ++i) {
      for (size_t k = 0; k < 3; ++k) {
        const double t = extent > 0 ? (double(sub.positions[i][k]) - out.offset[k]) / extent : 0.0;
        q[i][k] = uint16_t(meshopt_quantizeUnorm(float(t), kPositionBits));
        prim.positionMin[k] = std::min<uint32_t>(prim.positionMin[k], q[i][k]);
        prim.positionMax[k] = std::max<uint32_t>(prim.positionMax[k], q[i][k]);
      }
      q[i][3] = 0;
    }
    release(sub.positions);
    prim.position = encodeVertices(q, kUshort, "VEC3", false);
    release(q);

    std::vector<std::array<int8_t, 4>> nq(n);
    for (size_t i = 0; i < n; ++i) {
      const Vec3f& v = sub.normals[i];
      const float length = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
      const float inverse = length > 0.f ? 1.f / length : 0.f;
      for (size_t k = 0; k < 3; ++k) nq[i][k] = int8_t(meshopt_quantizeSnorm(v[k] * inverse, 8));
      nq[i][3] = 0;
    }
    release(sub.normals);
    prim.normal = encodeVertices(nq, kByte, "VEC3", true);
    release(nq);

    std::array<float, 2> uvLo{0.f, 0.f}, uvHi{1.f, 1.f};
    for (const auto& t : sub.uvs) {
      const float f[2] = {t[0], 1.f - t[1]};
      for (size_t k = 0; k < 2; ++k) {
        uvLo[k] = std::min(uvLo[k], f[k]);
        uvHi[k] = std::max(uvHi[k], f[k]);
      }
    }
    const size_t index = out.primitives.size();
    prim.uvTransform = (uvLo != std::array<float, 2>{0.f, 0.f} || uvHi != std::array<float, 2>{1.f, 1.f}) &&
                       index < textured.size() && textured[index];
    if (prim.uvTransform || (uvLo[0] >= 0.f && uvLo[1] >= 0.f && uvHi[0] <= 1.f && uvHi[1] <= 1.f)) {
      if (prim.uvTransform)
        for (size_t k = 0; k < 2; ++k) {
          prim.uvOffset[k] = uvLo[k];
          prim.uvScale[k] = double(uvHi[k]) - double(uvLo[k]);
        }
      std::vector<std::array<uint16_t, 2>> tq(n);
      for (size_t i = 0; i < n; ++i) {
        const double f[2] = {sub.uvs[i][0], 1.0 - double(sub.uvs[i][1])};
        for (size_t k = 0; k < 2; ++k) {
          const double t = prim.uvScale[k] > 0 ? (f[k] - prim.uvOffset[k]) / prim.uvScale[k] : 0.0;
          tq[i][k] = uint16_t(meshopt_quantizeUnorm(float(t), 16));
        }
      }
      prim.uv = encodeVertices(tq, kUshort, "VEC2", true);
    } else {
      std::vector<std::array<float, 2>> tf(n);
      for (size_t i = 0; i < n; ++i) tf[i] = {sub.uvs[i][0], 1.f - sub.uvs[i][1]};
      prim.uv = encodeVertices(tf, kFloat, "VEC2", false);
    }
    release(sub.uvs);

    prim.indexMin = std::numeric_limits<uint32_t>::max();
    for (uint32_t i : sub.indices) {
      prim.indexMin = std::min(prim.indexMin, i);
      prim.indexMax = std::max(prim.indexMax, i);
    }
    prim.indices = encodeIndices(sub.indices, n);
    release(sub.indices);
    out.primitives.push_back(std::move(prim));
  }
  return out;
}

}  // namespace syv::app

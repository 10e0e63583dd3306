// --compress for glTF: the welded meshes quantized (KHR_mesh_quantization) and
// their streams encoded with meshoptimizer's codecs (EXT_meshopt_compression),
// as gltfpack lays them out.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "app/submeshes.h"

namespace syv::app {

constexpr int kPositionBits = 14;

// One accessor's data as a decoder gets it back: `count` elements of `stride`
// bytes, encoded in `bytes`.
struct EncodedStream {
  std::string bytes;
  size_t count = 0;
  size_t stride = 0;
  int componentType = 0;
  const char* type = "";
  bool normalized = false;
};

struct EncodedPrimitive {
  EncodedStream position, normal, uv, indices;
  std::array<uint32_t, 3> positionMin{}, positionMax{};  // quantized
  uint32_t indexMin = 0, indexMax = 0;
  // Texture coordinates quantized over their own range: the material's
  // texture maps them back with KHR_texture_transform.
  bool uvTransform = false;
  std::array<double, 2> uvOffset{}, uvScale{1.0, 1.0};
};

struct EncodedMeshes {
  std::vector<EncodedPrimitive> primitives;  // one per submesh, in order
  // Positions are integers: the node maps q to offset + q * scale.
  std::array<double, 3> offset{};
  double scale = 1.0;
};

// Releases each submesh's arrays once encoded. Texture coordinates as written
// (v turned over) become 16-bit normalized: as they are when all lie in 0..1,
// else over their range when the submesh's material has a texture (`textured`)
// to carry the transform back; otherwise they stay floats.
EncodedMeshes encodeMeshes(SubmeshSet&& meshes, const std::vector<bool>& textured);

}  // namespace syv::app

// Splits the host mesh into one indexed triangle list per material id, in the
// output's frame: metres (or the chosen scale) and +Y up, corners welded
// where position, normal and texture coordinate agree exactly.
#pragma once

#include <array>
#include <cstddef>
#include <vector>

#include "app/model.h"

namespace syv::app {

struct Submesh {
  uint32_t material = 0;
  std::vector<Vec3f> positions;
  std::vector<Vec3f> normals;
  std::vector<std::array<float, 2>> uvs;  // host convention: v grows upwards
  std::vector<uint32_t> indices;          // three per triangle
};

struct SubmeshSet {
  std::vector<Submesh> meshes;  // ascending material id, none empty
  size_t droppedFaces = 0;      // faces with a bad index or non-finite data
};

// The host's Z-up frame turned to Y-up: (x, y, z) -> (x, z, -y), a rotation,
// so the winding stays as the host has it.
Vec3f toOutputFrame(const Vec3f& v, double scale);

SubmeshSet buildSubmeshes(const TriMesh& mesh, double scale);

}  // namespace syv::app

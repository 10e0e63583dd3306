// The arrays of an FBX Geometry that grow with the mesh, written straight into
// the file from a welded submesh, in the layout Assimp's FBX exporter gives
// them (so a file is the same whichever wrote it): a position per vertex,
// polygon indices with the last of each triangle as -1 - i, a normal per
// corner, texture coordinates shared by value in order of first use.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/submeshes.h"

namespace syv::app {

class FbxOut;

class FbxGeometry {
 public:
  explicit FbxGeometry(const Submesh& mesh);

  enum class Array { Vertices, PolygonVertexIndex, Normals, UV, UVIndex };
  static bool arrayNamed(const std::string& name, Array& array);

  // The record of `array` (a node named after it, one array property).
  void write(Array array, int offsetWidth, FbxOut& out) const;
  // Elements of the largest array, which FBX counts in 32 bits.
  size_t largestArray() const { return mesh_.indices.size() * 3; }

 private:
  const Submesh& mesh_;
  std::vector<uint32_t> uv_;      // per vertex: its shared texture coordinate
  std::vector<uint32_t> uvFrom_;  // per shared one: the vertex that made it
};

}  // namespace syv::app

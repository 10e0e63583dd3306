// Per-corner normals from smoothing groups: a corner takes the sum of the face
// normals of every face at its vertex that shares a smoothing bit with its own
// face, weighted by the face's angle there; a face without smoothing bits stays
// faceted.
#pragma once

#include <cstdint>
#include <vector>

#include "app/model.h"

namespace syv::app {

// Unit face normal of the host winding (v0, v1, v2); (0, 0, 0) when degenerate.
Vec3f faceNormal(const TriMesh& mesh, const TriFace& face);

// The corner normals of a mesh, kept small: most corners take their vertex's
// smoothed normal, so only the faces with another corner keep three of their
// own. Never a zero or non-finite normal: a corner whose sum vanishes falls
// back to its face normal, and a degenerate face to +Z (the host's up axis);
// faces with a vertex index out of range get +Z as well.
class CornerNormals {
 public:
  explicit CornerNormals(const TriMesh& mesh);
  CornerNormals(const CornerNormals&) = delete;
  CornerNormals& operator=(const CornerNormals&) = delete;
  // Memory it holds but no longer needs (where the sums were), resident
  // already: a caller's scratch for as long as this lives.
  struct Spare {
    void* data;
    size_t bytes;
  };
  Spare spare();
  const Vec3f& at(size_t face, size_t corner) const {
    const uint32_t own = own_[face];
    return own == kShared ? shared_[faces_[face].v[corner]] : kept_[size_t(own) * 3 + corner];
  }

 private:
  static constexpr uint32_t kShared = ~uint32_t(0);
  const TriFace* faces_;
  std::vector<double> store_;  // per vertex: the sum over its smoothed faces, three doubles
  Vec3f* shared_ = nullptr;    // per vertex, over store_: that sum made unit
  std::vector<uint32_t> own_;  // per face: kShared, or where its three normals are in kept_
  std::vector<Vec3f> kept_;
};

// Three unit normals per face, in face order (CornerNormals spelled out). Never returns a zero or
// non-finite normal: a corner whose sum vanishes falls back to its face
// normal, and a degenerate face to +Z (the host's up axis).
// Faces with a vertex index out of range get +Z as well.
std::vector<Vec3f> cornerNormals(const TriMesh& mesh);

}  // namespace syv::app

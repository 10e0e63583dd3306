#include "core/mesh/mesh.h"

#include <algorithm>
#include <new>
#include <stdexcept>

namespace syv {

Vector3 Mesh::vertex(uint32_t i) const { return i < vertices_.size() ? vertices_[i] : Vector3(); }

Face Mesh::face(uint32_t i) const { return i < faces_.size() ? faces_[i] : Face(); }

TexFace Mesh::texFace(uint32_t i) const { return i < texFaces_.size() ? texFaces_[i] : TexFace(); }

bool Mesh::bounds(Vector3& min, Vector3& max) const {
  if (vertices_.empty()) return false;
  min = {1e38, 1e38, 1e38};
  max = {-1e38, -1e38, -1e38};
  for (const Vector3& v : vertices_) {
    if (v.x < min.x) min.x = v.x;
    if (v.y < min.y) min.y = v.y;
    if (v.z < min.z) min.z = v.z;
    if (v.x > max.x) max.x = v.x;
    if (v.y > max.y) max.y = v.y;
    if (v.z > max.z) max.z = v.z;
  }
  return true;
}

bool Mesh::resize(uint32_t vertexCount, uint32_t faceCount) {
  const size_t oldVertices = vertices_.size(), oldFaces = faces_.size();
  try {
    vertices_.resize(vertexCount);
    faces_.resize(faceCount);
    texFaces_.resize(faceCount);
  } catch (const std::bad_alloc&) {
  } catch (const std::length_error&) {
  }
  if (vertices_.size() == vertexCount && faces_.size() == faceCount &&
      texFaces_.size() == faceCount)
    return true;
  // Shrinking back cannot throw, so a failed growth leaves the mesh as it was.
  vertices_.resize(oldVertices);
  faces_.resize(oldFaces);
  texFaces_.resize(oldFaces);
  return false;
}

bool Mesh::reserve(uint32_t vertexCount, uint32_t faceCount, uint32_t& vertexBase,
                   uint32_t& faceBase) {
  vertexBase = this->vertexCount();
  faceBase = this->faceCount();
  // Indices are 32-bit: a mesh that would outgrow them is refused, not wrapped.
  if (uint64_t(vertexBase) + vertexCount > maxVertices_ ||
      uint64_t(faceBase) + faceCount > maxFaces_)
    return false;
  return resize(vertexBase + vertexCount, faceBase + faceCount);
}

bool Mesh::setVertex(uint32_t index, const Vector3& v) {
  if (index >= vertices_.size()) return false;
  vertices_[index] = v;
  return true;
}

bool Mesh::setFace(uint32_t index, const Face& f) {
  if (index >= faces_.size()) return false;
  faces_[index] = f;
  return true;
}

bool Mesh::setTexFace(uint32_t index, const TexFace& tf) {
  if (index >= texFaces_.size()) return false;
  texFaces_[index] = tf;
  return true;
}

void MeshSink::setVertices(uint32_t first, const Vector3* v, uint32_t count) {
  for (uint32_t k = 0; k < count; ++k) setVertex(first + k, v[k]);
}

void MeshSink::setQuads(uint32_t first, const Face* faces, const TexFace* texFaces,
                        uint32_t count) {
  for (uint32_t k = 0; k < count; ++k) {
    setFace(first + k, faces[k]);
    setTexFace(first + k, texFaces[k]);
  }
}

namespace {

// How many of `count` elements from `first` fit below `size`.
size_t inRange(uint32_t first, uint32_t count, size_t size) {
  return first >= size ? 0 : std::min<size_t>(count, size - first);
}

}  // namespace

void Mesh::setVertices(uint32_t first, const Vector3* v, uint32_t count) {
  std::copy_n(v, inRange(first, count, vertices_.size()), vertices_.begin() + first);
}

void Mesh::setQuads(uint32_t first, const Face* faces, const TexFace* texFaces, uint32_t count) {
  std::copy_n(faces, inRange(first, count, faces_.size()), faces_.begin() + first);
  std::copy_n(texFaces, inRange(first, count, texFaces_.size()), texFaces_.begin() + first);
}

// In chunks on the stack: placements nest, so no buffer is shared.
void MeshSink::setPlacedVertices(uint32_t first, const Vector3* v, uint32_t count,
                                 const Matrix4& matrix) {
  constexpr uint32_t kChunk = 64;
  Vector3 placed[kChunk];
  for (uint32_t done = 0; done < count;) {
    const uint32_t n = std::min(kChunk, count - done);
    for (uint32_t k = 0; k < n; ++k) placed[k] = matrix.transformPoint(v[done + k]);
    setVertices(first + done, placed, n);
    done += n;
  }
}

void MeshSink::setShiftedQuads(uint32_t first, const Face* faces, const TexFace* texFaces,
                               uint32_t count, uint32_t shift, int32_t material) {
  if (shift == 0 && material < 0) return setQuads(first, faces, texFaces, count);
  constexpr uint32_t kChunk = 64;
  Face moved[kChunk];
  for (uint32_t done = 0; done < count;) {
    const uint32_t n = std::min(kChunk, count - done);
    for (uint32_t k = 0; k < n; ++k) {
      const Face& f = faces[done + k];
      moved[k] = {f.a + shift, f.b + shift, f.c + shift, f.d + shift,
                  material >= 0 ? material : f.material};
    }
    setQuads(first + done, moved, texFaces + done, n);
    done += n;
  }
}

void TransformingMeshSink::setVertices(uint32_t first, const Vector3* v, uint32_t count) {
  inner_.setPlacedVertices(first, v, count, matrix_);
}

void TransformingMeshSink::setQuads(uint32_t first, const Face* faces, const TexFace* texFaces,
                                    uint32_t count) {
  inner_.setShiftedQuads(first, faces, texFaces, count, 0, material_);
}

void TransformingMeshSink::setShiftedQuads(uint32_t first, const Face* faces,
                                           const TexFace* texFaces, uint32_t count,
                                           uint32_t shift, int32_t material) {
  inner_.setShiftedQuads(first, faces, texFaces, count, shift,
                         material_ >= 0 ? material_ : material);
}

}  // namespace syv

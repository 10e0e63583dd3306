// Quad meshes with per-corner texture coordinates, and the writer interface
// (MeshSink) through which every generator emits geometry.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/base/math.h"

namespace syv {

struct Face {
  uint32_t a = 0, b = 0, c = 0, d = 0;
  int32_t material = 0;
};

struct TexFace {
  Vector3 uv[4];  // corners a, b, c, d; generators write w = 0
};

// Writer protocol: reserve, then setVertex for each reserved vertex, then
// setFace and setTexFace for each reserved face, indices from the bases on.
class MeshSink {
 public:
  virtual ~MeshSink() = default;
  // Makes room for more vertices and faces; the bases receive the first new indices.
  virtual bool reserve(uint32_t vertexCount, uint32_t faceCount, uint32_t& vertexBase,
                       uint32_t& faceBase) = 0;
  // Called once after the last write of an import.
  virtual bool finish() = 0;
  // False (nothing stored) when the index is out of range.
  virtual bool setVertex(uint32_t index, const Vector3& v) = 0;
  virtual bool setFace(uint32_t index, const Face& f) = 0;
  virtual bool setTexFace(uint32_t index, const TexFace& tf) = 0;
  // The same for `count` consecutive indices from `first`, face and texture
  // face together; a sink stores them in one pass instead of a call each.
  virtual void setVertices(uint32_t first, const Vector3* v, uint32_t count);
  virtual void setQuads(uint32_t first, const Face* faces, const TexFace* texFaces,
                        uint32_t count);
  // setVertices of the points times `matrix` (transformPoint), and setQuads
  // of the faces with `shift` added to their corners and, when material >= 0,
  // that material: a sink that stores them in its own form does it in the
  // same pass instead of after a copy.
  virtual void setPlacedVertices(uint32_t first, const Vector3* v, uint32_t count,
                                 const Matrix4& matrix);
  virtual void setShiftedQuads(uint32_t first, const Face* faces, const TexFace* texFaces,
                               uint32_t count, uint32_t shift, int32_t material);
};

class MeshReader {
 public:
  virtual ~MeshReader() = default;
  virtual bool hasVertices() const = 0;
  virtual bool isEmpty() const = 0;
  virtual uint32_t vertexCount() const = 0;
  virtual uint32_t faceCount() const = 0;
  // Out-of-range reads give zero values.
  virtual Vector3 vertex(uint32_t i) const = 0;
  virtual Face face(uint32_t i) const = 0;
  virtual TexFace texFace(uint32_t i) const = 0;
  // False when there are no vertices; else the componentwise extremes,
  // starting from +1e38 and -1e38 (NaN coordinates never win).
  virtual bool bounds(Vector3& min, Vector3& max) const = 0;
  // Keeps existing elements and appends zero ones, or truncates.
  virtual bool resize(uint32_t vertexCount, uint32_t faceCount) = 0;
};

class Mesh : public MeshReader, public MeshSink {
 public:
  Mesh() = default;
  Mesh(const Mesh&) = default;
  Mesh& operator=(const Mesh&) = default;
  ~Mesh() override = default;

  bool hasVertices() const override { return !vertices_.empty(); }
  bool isEmpty() const override { return vertices_.empty(); }
  uint32_t vertexCount() const override { return static_cast<uint32_t>(vertices_.size()); }
  uint32_t faceCount() const override { return static_cast<uint32_t>(faces_.size()); }
  Vector3 vertex(uint32_t i) const override;
  Face face(uint32_t i) const override;
  TexFace texFace(uint32_t i) const override;
  bool bounds(Vector3& min, Vector3& max) const override;
  // False, the mesh unchanged, when the memory cannot be had.
  bool resize(uint32_t vertexCount, uint32_t faceCount) override;

  // Grows by the counts; false, the mesh unchanged, when the result would pass
  // the limits (setLimits; by default the 32-bit index range) or the memory
  // cannot be had. The bases receive the counts before the call either way.
  bool reserve(uint32_t vertexCount, uint32_t faceCount, uint32_t& vertexBase,
               uint32_t& faceBase) override;
  bool finish() override { return true; }
  bool setVertex(uint32_t index, const Vector3& v) override;
  bool setFace(uint32_t index, const Face& f) override;
  bool setTexFace(uint32_t index, const TexFace& tf) override;
  void setVertices(uint32_t first, const Vector3* v, uint32_t count) override;
  void setQuads(uint32_t first, const Face* faces, const TexFace* texFaces,
                uint32_t count) override;

  // Caps what reserve may grow the mesh to: a budget for callers that
  // generate from untrusted files. Existing elements are kept.
  void setLimits(uint32_t maxVertices, uint32_t maxFaces) {
    maxVertices_ = maxVertices;
    maxFaces_ = maxFaces;
  }

  const std::vector<Vector3>& vertices() const { return vertices_; }
  const std::vector<Face>& faces() const { return faces_; }
  const std::vector<TexFace>& texFaces() const { return texFaces_; }

 private:
  std::vector<Vector3> vertices_;
  std::vector<Face> faces_;
  std::vector<TexFace> texFaces_;
  uint32_t maxVertices_ = UINT32_MAX;
  uint32_t maxFaces_ = UINT32_MAX;
};

// Places everything written through it under a matrix and, when material >= 0,
// stamps that material into every face before passing it on.
class TransformingMeshSink : public MeshSink {
 public:
  TransformingMeshSink(MeshSink& inner, const Matrix4& matrix, int32_t material)
      : inner_(inner), matrix_(matrix), material_(material) {}

  bool reserve(uint32_t vertexCount, uint32_t faceCount, uint32_t& vertexBase,
               uint32_t& faceBase) override {
    return inner_.reserve(vertexCount, faceCount, vertexBase, faceBase);
  }
  bool finish() override { return inner_.finish(); }
  bool setVertex(uint32_t index, const Vector3& v) override {
    return inner_.setVertex(index, matrix_.transformPoint(v));
  }
  bool setFace(uint32_t index, const Face& f) override {
    Face g = f;
    if (material_ >= 0) g.material = material_;
    return inner_.setFace(index, g);
  }
  bool setTexFace(uint32_t index, const TexFace& tf) override {
    return inner_.setTexFace(index, tf);
  }
  // Passed on with the matrix or the material, not stored in between.
  void setVertices(uint32_t first, const Vector3* v, uint32_t count) override;
  void setQuads(uint32_t first, const Face* faces, const TexFace* texFaces,
                uint32_t count) override;
  void setShiftedQuads(uint32_t first, const Face* faces, const TexFace* texFaces, uint32_t count,
                       uint32_t shift, int32_t material) override;

 private:
  MeshSink& inner_;
  Matrix4 matrix_;
  int32_t material_;
};

// Accepts every call and keeps nothing.
class DiscardingMeshSink : public MeshSink {
 public:
  bool reserve(uint32_t, uint32_t, uint32_t& vertexBase, uint32_t& faceBase) override {
    vertexBase = 0;
    faceBase = 0;
    return true;
  }
  bool finish() override { return true; }
  bool setVertex(uint32_t, const Vector3&) override { return true; }
  bool setFace(uint32_t, const Face&) override { return true; }
  bool setTexFace(uint32_t, const TexFace&) override { return true; }
  void setVertices(uint32_t, const Vector3*, uint32_t) override {}
  void setQuads(uint32_t, const Face*, const TexFace*, uint32_t) override {}
};

}  // namespace syv

// The host's triangle mesh: vertices, faces, texture vertices and texture faces.
#pragma once

#include <cstddef>
#include "host/sdk/host_array.h"
#include "host/sdk/types.h"

namespace hostsdk {

// Edge visibility bits of Face::flags; the material id lives in the upper 16 bits.
constexpr DWORD EDGE_A = 1;  // edge v[0] -> v[1]
constexpr DWORD EDGE_B = 2;  // edge v[1] -> v[2]
constexpr DWORD EDGE_C = 4;  // edge v[2] -> v[0]
constexpr DWORD EDGE_ALL = 7;
constexpr DWORD EDGE_VISIBLE = 1;
constexpr DWORD EDGE_INVIS = 0;
constexpr int FACE_MATID_SHIFT = 16;
constexpr DWORD FACE_MATID_MASK = 0xFFFF0000u;

struct HOSTSDK_API Face {
  DWORD v[3] = {0, 0, 0};
  DWORD smGroup = 0;  // smoothing-group bits
  DWORD flags = 0;    // edge visibility and material id

  void setVerts(DWORD a, DWORD b, DWORD c) { v[0] = a; v[1] = b; v[2] = c; }
  // Each argument is EDGE_VISIBLE or EDGE_INVIS, for edges A, B and C.
  void setEdgeVisFlags(DWORD va, DWORD vb, DWORD vc);
  DWORD getEdgeVis(int edge) const { return (flags >> edge) & 1u; }
  void setSmGroup(DWORD bits) { smGroup = bits; }
  DWORD getSmGroup() const { return smGroup; }
  void setMatID(MtlID id) {
    flags = (flags & ~FACE_MATID_MASK) | (static_cast<DWORD>(id) << FACE_MATID_SHIFT);
  }
  MtlID getMatID() const { return static_cast<MtlID>(flags >> FACE_MATID_SHIFT); }
};

struct HOSTSDK_API TVFace {
  DWORD t[3] = {0, 0, 0};
  void setTVerts(DWORD a, DWORD b, DWORD c) { t[0] = a; t[1] = b; t[2] = c; }
};

// The arrays are public as in the host; their sizes are the counts. Growing
// keeps the elements in place and yields zeroed ones (see HostArray). The
// setNum* calls return FALSE, the mesh unchanged, when the memory cannot be
// had or the count passes the mesh's element limit (setElementLimit).
class HOSTSDK_API Mesh {
 public:
  HostArray<Point3> verts;
  HostArray<Face> faces;
  HostArray<UVVert> tVerts;
  HostArray<TVFace> tvFace;

  // keep: keep the existing elements (else all are reset); synchSel is accepted.
  BOOL setNumVerts(int count, BOOL keep = FALSE, BOOL synchSel = TRUE);
  BOOL setNumFaces(int count, BOOL keep = FALSE, BOOL synchSel = TRUE);
  BOOL setNumTVerts(int count, BOOL keep = FALSE);
  // oldCount is accepted; the texture face array follows the face count
  // afterwards (setNumFaces resizes it too once it exists).
  BOOL setNumTVFaces(int count, BOOL keep = FALSE, int oldCount = 0);
  int getNumVerts() const { return static_cast<int>(verts.size()); }
  int getNumFaces() const { return static_cast<int>(faces.size()); }
  int getNumTVerts() const { return static_cast<int>(tVerts.size()); }
  int getNumTVFaces() const { return static_cast<int>(tvFace.size()); }

  void setVert(int i, const Point3& p) { verts[static_cast<size_t>(i)] = p; }
  void setTVert(int i, const UVVert& p) { tVerts[static_cast<size_t>(i)] = p; }

  // Assigns smoothing groups from face normals: faces meeting at an edge
  // (shared by vertex index) whose normals differ by less than `angle`
  // radians share a group, faces across a sharper edge share none. Runs in
  // time linear in the faces. useSel and preventIndirect are accepted.
  void AutoSmooth(float angle, BOOL useSel, BOOL preventIndirect = FALSE);
  void InvalidateTopologyCache() { ++topologyVersion_; }
  void buildBoundingBox();
  // The box of the last buildBoundingBox (empty when there were no vertices).
  Box3 getBoundingBox() const { return bounds_; }
  // The normal of face i (unit length; zero for a degenerate face).
  Point3 faceNormal(int i) const;

  // Stand-in only: whether the last buildBoundingBox met only finite vertices
  // (false once the vertex count has changed since).
  bool verticesFinite() const { return verticesFinite_; }

  // Stand-in only: the largest element count a setNum* call may reach
  // (default: no limit); lets a host bound memory and tests force failures.
  void setElementLimit(size_t limit) { limit_ = limit; }

 private:
  size_t limit_ = static_cast<size_t>(-1);
  Box3 bounds_;
  bool verticesFinite_ = false;
  unsigned topologyVersion_ = 0;
};

}  // namespace hostsdk

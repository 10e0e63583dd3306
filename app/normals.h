// Per-corner normals from smoothing groups: a corner takes the sum of the face
// normals of every face at its vertex that shares a smoothing bit with its own
// face, weighted by the face's angle there; a face without smoothing bits stays
// faceted.
#pragma once

#include <vector>

#include "app/model.h"

namespace syv::app {

// Unit face normal of the host winding (v0, v1, v2); (0, 0, 0) when degenerate.
Vec3f faceNormal(const TriMesh& mesh, const TriFace& face);

// Three unit normals per face, in face order. Never returns a zero or
// non-finite normal: a corner whose sum vanishes falls back to its face
// normal, and a degenerate face to +Z (the host's up axis).
// Faces with a vertex index out of range get +Z as well.
std::vector<Vec3f> cornerNormals(const TriMesh& mesh);

}  // namespace syv::app

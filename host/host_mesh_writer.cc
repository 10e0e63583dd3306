#include "host/host_mesh_writer.h"

#include <algorithm>
#include <climits>
#include <cmath>

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
  mesh_.setVert(static_cast<int>(index), hostsdk::Point3(static_cast<float>(position.x),
                                                         static_cast<float>(position.y),
                                                         static_cast<float>(position.z)));
  return true;
}

bool HostMeshWriter::setFace(uint32_t quadIndex, const Face& face) {
  if (uint64_t(quadIndex) * 2 >= faceCount_) return false;
  int32_t material = face.material;
  if (material < 0 || material > 0xFFFF) {
    material = std::min<int32_t>(std::max<int32_t>(material, 0), 0xFFFF);
    ++clamped_;
  }
  const auto id = static_cast<hostsdk::MtlID>(material);
  hostsdk::Face& first = mesh_.faces[size_t(quadIndex) * 2];
  hostsdk::Face& second = mesh_.faces[size_t(quadIndex) * 2 + 1];
  first.setVerts(face.c, face.b, face.a);
  second.setVerts(face.a, face.d, face.c);
  for (hostsdk::Face* f : {&first, &second}) {
    f->setSmGroup(0);
    f->setEdgeVisFlags(hostsdk::EDGE_VISIBLE, hostsdk::EDGE_VISIBLE, hostsdk::EDGE_INVIS);
    f->setMatID(id);
  }
  return true;
}

bool HostMeshWriter::setTexFace(uint32_t quadIndex, const TexFace& texFace) {
  if (uint64_t(quadIndex) * 2 >= faceCount_) return false;
  const auto base = static_cast<hostsdk::DWORD>(quadIndex) * 4;
  for (uint32_t k = 0; k < 4; ++k) {
    const Vector3& t = texFace.uv[k];
    mesh_.tVerts[base + k] = hostsdk::UVVert(static_cast<float>(t.x), static_cast<float>(t.y),
                                             static_cast<float>(t.z));
  }
  mesh_.tvFace[size_t(quadIndex) * 2].setTVerts(base + 2, base + 1, base);
  mesh_.tvFace[size_t(quadIndex) * 2 + 1].setTVerts(base, base + 3, base + 2);
  return true;
}

void normalizeTextureCoordinates(hostsdk::Mesh& mesh,
                                 const std::map<int32_t, SceneMaterial>& materials,
                                 std::map<int32_t, int>* zeroScaleMaterials) {
  const size_t quads = std::min(mesh.faces.size() / 2, mesh.tVerts.size() / 4);
  // Quads come in runs of one material: looked up once per run.
  int32_t lastId = -1;
  const SceneMaterial* found = nullptr;
  for (size_t q = 0; q < quads; ++q) {
    const int32_t id = mesh.faces[q * 2].getMatID();
    if (id != lastId) {
      auto it = materials.find(id);
      found = it == materials.end() ? nullptr : &it->second;
      lastId = id;
    }
    if (!found) continue;
    const SceneMaterial& m = *found;
    double su = m.textureScale.x, sv = m.textureScale.y;
    const bool badU = su == 0.0 || !std::isfinite(su);
    const bool badV = sv == 0.0 || !std::isfinite(sv);
    if (badU || badV) {
      if (zeroScaleMaterials) ++(*zeroScaleMaterials)[id];
      if (badU) su = 1.0;
      if (badV) sv = 1.0;
    }
    for (size_t k = 0; k < 4; ++k) {
      hostsdk::UVVert& t = mesh.tVerts[q * 4 + k];
      t.x = static_cast<float>(t.x / su - m.textureShift.x);
      t.y = static_cast<float>(t.y / sv - m.textureShift.y);
    }
  }
}

}  // namespace syv

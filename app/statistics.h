// The statistics report: counts and bounds of the host mesh the plug-in
// produced (host units), its materials, the messages of the run and timings.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "app/model.h"

namespace syv::app {

struct MaterialStats {
  MaterialInfo material;
  bool known = true;  // false: faces use an id the multi-material lacks
  size_t triangles = 0;
};

struct Statistics {
  std::string node;
  size_t triangles = 0, vertices = 0, textureVertices = 0;
  std::vector<MaterialStats> materials;
  bool hasBounds = false;  // false for a mesh without (finite) vertices
  Vec3f min{}, max{};
  std::vector<std::string> warnings;
  double importSeconds = 0, exportSeconds = 0;
};

// What an import learnt of its mesh while handing it over, so that the
// statistics need not read the whole mesh again.
struct MeshTally {
  bool counted = false;  // triangles and perMaterial hold
  size_t triangles = 0;
  std::vector<std::pair<uint32_t, size_t>> perMaterial;  // in id order
  bool bounded = false;  // min and max hold the box of the finite vertices (and there are some)
  Vec3f min{}, max{};
};

// Triangles per material of faces met in order, a map entry per run of one
// material rather than per face.
class MaterialRuns {
 public:
  void add(size_t face, uint32_t id) {
    if (id == id_) return;
    close(face);
    id_ = id;
    start_ = face;
  }
  // `faces` met in all: the tally's count and its materials'.
  void finish(size_t faces, MeshTally& tally);

 private:
  void close(size_t face) {
    if (face > start_) counts_[id_] += face - start_;
  }
  std::map<uint32_t, size_t> counts_;
  uint32_t id_ = UINT32_MAX;  // a first face of this id still counts under it
  size_t start_ = 0;
};

// What `tally` holds stands in for the model's faces and vertices.
Statistics computeStatistics(const Model& model, const MeshTally* tally = nullptr);

// One JSON object; bounds are null when the mesh has no vertices, and a
// material without texture has "texture": null.
std::string statisticsJson(const Statistics& stats);

}  // namespace syv::app

// The statistics report: counts and bounds of the host mesh the plug-in
// produced (host units), its materials, the messages of the run and timings.
#pragma once

#include <string>
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

Statistics computeStatistics(const Model& model);

// One JSON object; bounds are null when the mesh has no vertices, and a
// material without texture has "texture": null.
std::string statisticsJson(const Statistics& stats);

}  // namespace syv::app

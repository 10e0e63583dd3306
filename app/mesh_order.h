// Triangle and vertex order of the welded meshes for the GPU: triangles for
// the post-transform vertex cache, vertices in the order triangles first use
// them. Values and the corners of each triangle stay as they were.
#pragma once

#include <vector>

#include "app/submeshes.h"

namespace syv::app {

// Memory already resident and no longer needed (the host mesh's arrays once
// welded): the cache pass takes its work arrays there while they fit,
// instead of fresh pages. Each region's start is aligned to 64 bytes.
struct Scratch {
  struct Region {
    char* begin;
    size_t size;
  };
  std::vector<Region> regions;
};

void optimizeOrder(SubmeshSet& meshes, const Scratch* scratch = nullptr);

}  // namespace syv::app

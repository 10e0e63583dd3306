// Triangle and vertex order of the welded meshes for the GPU: triangles for
// the post-transform vertex cache, vertices in the order triangles first use
// them. Values and the corners of each triangle stay as they were.
#pragma once

#include "app/submeshes.h"

namespace syv::app {

void optimizeOrder(SubmeshSet& meshes);

}  // namespace syv::app

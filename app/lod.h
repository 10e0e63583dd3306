// Lighter versions of the welded per-material meshes, for levels of detail:
// each material's mesh simplified on its own, so that material borders stay
// where they are, with texture seams kept as they are; loose leaf cards,
// which simplification cannot merge, thinned out and the rest enlarged.
#pragma once

#include <string>
#include <vector>

#include "app/submeshes.h"

namespace syv::app {

// "0.5,0.2,0.05": shares of the triangles, each in (0, 1), decreasing.
// Empty when good, otherwise why not.
std::string parseLodShares(const std::string& text, std::vector<double>& shares);

// A level with at most `share` of the triangles of each material's mesh (so
// of the whole), mesh for mesh; one whose share rounds to no triangle is left
// empty. The same set and share give the same level.
SubmeshSet simplifyLevel(const SubmeshSet& full, double share);

}  // namespace syv::app

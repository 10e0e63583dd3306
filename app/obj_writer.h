// Wavefront OBJ with its .mtl, written straight from the welded meshes in the
// layout Assimp's OBJ writer has always given this converter's output: shared
// position, texture coordinate and normal lists (each value once, numbered in
// order of first use), then a group per mesh.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "app/output_material.h"
#include "app/submeshes.h"

namespace syv::app {

class SpooledFile;

// `materials` has one entry per mesh (at least one); the .mtl is named after
// the output with its extension replaced. The .obj goes to `spool` as it is
// made when there is one, into `files` otherwise.
void writeObj(const std::vector<OutputMaterial>& materials, const std::vector<std::string>& meshNames,
              SubmeshSet&& meshes, const std::string& outputPath,
              std::map<std::string, std::string>& files, SpooledFile* spool = nullptr);

}  // namespace syv::app

// glTF 2.0 (.glb, or .gltf with its .bin) written straight from the welded
// per-material meshes: one node, one mesh with a primitive per material.
#pragma once

#include <array>
#include <map>
#include <string>
#include <vector>

#include "app/output_files.h"
#include "app/output_material.h"
#include "app/submeshes.h"

namespace syv::app {

struct GltfImage {
  std::string uri;        // .gltf: the reference; empty when embedded
  std::string name;       // embedded: the file's name
  std::string mimeType;   // embedded
  std::string bytes;      // embedded
};

struct GltfScene {
  std::string nodeName;
  std::string meshName;
  // With levels of detail: the name of each level's node and mesh, children
  // of the plant's node; a level's submeshes line up with the materials.
  std::vector<std::string> levelNames;
  std::vector<OutputMaterial> materials;  // one per submesh (at least one)
  std::vector<GltfImage> images;
  // Quantized and meshopt-encoded meshes (app/gltf_compress.h); readers need
  // both extensions, so this is asked for, never the default.
  bool compress = false;
};

// Fills `files` (output path -> bytes); with `spooled`, the binary file (the
// .glb, or the .bin) is written into its temporary as it is made instead and
// added there. The submeshes are released as they are written, so that their
// arrays and the output are not held twice. Empty, or why the temporary
// cannot be created.
std::string writeGltf(const GltfScene& scene, SubmeshSet&& meshes, const std::string& outputPath,
                      bool binary, std::map<std::string, std::string>& files,
                      Spools* spooled = nullptr);
// One set per level name (empty submeshes are left out).
std::string writeGltf(const GltfScene& scene, std::vector<SubmeshSet>&& levels,
                      const std::string& outputPath, bool binary,
                      std::map<std::string, std::string>& files, Spools* spooled = nullptr);

}  // namespace syv::app

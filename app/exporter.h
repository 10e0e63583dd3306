// Writes a Model: one mesh per material id, corner normals from
// smoothing groups, texture coordinates, materials with colour and texture.
// glTF and OBJ are written directly; FBX through Assimp, re-serialised so that
// every nested list is closed.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "app/model.h"
#include "app/output_files.h"

namespace syv::app {

enum class Format { Glb, Gltf, Obj, Fbx };

// "glb", "gltf", "obj", "fbx", with or without the dot, any case.
bool parseFormat(std::string name, Format& format);
// From the output file's extension.
bool formatFromPath(const std::string& path, Format& format);
const char* formatName(Format format);

struct ExportRequest {
  std::string plantPath;
  std::vector<std::string> textureFolders;  // where textures are looked up, in order
  // .gltf, .obj, .fbx: a copy of each found texture beside the output, referred
  // to there; otherwise the reference points back to where it was found.
  bool copyTextures = true;
  // Steps of the export, 0 to 100, for the progress line.
  std::function<void(int percent, const std::string& step)> progress;
  std::string outputPath;  // the final name; companions (.bin, .mtl) are named from it
  Format format = Format::Glb;
  double scale = 0.01;  // host centimetres to metres
  // Levels of detail after the full plant, by share of its triangles: in the
  // file as PLANT_LOD0 (the full plant), PLANT_LOD1, ..., or with `lodFiles`
  // in OUT_LOD1.EXT, ... (node PLANT_LOD1, ...), the main output as without.
  std::vector<double> lodShares;
  bool lodFiles = false;
  bool compress = false;  // glTF only (app/gltf_compress.h)
};

// The file of level `level` (1 and up) beside `outputPath`: STEM_LODn.EXT.
std::string lodFilePath(const std::string& outputPath, size_t level);

struct ExportResult {
  std::map<std::string, std::string> files;  // final path -> bytes, texture copies included
  // .obj, .fbx, .glb and .gltf's .bin: written as made, to be put in place with `files`.
  std::vector<std::unique_ptr<SpooledFile>> spooled;
  std::vector<std::string> warnings;
  size_t triangles = 0;  // written, of the full plant
  std::vector<size_t> levelTriangles;  // of each level of detail
};

// False with a message when the output cannot be made (for FBX: Assimp failing,
// or its library, libsyvfbx.so, not loading).
bool exportModel(const Model& model, const ExportRequest& request, ExportResult& result,
                 std::string& error);
// The same for a caller that needs `model.mesh` no more: once welded, its
// arrays (resident already) hold the GPU ordering's work arrays instead of
// fresh pages, and are then given back; `model.mesh` is left empty.
bool exportModelConsuming(Model& model, const ExportRequest& request, ExportResult& result,
                          std::string& error);

}  // namespace syv::app

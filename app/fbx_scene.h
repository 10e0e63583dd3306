// The scene around an FBX file's geometry, as plain data for libsyvfbx.so,
// which writes it with Assimp. It is loaded only when an FBX is written:
// binding Assimp (and what it brings) at start-up cost every run about 1.5 ms.
#pragma once

#include <array>
#include <map>
#include <string>
#include <vector>

namespace syv::app {

struct FbxSceneMaterial {
  std::string name;
  std::array<float, 3> diffuse{};
  std::string texture;  // the file's reference to it, or empty
};

// A mesh of one triangle: the writer's geometry stands in for the real one.
struct FbxSceneMesh {
  std::string name;
  unsigned material = 0;
};

// Meshes are numbered in the file as met depth first, a node's own first.
struct FbxSceneNode {
  std::string name;
  std::vector<FbxSceneMesh> meshes;
  std::vector<FbxSceneNode> children;
};

struct FbxScene {
  FbxSceneNode root;
  std::vector<FbxSceneMaterial> materials;
};

// The files written for `path` (the FBX itself under it), or false with the reason.
using WriteFbxSceneFn = bool (*)(const FbxScene& scene, const std::string& path,
                                 std::map<std::string, std::string>& files, std::string& error);
constexpr const char* kWriteFbxSceneSymbol = "syvWriteFbxScene";
constexpr const char* kFbxLibrary = "libsyvfbx.so";

}  // namespace syv::app

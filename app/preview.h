// A picture of the imported plant, rendered off-screen (Mesa's software
// OpenGL, no display or GPU): a three-quarter view framed on the plant's
// bounds with the host's +Z up, shaded with the smoothing-group normals, each
// material in its diffuse colour or, where its image is found, its texture.
#pragma once

#include <string>
#include <vector>

#include "app/model.h"

namespace syv::app {

struct PreviewRequest {
  std::vector<std::string> textureFolders;  // where textures are looked up, in order
  std::string pngPath;
  int width = 512, height = 512;
};

// False with the reason when no picture was written (no renderer in this
// build, no context, no geometry, the file cannot be written).
bool writePreview(const Model& model, const PreviewRequest& request, std::string& error);

}  // namespace syv::app

// A picture of the imported plant, rendered off-screen (Mesa's software
// OpenGL, no display or GPU): a three-quarter view framed on the plant's
// bounds with the host's +Z up, shaded with the smoothing-group normals, each
// material in its diffuse colour or, where its image is found, its texture.
#pragma once

#include <string>
#include <vector>

#include "app/model.h"

namespace syv::app {

// Views along the output's axes (+Y up) frame the same bounds whatever is
// drawn, so that pictures of the levels of one plant compare pixel by pixel.
enum class PreviewView { ThreeQuarter, Front, Side, Top };

// "three-quarter", "front", "side", "top".
bool parsePreviewView(const std::string& name, PreviewView& view);

struct PreviewRequest {
  std::vector<std::string> textureFolders;  // where textures are looked up, in order
  std::string pngPath;
  int width = 512, height = 512;
  PreviewView view = PreviewView::ThreeQuarter;
  double lodShare = 0;  // 0: the full plant; else the level of this share
};

// False with the reason when no picture was written (no renderer in this
// build, no context, no geometry, the file cannot be written).
bool writePreview(const Model& model, const PreviewRequest& request, std::string& error);

}  // namespace syv::app

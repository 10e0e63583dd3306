// A material as the output writers see it.
#pragma once

#include <string>

#include "app/model.h"

namespace syv::app {

struct OutputMaterial {
  std::string name;
  Vec3f color{};         // diffuse, clamped to 0..1
  int image = -1;        // glTF: index of its image, or none
  std::string texture;   // OBJ: reference to the image file, or none
};

}  // namespace syv::app

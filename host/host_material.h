// Conversion of the core's materials into host materials.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "core/scene/scene_builder.h"
#include "host/sdk/material.h"

namespace syv {

// A new host standard material for the record (with a tint texture over a
// bitmap texture as its diffuse map when the record names a texture file), or
// nothing when the host cannot create one. Nothing references it yet.
hostsdk::StdMat2* convertMaterial(const SceneMaterial& record);

// Sub-material slots the host can address (material ids are 16 bits).
constexpr int32_t kMaxSubMaterials = 0x10000;

// A multi-material named `name` with the converted records installed at
// their ids; as many slots as the largest id + 1 (ids that cannot be slots
// are left out and reported in `warnings`). Nothing when the host cannot
// create the multi-material.
hostsdk::MultiMtl* buildMultiMaterial(const std::string& name,
                                      const std::map<int32_t, SceneMaterial>& table,
                                      std::vector<std::string>& warnings);

}  // namespace syv

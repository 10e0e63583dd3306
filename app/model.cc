#include "app/model.h"

#include <algorithm>

namespace syv::app {

const MaterialInfo* findMaterial(const Model& model, uint32_t id) {
  auto it = std::lower_bound(model.materials.begin(), model.materials.end(), id,
                             [](const MaterialInfo& m, uint32_t v) { return m.id < v; });
  return (it != model.materials.end() && it->id == id) ? &*it : nullptr;
}

}  // namespace syv::app

#include "app/model.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdint>

namespace syv::app {

void adviseHuge(const void* data, size_t bytes) {
#ifdef MADV_HUGEPAGE
  constexpr uintptr_t kHuge = hostsdk::detail::kHugePage;
  if (bytes < 2 * kHuge) return;
  const uintptr_t begin = (reinterpret_cast<uintptr_t>(data) + kHuge - 1) & ~(kHuge - 1);
  const uintptr_t end = (reinterpret_cast<uintptr_t>(data) + bytes) & ~(kHuge - 1);
  if (end > begin) ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
  (void)data, (void)bytes;
#endif
}

const MaterialInfo* findMaterial(const Model& model, uint32_t id) {
  auto it = std::lower_bound(model.materials.begin(), model.materials.end(), id,
                             [](const MaterialInfo& m, uint32_t v) { return m.id < v; });
  return (it != model.materials.end() && it->id == id) ? &*it : nullptr;
}

}  // namespace syv::app

#include "host/sdk/material.h"

#include <new>
#include <stdexcept>
#include <unordered_set>

#include <stb/stb_image.h>

#include "host/sdk/texture_lookup.h"

namespace hostsdk {

namespace {

std::unordered_set<MtlBase*>& registry() {
  static std::unordered_set<MtlBase*> live;
  return live;
}

std::vector<std::string>& mapDirs() {
  static std::vector<std::string> dirs;
  return dirs;
}

bool failCreation[4] = {false, false, false, false};

template <typename T>
T* create(MtlKind kind) {
  if (failCreation[static_cast<int>(kind)]) return nullptr;
  T* m = new (std::nothrow) T();
  return m;
}

}  // namespace

MtlBase::MtlBase(MtlKind kind, int mapSlots) : kind_(kind), maps_(static_cast<size_t>(mapSlots)) {
  registry().insert(this);
}

MtlBase::~MtlBase() {
  registry().erase(this);
  for (Texmap*& m : maps_) {
    Texmap* old = m;
    m = nullptr;
    if (old) old->Release();
  }
}

void MtlBase::SetMtlFlag(ULONG mask, BOOL value) {
  if (value) {
    flags_ |= mask;
  } else {
    flags_ &= ~mask;
  }
}

Texmap* MtlBase::GetSubTexmap(int i) const {
  if (i < 0 || static_cast<size_t>(i) >= maps_.size()) return nullptr;
  return maps_[static_cast<size_t>(i)];
}

void MtlBase::SetSubTexmap(int i, Texmap* map) {
  if (i < 0 || static_cast<size_t>(i) >= maps_.size()) return;
  Texmap* old = maps_[static_cast<size_t>(i)];
  if (old == map) return;
  if (map) map->AddRef();
  maps_[static_cast<size_t>(i)] = map;
  if (old) old->Release();
}

void MtlBase::Release() {
  if (refs_ > 0 && --refs_ == 0) delete this;
}

StdMat2::StdMat2() : Mtl(MtlKind::StdMat, STD_NUM_MAPS) {}

MultiMtl::MultiMtl() : Mtl(MtlKind::MultiMtl, 0) {}

MultiMtl::~MultiMtl() { SetNumSubMtls(0); }

BOOL MultiMtl::SetNumSubMtls(int count) {
  if (count < 0) return FALSE;
  size_t n = static_cast<size_t>(count);
  for (size_t i = n; i < subs_.size(); ++i) {
    Mtl* old = subs_[i];
    subs_[i] = nullptr;
    if (old) old->Release();
  }
  try {
    subs_.resize(n, nullptr);
  } catch (const std::bad_alloc&) {
    return FALSE;
  } catch (const std::length_error&) {
    return FALSE;
  }
  return TRUE;
}

Mtl* MultiMtl::GetSubMtl(int id) const {
  if (id < 0 || static_cast<size_t>(id) >= subs_.size()) return nullptr;
  return subs_[static_cast<size_t>(id)];
}

void MultiMtl::SetSubMtl(int id, Mtl* m) {
  if (id < 0 || static_cast<size_t>(id) >= subs_.size()) return;
  Mtl* old = subs_[static_cast<size_t>(id)];
  if (old == m) return;
  if (m) m->AddRef();
  subs_[static_cast<size_t>(id)] = m;
  if (old) old->Release();
}

BitmapTex::BitmapTex() : Texmap(MtlKind::BitmapTex, 1) {}

void BitmapTex::SetMapName(const char* name) {
  mapName_ = name ? name : "";
  loaded_ = false;
}

namespace {

// Reads enough of an image to know its size and whether it has alpha.
bool readImageInfo(const std::string& path, BitmapInfo& info) {
  int channels = 0;
  info = BitmapInfo();
  if (!stbi_info(path.c_str(), &info.width, &info.height, &channels)) return false;
  if (channels == 2 || channels == 4) info.flags |= MAP_HAS_ALPHA;
  return true;
}

}  // namespace

void BitmapTex::ReloadBitmapAndUpdate() {
  loaded_ = false;
  if (mapName_.empty()) return;
  const std::string found = findTexture(mapName_, mapDirs());
  loaded_ = !found.empty() && readImageInfo(found, bitmap_.info);
}

MultiTex::MultiTex() : Texmap(MtlKind::TintTex, 1) {}

void MultiTex::SetColor(int channel, const Color& c) {
  if (channel >= 0 && channel < 3) colors_[channel] = c;
}

Color MultiTex::GetColor(int channel) const {
  return channel >= 0 && channel < 3 ? colors_[channel] : Color();
}

void AddMapDir(const std::string& dir) { mapDirs().push_back(dir); }
void ClearMapDirs() { mapDirs().clear(); }

StdMat2* NewDefaultStdMat() { return create<StdMat2>(MtlKind::StdMat); }
MultiMtl* NewDefaultMultiMtl() { return create<MultiMtl>(MtlKind::MultiMtl); }
BitmapTex* NewDefaultBitmapTex() { return create<BitmapTex>(MtlKind::BitmapTex); }
MultiTex* NewDefaultTintTex() { return create<MultiTex>(MtlKind::TintTex); }

void SetMaterialCreationFails(MtlKind kind, bool fails) {
  failCreation[static_cast<int>(kind)] = fails;
}

int DeleteUnreferencedMaterials() {
  // Nothing holds an object without references, so deleting one of them
  // never deletes another of them.
  std::vector<MtlBase*> unreferenced;
  for (MtlBase* m : registry()) {
    if (m->refCount() == 0) unreferenced.push_back(m);
  }
  for (MtlBase* m : unreferenced) delete m;
  return static_cast<int>(unreferenced.size());
}

int LiveMaterialCount() { return static_cast<int>(registry().size()); }

}  // namespace hostsdk

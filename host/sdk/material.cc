#include "host/sdk/material.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <stdexcept>
#include <unordered_set>

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
  resolved_.clear();
}

namespace {

uint32_t be32(const unsigned char* p) {
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}
uint32_t le16(const unsigned char* p) { return uint32_t(p[0]) | (uint32_t(p[1]) << 8); }
uint32_t le32(const unsigned char* p) { return le16(p) | (le16(p + 2) << 16); }

// Reads enough of an image header to know its size and whether it has alpha.
bool readImageHeader(const std::string& path, BitmapInfo& info) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  unsigned char h[64] = {0};
  size_t got = std::fread(h, 1, sizeof h, f);
  std::fclose(f);
  info = BitmapInfo();
  static const unsigned char png[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
  if (got >= 26 && std::memcmp(h, png, 8) == 0 && std::memcmp(h + 12, "IHDR", 4) == 0) {
    info.width = static_cast<int>(be32(h + 16));
    info.height = static_cast<int>(be32(h + 20));
    unsigned colorType = h[25];
    if (colorType == 4 || colorType == 6) info.flags |= MAP_HAS_ALPHA;
    return true;
  }
  if (got >= 30 && h[0] == 'B' && h[1] == 'M') {
    info.width = static_cast<int>(le32(h + 18));
    info.height = static_cast<int>(le32(h + 22));
    if (le16(h + 28) == 32) info.flags |= MAP_HAS_ALPHA;
    return true;
  }
  if (got >= 3 && h[0] == 0xFF && h[1] == 0xD8 && h[2] == 0xFF) return true;
  // TGA has no magic: accept the image types it defines with a sane depth.
  if (got >= 18) {
    unsigned type = h[2], depth = h[16];
    bool known = type == 1 || type == 2 || type == 3 || type == 9 || type == 10 || type == 11;
    if (known && (depth == 8 || depth == 15 || depth == 16 || depth == 24 || depth == 32)) {
      info.width = static_cast<int>(le16(h + 12));
      info.height = static_cast<int>(le16(h + 14));
      if ((h[17] & 0x0F) != 0) info.flags |= MAP_HAS_ALPHA;
      return true;
    }
  }
  return false;
}

}  // namespace

void BitmapTex::ReloadBitmapAndUpdate() {
  loaded_ = false;
  resolved_.clear();
  if (mapName_.empty()) return;
  const std::string found = findTexture(mapName_, mapDirs());
  if (!found.empty() && readImageHeader(found, bitmap_.info)) {
    loaded_ = true;
    resolved_ = found;
  }
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

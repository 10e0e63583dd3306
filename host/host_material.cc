#include "host/host_material.h"

#include <algorithm>

namespace syv {

namespace {

hostsdk::Color hostColor(const ColorRecord& c) { return hostsdk::Color(c.red, c.green, c.blue); }

}  // namespace

hostsdk::StdMat2* convertMaterial(const SceneMaterial& record) {
  using namespace hostsdk;
  StdMat2* m = NewDefaultStdMat();
  if (m == nullptr) return nullptr;
  m->SetName(CStr(record.name));
  // Plants are seen from both sides (leaves are single sheets) and show their
  // maps in the viewport.
  m->LockAmbDiffTex(TRUE);
  m->SetTwoSided(TRUE);
  m->SetFaceMap(FALSE);
  m->SetMtlFlag(MTL_TEX_DISPLAY_ENABLED | MTL_HW_TEX_ENABLED, TRUE);
  m->SetWire(FALSE);

  m->SetAmbient(hostColor(record.ambient), 0);
  m->SetDiffuse(hostColor(record.diffuse), 0);
  m->SetSpecular(hostColor(record.specular), 0);
  const ColorRecord& e = record.emission;
  if (e.red > 1e-6f || e.green > 1e-6f || e.blue > 1e-6f) {
    m->SetSelfIllumColorOn(TRUE);
    m->SetSelfIllumColor(hostColor(e), 0);
  }

  if (!record.textureFile.empty()) {
    BitmapTex* bitmap = NewDefaultBitmapTex();
    MultiTex* tint = bitmap ? NewDefaultTintTex() : nullptr;
    if (tint == nullptr) {
      // A host that refuses maps gives the plain material.
      delete bitmap;
      return m;
    }
    bitmap->SetMapName(record.textureFile.c_str());
    bitmap->ReloadBitmapAndUpdate();
    bitmap->SetMtlFlag(MTL_TEX_DISPLAY_ENABLED | MTL_HW_TEX_ENABLED, TRUE);
    bitmap->SetAlphaAsMono(TRUE);
    bitmap->SetPremultAlpha(TRUE);
    bitmap->SetAlphaSource(ALPHA_NONE);
    bitmap->SetFilterType(1);

    const Color d = hostColor(record.diffuse);
    tint->SetColor(0, Color(d.r, 0.0f, 0.0f));
    tint->SetColor(1, Color(0.0f, d.g, 0.0f));
    tint->SetColor(2, Color(0.0f, 0.0f, d.b));
    tint->SetSubTexmap(0, bitmap);
    m->SetSubTexmap(ID_DI, tint);
    Bitmap* image = bitmap->GetBitmap(0);
    if (image && (image->Storage().Flags() & MAP_HAS_ALPHA)) m->SetSubTexmap(ID_OP, bitmap);
    m->SetActiveTexmap(m->GetSubTexmap(ID_DI));
  }
  return m;
}

hostsdk::MultiMtl* buildMultiMaterial(const std::string& name,
                                      const std::map<int32_t, SceneMaterial>& table,
                                      std::vector<std::string>& warnings) {
  hostsdk::MultiMtl* multi = hostsdk::NewDefaultMultiMtl();
  if (multi == nullptr) return nullptr;
  multi->SetName(hostsdk::CStr(name));
  int32_t slots = 0;
  for (const auto& entry : table) {
    const int32_t id = entry.first;
    if (id < 0 || id >= kMaxSubMaterials) {
      warnings.push_back("Material \"" + entry.second.name + "\" has id " + std::to_string(id) +
                         ", beyond the " + std::to_string(kMaxSubMaterials) +
                         " sub-materials of the host; left out");
      continue;
    }
    slots = std::max(slots, id + 1);
  }
  if (!multi->SetNumSubMtls(slots)) {
    warnings.push_back("Could not make room for " + std::to_string(slots) + " sub-materials");
    return multi;
  }
  for (const auto& entry : table) {
    if (entry.first < 0 || entry.first >= slots) continue;
    hostsdk::StdMat2* m = convertMaterial(entry.second);
    if (m == nullptr) {
      warnings.push_back("Could not create the host material \"" + entry.second.name + "\"");
      continue;
    }
    multi->SetSubMtl(entry.first, m);
  }
  return multi;
}

}  // namespace syv

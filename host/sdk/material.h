// Materials and texture maps of the host: the standard material, the
// multi-material, the bitmap texture and the tint texture.
//
// Ownership: materials and maps are reference counted. A reference is taken
// by whatever holds one (a node's material, a sub-material or sub-map slot)
// and dropped when that slot changes or its holder dies; an object dies when
// its last reference goes. An object that was never referenced lives until
// DeleteUnreferencedMaterials() (the Scene calls it when it is destroyed).
#pragma once

#include <string>
#include <vector>

#include "host/sdk/types.h"

namespace hostsdk {

// Material flag bits (MtlBase::SetMtlFlag).
constexpr ULONG MTL_TEX_DISPLAY_ENABLED = 0x8;
constexpr ULONG MTL_HW_TEX_ENABLED = 0x100000;

// Sub-map slots of the standard material.
constexpr int ID_AM = 0;  // ambient
constexpr int ID_DI = 1;  // diffuse
constexpr int ID_SP = 2;  // specular
constexpr int ID_SH = 3;  // shininess
constexpr int ID_SS = 4;  // shininess strength
constexpr int ID_SI = 5;  // self-illumination
constexpr int ID_OP = 6;  // opacity
constexpr int STD_NUM_MAPS = 12;

enum class MtlKind { StdMat, MultiMtl, BitmapTex, TintTex };

class Texmap;

class HOSTSDK_API MtlBase {
 public:
  MtlBase(const MtlBase&) = delete;
  MtlBase& operator=(const MtlBase&) = delete;
  virtual ~MtlBase();

  MtlKind kind() const { return kind_; }
  void SetName(const CStr& name) { name_ = name; }
  const CStr& GetName() const { return name_; }
  void SetMtlFlag(ULONG mask, BOOL value = TRUE);
  BOOL TestMtlFlag(ULONG mask) const { return (flags_ & mask) == mask ? TRUE : FALSE; }

  // Sub-maps by slot; a slot outside 0..NumSubTexmaps()-1 holds nothing.
  int NumSubTexmaps() const { return static_cast<int>(maps_.size()); }
  Texmap* GetSubTexmap(int i) const;
  void SetSubTexmap(int i, Texmap* map);

  void AddRef() { ++refs_; }
  // Drops one reference; the object is deleted when none remain.
  void Release();
  int refCount() const { return refs_; }

 protected:
  MtlBase(MtlKind kind, int mapSlots);

 private:
  MtlKind kind_;
  CStr name_;
  ULONG flags_ = 0;
  int refs_ = 0;
  std::vector<Texmap*> maps_;
};

class HOSTSDK_API Mtl : public MtlBase {
 public:
  virtual int NumSubMtls() const { return 0; }
  virtual Mtl* GetSubMtl(int) const { return nullptr; }
  virtual void SetSubMtl(int, Mtl*) {}

 protected:
  using MtlBase::MtlBase;
};

class HOSTSDK_API Texmap : public MtlBase {
 protected:
  using MtlBase::MtlBase;
};

// The standard material (host class StdMat2).
class HOSTSDK_API StdMat2 : public Mtl {
 public:
  StdMat2();
  void SetAmbient(const Color& c, TimeValue) { ambient_ = c; }
  void SetDiffuse(const Color& c, TimeValue) { diffuse_ = c; }
  void SetSpecular(const Color& c, TimeValue) { specular_ = c; }
  Color GetAmbient(TimeValue) const { return ambient_; }
  Color GetDiffuse(TimeValue) const { return diffuse_; }
  Color GetSpecular(TimeValue) const { return specular_; }
  void SetSelfIllumColorOn(BOOL on) { selfIllumOn_ = on; }
  BOOL GetSelfIllumColorOn() const { return selfIllumOn_; }
  void SetSelfIllumColor(const Color& c, TimeValue) { selfIllum_ = c; }
  Color GetSelfIllumColor(TimeValue) const { return selfIllum_; }
  // Display and shading settings.
  void LockAmbDiffTex(BOOL on) { lockAmbDiffTex_ = on; }
  void SetTwoSided(BOOL on) { twoSided_ = on; }
  void SetFaceMap(BOOL on) { faceMap_ = on; }
  void SetWire(BOOL on) { wire_ = on; }
  // The map shown in the viewport; not a reference (it is one of the sub-maps).
  void SetActiveTexmap(Texmap* map) { active_ = map; }
  Texmap* GetActiveTexmap() const { return active_; }

 private:
  Color ambient_{0.588f, 0.588f, 0.588f};
  Color diffuse_{0.588f, 0.588f, 0.588f};
  Color specular_{0.9f, 0.9f, 0.9f};
  Color selfIllum_;
  BOOL selfIllumOn_ = FALSE;
  BOOL lockAmbDiffTex_ = FALSE;
  BOOL twoSided_ = FALSE;
  BOOL faceMap_ = FALSE;
  BOOL wire_ = FALSE;
  Texmap* active_ = nullptr;
};

// Sub-materials by id; slots 0..NumSubMtls()-1.
class HOSTSDK_API MultiMtl : public Mtl {
 public:
  MultiMtl();
  ~MultiMtl() override;
  // Grows with empty slots or drops the slots past `count`; FALSE, unchanged,
  // when the memory cannot be had.
  BOOL SetNumSubMtls(int count);
  int NumSubMtls() const override { return static_cast<int>(subs_.size()); }
  Mtl* GetSubMtl(int id) const override;
  // Ignored for an id outside the slots.
  void SetSubMtl(int id, Mtl* m) override;

 private:
  std::vector<Mtl*> subs_;
};

// Information on a loaded image.
constexpr DWORD MAP_HAS_ALPHA = 0x2;
struct HOSTSDK_API BitmapInfo {
  int width = 0, height = 0;
  DWORD flags = 0;
  DWORD Flags() const { return flags; }
};
struct HOSTSDK_API Bitmap {
  BitmapInfo info;
  BitmapInfo& Storage() { return info; }
};

// An image file texture.
class HOSTSDK_API BitmapTex : public Texmap {
 public:
  BitmapTex();
  void SetMapName(const char* name);
  const char* GetMapName() const { return mapName_.c_str(); }
  // Looks the file up in the map folders and reads its header; afterwards
  // GetBitmap gives the image, or none when it was not found or not an image
  // the stb loader knows.
  void ReloadBitmapAndUpdate();
  Bitmap* GetBitmap(TimeValue) { return loaded_ ? &bitmap_ : nullptr; }
  // Sampling settings.
  void SetFilterType(int type) { filter_ = type; }
  void SetAlphaAsMono(BOOL on) { alphaAsMono_ = on; }
  void SetAlphaSource(int source) { alphaSource_ = source; }
  void SetPremultAlpha(BOOL on) { premult_ = on; }

 private:
  std::string mapName_;
  Bitmap bitmap_;
  bool loaded_ = false;
  int filter_ = 0;
  BOOL alphaAsMono_ = FALSE;
  int alphaSource_ = 0;
  BOOL premult_ = TRUE;
};

// Alpha sources of BitmapTex::SetAlphaSource.
constexpr int ALPHA_FILE = 0;
constexpr int ALPHA_RGB = 2;
constexpr int ALPHA_NONE = 3;

// The tint texture: sub-map 0 tinted channel by channel (the red, green and
// blue of the map scale channel colours 0, 1 and 2).
class HOSTSDK_API MultiTex : public Texmap {
 public:
  MultiTex();
  void SetColor(int channel, const Color& c);
  Color GetColor(int channel) const;

 private:
  Color colors_[3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
};

// Folders that BitmapTex::ReloadBitmapAndUpdate searches, in order, with
// findTexture (texture_lookup.h); it opens nothing outside them.
HOSTSDK_API void AddMapDir(const std::string& dir);
HOSTSDK_API void ClearMapDirs();

// Creation; nothing when the memory cannot be had or creation is failed on
// purpose (SetMaterialCreationFails, for tests of a host that refuses).
HOSTSDK_API StdMat2* NewDefaultStdMat();
HOSTSDK_API MultiMtl* NewDefaultMultiMtl();
HOSTSDK_API BitmapTex* NewDefaultBitmapTex();
HOSTSDK_API MultiTex* NewDefaultTintTex();
HOSTSDK_API void SetMaterialCreationFails(MtlKind kind, bool fails);

// Deletes every material and map that nothing references; returns how many.
HOSTSDK_API int DeleteUnreferencedMaterials();
// Materials and maps alive now (for leak checks).
HOSTSDK_API int LiveMaterialCount();

}  // namespace hostsdk

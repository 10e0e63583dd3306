// Basic types of the host SDK: numbers, points, colours, class ids, strings.
// This is the host application's side; plug-ins and the host both link it.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>

#define HOSTSDK_API __attribute__((visibility("default")))

namespace hostsdk {

using BOOL = int;
constexpr BOOL TRUE = 1;
constexpr BOOL FALSE = 0;
using DWORD = uint32_t;
using ULONG = unsigned long;
using SClass_ID = ULONG;
using MtlID = uint16_t;
using TimeValue = int;

// Super class ids the host knows.
constexpr SClass_ID GEOMOBJECT_CLASS_ID = 0x10;
constexpr SClass_ID SCENE_IMPORT_CLASS_ID = 0xa10;

// The version word a plug-in must report from LibVersion to be loaded.
constexpr ULONG HOST_VERSION_WORD = 0x17700d00;

struct HOSTSDK_API Point3 {
  float x = 0.0f, y = 0.0f, z = 0.0f;
  Point3() = default;
  Point3(float px, float py, float pz) : x(px), y(py), z(pz) {}
  float& operator[](int i) { return i == 0 ? x : (i == 1 ? y : z); }
  float operator[](int i) const { return i == 0 ? x : (i == 1 ? y : z); }
};
using UVVert = Point3;  // u, v, w

// An axis-aligned box; empty until a point is added.
struct HOSTSDK_API Box3 {
  Point3 pmin{1e30f, 1e30f, 1e30f};
  Point3 pmax{-1e30f, -1e30f, -1e30f};
  void Init() { *this = Box3(); }
  bool IsEmpty() const { return pmin.x > pmax.x; }
  // Inline: a mesh's bounds add every vertex, and a call each through the PLT showed.
  Box3& operator+=(const Point3& p) {
    pmin.x = std::min(pmin.x, p.x);
    pmin.y = std::min(pmin.y, p.y);
    pmin.z = std::min(pmin.z, p.z);
    pmax.x = std::max(pmax.x, p.x);
    pmax.y = std::max(pmax.y, p.y);
    pmax.z = std::max(pmax.z, p.z);
    return *this;
  }
};

struct HOSTSDK_API Color {
  float r = 0.0f, g = 0.0f, b = 0.0f;
  Color() = default;
  Color(float cr, float cg, float cb) : r(cr), g(cg), b(cb) {}
};

class HOSTSDK_API Class_ID {
 public:
  constexpr Class_ID() = default;
  constexpr Class_ID(ULONG a, ULONG b) : a_(a), b_(b) {}
  constexpr ULONG PartA() const { return a_; }
  constexpr ULONG PartB() const { return b_; }
  constexpr bool operator==(const Class_ID& o) const { return a_ == o.a_ && b_ == o.b_; }
  constexpr bool operator!=(const Class_ID& o) const { return !(*this == o); }

 private:
  ULONG a_ = 0, b_ = 0;
};

// The host's triangle-mesh object class.
constexpr Class_ID triObjectClassID(0x0009, 0);

// The host's byte string.
class HOSTSDK_API CStr {
 public:
  CStr() = default;
  CStr(const char* s) : s_(s ? s : "") {}
  CStr(std::string s) : s_(std::move(s)) {}
  const char* data() const { return s_.c_str(); }
  operator const char*() const { return s_.c_str(); }
  int Length() const { return static_cast<int>(s_.size()); }
  const std::string& str() const { return s_; }
  bool operator==(const CStr& o) const { return s_ == o.s_; }

 private:
  std::string s_;
};

// Splits "dir/name.ext" into "dir", "name" and ".ext"; any output may be null.
// Both '/' and '\\' separate folders; the extension is the text from the last
// '.' of the final component (empty when it has none).
HOSTSDK_API void SplitFilename(const CStr& name, CStr* path, CStr* file, CStr* ext);

}  // namespace hostsdk

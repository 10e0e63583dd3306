#include "host/sdk/types.h"

#include <algorithm>

namespace hostsdk {

Box3& Box3::operator+=(const Point3& p) {
  pmin.x = std::min(pmin.x, p.x);
  pmin.y = std::min(pmin.y, p.y);
  pmin.z = std::min(pmin.z, p.z);
  pmax.x = std::max(pmax.x, p.x);
  pmax.y = std::max(pmax.y, p.y);
  pmax.z = std::max(pmax.z, p.z);
  return *this;
}

void SplitFilename(const CStr& name, CStr* path, CStr* file, CStr* ext) {
  const std::string& s = name.str();
  size_t slash = s.find_last_of("/\\");
  std::string dir = slash == std::string::npos ? std::string() : s.substr(0, slash);
  std::string base = slash == std::string::npos ? s : s.substr(slash + 1);
  size_t dot = base.find_last_of('.');
  std::string extension;
  if (dot != std::string::npos) {
    extension = base.substr(dot);
    base.erase(dot);
  }
  if (path) *path = CStr(dir);
  if (file) *file = CStr(base);
  if (ext) *ext = CStr(extension);
}

}  // namespace hostsdk

#include "host/sdk/types.h"

namespace hostsdk {

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

#include "app/side_library.h"

#include <dlfcn.h>

#include <filesystem>
#include <map>

namespace syv::app {

std::string besideProgram(const std::string& library) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::path self = fs::read_symlink("/proc/self/exe", ec);
  const fs::path dir = ec ? fs::path(".") : self.parent_path();
  const fs::path installed = dir / ".." / "lib" / "syvimport" / library;
  if (!fs::exists(dir / library, ec) && fs::exists(installed, ec))
    return installed.lexically_normal().string();
  return (dir / library).string();
}

void* sideLibrarySymbol(const char* library, const char* symbol, std::string& error) {
  static std::map<std::string, void*> handles;
  void*& handle = handles[library];
  if (!handle) {
    const std::string path = besideProgram(library);
    handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
      const char* why = ::dlerror();  // names the file
      error = why ? why : path;
      return nullptr;
    }
  }
  void* fn = ::dlsym(handle, symbol);
  if (!fn) error = besideProgram(library) + " has no " + symbol;
  return fn;
}

}  // namespace syv::app

// Whole plant files the way the converter takes them: the plug-in loaded as a
// host loads it, limits passed as the converter passes them, then the scene
// exported to .glb in memory.
#include <dlfcn.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/exporter.h"
#include "app/plugin_import.h"

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

const std::string& inputPath() {
  static const std::string path = "/tmp/fuzz_convert_" + std::to_string(getpid()) + ".syv";
  return path;
}

// The plug-in stays loaded for the whole run: its coverage counters must
// outlive every import's own dlopen and dlclose.
const std::string& pluginPath() {
  static const std::string path = [] {
    std::string p = syv::app::defaultPluginPath();
    check(::dlopen(p.c_str(), RTLD_NOW | RTLD_LOCAL) != nullptr);
    syv::app::ImportLimits limits;
    limits.maxTriangles = 400000;
    limits.maxPlacements = 20000;
    syv::app::passLimitsToPlugin(limits);
    return p;
  }();
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string& plugin = pluginPath();
  FILE* file = std::fopen(inputPath().c_str(), "wb");
  if (file == nullptr) return 0;
  if (size > 0) std::fwrite(data, 1, size, file);
  std::fclose(file);

  syv::app::ImportCallbacks callbacks;
  // Textures only from the plant's own folder, as the converter does by default.
  const std::vector<std::string> folders{"/tmp"};
  syv::app::ImportResult imported =
      syv::app::importWithPlugin(plugin, inputPath(), folders, callbacks);
  check(imported.status != syv::app::ImportStatus::NoPlugin);
  if (imported.status != syv::app::ImportStatus::Done) return 0;
  check(imported.model.mesh.faces.size() <= 400000);

  syv::app::ExportRequest request;
  request.plantPath = inputPath();
  request.outputPath = "/nonexistent/fuzz.glb";
  request.format = syv::app::Format::Glb;
  request.textureFolders = folders;
  syv::app::ExportResult result;
  std::string error;
  check(syv::app::exportModel(imported.model, request, result, error));
  check(!result.files.empty() && !result.files.begin()->second.empty());
  return 0;
}

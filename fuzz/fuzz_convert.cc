// Whole plant files the way the converter takes them: the plug-in loaded as a
// host loads it, limits passed as the converter passes them, then the scene
// exported to .glb in memory.
#include <dlfcn.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "app/exporter.h"
#include "app/plugin_import.h"

namespace {

using fuzz::check;

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
  const std::string input = fuzz::writeInput("fuzz_convert", data, size);
  if (input.empty()) return 0;

  syv::app::ImportCallbacks callbacks;
  // Textures only from the plant's own folder, as the converter does by default.
  const std::vector<std::string> folders{"/tmp"};
  syv::app::ImportResult imported =
      syv::app::importWithPlugin(plugin, input, folders, callbacks);
  check(imported.status != syv::app::ImportStatus::NoPlugin);
  if (imported.status != syv::app::ImportStatus::Done) return 0;
  check(imported.model.mesh.faces.size() <= 400000);

  syv::app::ExportRequest request;
  request.plantPath = input;
  // Its temporary beside it is removed with `result`.
  request.outputPath = input + ".glb";
  request.format = syv::app::Format::Glb;
  request.textureFolders = folders;
  syv::app::ExportResult result;
  std::string error;
  check(syv::app::exportModel(imported.model, request, result, error));
  check(result.spooled.size() == 1 && result.spooled[0]->size() > 0);
  return 0;
}

// Runs an import the way a host application does: loads the plug-in library
// with dlopen, finds its scene-import class through the exported functions,
// calls DoImport with prompts suppressed into the stand-in host scene, and
// copies the node it produced into a Model.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/model.h"

namespace syv::app {

struct ImportCallbacks {
  std::function<void(const std::string& title)> progressBegin;
  std::function<void(int percent, const std::string& text)> progressUpdate;
  std::function<void()> progressEnd;
  std::function<bool()> cancelled;
  // Lines the plug-in wrote to the host's log.
  std::function<void(bool isError, const std::string& text)> message;
};

enum class ImportStatus { Done, Failed, Cancelled, NoPlugin };

struct ImportResult {
  ImportStatus status = ImportStatus::Failed;
  Model model;
  std::string error;  // NoPlugin / Failed: why, when known
};

// The plug-in beside the running program (a build tree) or, for an installed
// tree, in ../lib/syvimport from it: found wherever the tree is copied.
std::string defaultPluginPath();

// `textureFolders` are the host's map folders, searched in order for bitmaps.
ImportResult importWithPlugin(const std::string& pluginPath, const std::string& plantPath,
                              const std::vector<std::string>& textureFolders,
                              const ImportCallbacks& callbacks);

}  // namespace syv::app

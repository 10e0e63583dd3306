// Runs an import the way a host application does: loads the plug-in library
// with dlopen, finds its scene-import class through the exported functions,
// calls DoImport with prompts suppressed into the stand-in host scene, and
// copies the node it produced into a Model.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/model.h"
#include "app/statistics.h"

namespace syv::app {

struct ImportCallbacks {
  std::function<void(const std::string& title)> progressBegin;
  std::function<void(int percent, const std::string& text)> progressUpdate;
  std::function<void()> progressEnd;
  std::function<bool()> cancelled;
  // Lines the plug-in wrote to the host's log, but for the failure's reason
  // (ImportResult::error).
  std::function<void(bool isError, const std::string& text)> message;
  // The plug-in's file check: what the import ignores or guesses ("line N: ...").
  std::function<void(const std::string& text)> finding;
};

enum class ImportStatus { Done, Failed, Cancelled, NoPlugin };

struct ImportResult {
  ImportStatus status = ImportStatus::Failed;
  Model model;
  MeshTally tally;  // of the model's mesh, faces counted even when not copied
  std::string error;  // NoPlugin / Failed: why, when the plug-in said
};

// What an import may cost; the plug-in has the same defaults. 0 means no
// limit for triangles and placements.
struct ImportLimits {
  uint64_t maxTriangles = 10000000;
  uint64_t maxPlacements = 1000000;
  uint32_t maxDepth = 256;
  uint64_t maxLineLength = uint64_t{16} << 20;
};
// Expressions are evaluated by recursion: the depth stays far from the stack's end.
constexpr uint32_t kMaxDepthLimit = 10000;

// Hands the limits to the plug-in in its environment (SYV_MAX_TRIANGLES,
// SYV_MAX_PLACEMENTS, SYV_MAX_DEPTH, SYV_MAX_LINE_LENGTH), as a host's user
// would set them; every later import of this process sees them.
void passLimitsToPlugin(const ImportLimits& limits);

// The plug-in beside the running program (a build tree) or, for an installed
// tree, in ../lib/syvimport from it: found wherever the tree is copied.
std::string defaultPluginPath();

// `textureFolders` are the host's map folders, searched in order for bitmaps.
// Without `withFaces` the model's faces stay empty (the tally still counts
// them): enough for the statistics, and the faces are the costliest copy.
ImportResult importWithPlugin(const std::string& pluginPath, const std::string& plantPath,
                              const std::vector<std::string>& textureFolders,
                              const ImportCallbacks& callbacks, bool withFaces = true);

}  // namespace syv::app

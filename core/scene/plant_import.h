// One plant's import: owns the World, reads the file into a scene through the
// scene builder it derives from (readScene) and emits the geometry into a mesh
// sink (loadFile).
#pragma once

#include <cstdint>
#include <istream>
#include <set>
#include <string>
#include <vector>

#include "core/components/evaluation_context.h"
#include "core/io/key_frame.h"
#include "core/io/text_tree.h"
#include "core/mesh/mesh.h"
#include "core/scene/node_list_builder.h"
#include "core/scene/object_creation.h"
#include "core/scene/scene_node.h"
#include "core/scene/traversal.h"

namespace syv {

enum class ImportStatus {
  kComplete,
  kNotRun,          // no load has run yet
  kOpenFailed,      // the file could not be opened (nothing is logged)
  kNoKeyFrame,      // no "KeyFrame" or "Model" block was found (nothing is logged)
  kNoRoot,          // every record is someone's child, branch or rib
  kRootNotCreated,  // a root object could not be created
  kCancelled,       // the progress channel reported a cancel
  kBudgetExceeded,  // the plant needs more quads or node visits than allowed
  kLimitExceeded,   // a line, a block or an expression is beyond its limit
  kSinkRefused,     // the output mesh refused a reservation
};

const char* describeImportStatus(ImportStatus status);

// Wall seconds of the last load's stages, for measurement.
struct StageSeconds {
  double read = 0.0;      // the text tree and its records
  double build = 0.0;     // the scene's objects
  double generate = 0.0;  // components' geometry into the sink
  double finish = 0.0;    // the sink's finish (trimming, smoothing)
};

// What one import may cost. Each bound stops the import with an error line
// naming the figure; none truncates silently. The defaults keep any file
// within seconds and about 2 GB while leaving real plants untouched.
struct ImportOptions {
  // Geometry budget: quads the whole plant may emit (two triangles each).
  uint64_t maxQuads = 5000000;
  // Node visits of the traversal; shared subtrees are visited once per
  // placement, so a small file can ask for an exponential number.
  uint64_t maxVisits = 1000000;
  // Nesting of blocks in the file and of groups in one expression.
  uint32_t maxDepth = 256;
  std::size_t maxLineLength = std::size_t{16} * 1024 * 1024;
};

// Holds the World so that it exists before the NodeListBuilder base that
// refers to it.
struct WorldHolder {
  World worldRoot;
};

// One object serves one import.
class PlantImport : private WorldHolder, public NodeListBuilder {
 public:
  PlantImport();
  explicit PlantImport(const ImportOptions& options);
  ~PlantImport() override;

  // Reads the scene and emits its geometry into `sink`, then finishes the
  // sink. True only when everything was emitted; status() tells why not.
  bool loadFile(const EvaluationContext& context, const std::string& fileName, MeshSink& sink);
  // Reads the file and creates its scene under World; no geometry.
  bool readScene(const EvaluationContext& context, const std::string& fileName);

  // Walks one top-level block and everything it nests (without recursion),
  // collecting key frames into `table`.
  void walkSceneNode(uint32_t depth, const std::string& name, const TextNode& node,
                     KeyFrameTable& table);

  ImportStatus status() const { return status_; }
  const ImportOptions& options() const { return options_; }
  void setOptions(const ImportOptions& options) { options_ = options; }
  // Figures of the last traversal.
  const TraversalResult& traversalResult() const { return traversal_; }
  const StageSeconds& stageSeconds() const { return stages_; }
  // The creation-time material list: one "Default" entry per root first,
  // then the objects' own materials; the material ids index it.
  const std::vector<SceneMaterial>& materialList() const { return creation_.materials; }

 private:
  // The steps of readScene: the text into key frames (false, with the status
  // set, when a limit stopped it), the file-wide settings, and the roots.
  bool readKeyFrames(std::istream& in, KeyFrameTable& table);
  void readFileSettings(const std::vector<std::string>& lines);
  ImportStatus createRoots(const EvaluationContext& context, const RecordMap& records,
                           const std::set<std::string>& roots);
  // False, with the error logged, when an expression went beyond the depth.
  bool checkExpressionDepth();

  ImportOptions options_;
  ImportStatus status_ = ImportStatus::kNotRun;
  // What the file held, said when nothing visible comes of it.
  std::string objectsFound_;
  TraversalResult traversal_;
  CreationShared creation_;
  StageSeconds stages_;
};

}  // namespace syv

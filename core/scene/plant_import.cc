#include "core/scene/plant_import.h"

#include <algorithm>
#include <chrono>
#include <fstream>
#include <set>
#include <utility>

#include "core/base/expression.h"
#include "core/base/log.h"
#include "core/base/progress.h"
#include "core/io/value_types.h"

namespace syv {

namespace {

bool isGroupBlock(const std::string& name) {
  return name == "Queue" || name == "Unit" || name == "Entity" || name == "KeySequence";
}

}  // namespace

const char* describeImportStatus(ImportStatus status) {
  switch (status) {
    case ImportStatus::kComplete: return "complete";
    case ImportStatus::kNotRun: return "not run";
    case ImportStatus::kOpenFailed: return "the file could not be opened";
    case ImportStatus::kNoKeyFrame: return "the file holds no model";
    case ImportStatus::kNoRoot: return "no root object found";
    case ImportStatus::kRootNotCreated: return "a root object could not be created";
    case ImportStatus::kCancelled: return "cancelled";
    case ImportStatus::kBudgetExceeded: return "the geometry budget was exceeded";
    case ImportStatus::kLimitExceeded: return "a line, block or expression is beyond its limit";
    case ImportStatus::kSinkRefused: return "the output mesh refused a reservation";
  }
  return "unknown";
}

PlantImport::PlantImport() : PlantImport(ImportOptions()) {}

PlantImport::PlantImport(const ImportOptions& options)
    : NodeListBuilder(worldRoot), options_(options) {}

PlantImport::~PlantImport() = default;

void PlantImport::walkSceneNode(uint32_t depth, const std::string& name, const TextNode& node,
                                  KeyFrameTable& table) {
  struct Visit {
    const TextNode* node;
    std::size_t next;
    uint32_t depth;
  };
  std::vector<Visit> stack;
  auto visit = [&](uint32_t level, const std::string& blockName, const TextNode& block) {
    if (blockName == "KeyFrame") {
      storeKeyFrame(table, readKeyFrame(level, block));
      return;
    }
    if (blockName == "Model") {
      KeyFrameRecord record;
      readModel(level, block, &record);
      record.time = 0.0;
      storeKeyFrame(table, std::move(record));
      return;
    }
    if (!isGroupBlock(blockName)) return;
    if (blockName == "Queue") {
      for (const std::string& line : block.lines) {
        std::string value = line;
        if (popToken(value, ' ') == "Frames") setFrameCount(readInteger(trimBlanks(value)));
      }
    }
    stack.push_back({&block, 0, level});
  };
  visit(depth, name, node);
  while (!stack.empty()) {
    Visit& top = stack.back();
    if (top.next >= top.node->children.size()) {
      stack.pop_back();
      continue;
    }
    const auto& child = top.node->children[top.next++];
    visit(top.depth + 1, child.first, child.second);
  }
}

namespace {

// Records that no other record names as a child or a branch.
std::set<std::string> findRoots(const RecordMap& records) {
  std::set<std::string> roots;
  for (const auto& entry : records) roots.insert(entry.first);
  for (const auto& entry : records) {
    for (const std::string& child : entry.second.Children) roots.erase(child);
    for (const std::string& branch : entry.second.Parameters.BranchNames) roots.erase(branch);
  }
  return roots;
}

// "found 2 objects: "Camera" (Camera, root), "Stem" (Simple; unknown block
// "Tre")": enough for a user to see a misspelt kind or a missing root.
std::string describeObjects(const RecordMap& records, const std::set<std::string>& roots) {
  constexpr size_t kListed = 8;
  std::string text = "found " + std::to_string(records.size()) +
                     (records.size() == 1 ? " object" : " objects") + ":";
  size_t listed = 0;
  for (const auto& [name, record] : records) {
    if (++listed > kListed) {
      text += " ...";
      break;
    }
    text += (listed > 1 ? ", \"" : " \"") + name + "\" (" + record.Parameters.TypeName;
    if (roots.count(name)) text += ", root";
    for (size_t i = 0; i < record.OtherBlocks.size(); ++i)
      text += (i ? ", \"" : (record.OtherBlocks.size() > 1 ? "; unknown blocks \"" : "; unknown block \"")) +
              record.OtherBlocks[i] + "\"";
    text += ")";
  }
  return text;
}

double secondsSince(std::chrono::steady_clock::time_point& mark) {
  const auto now = std::chrono::steady_clock::now();
  const double s = std::chrono::duration<double>(now - mark).count();
  mark = now;
  return s;
}

}  // namespace

bool PlantImport::readKeyFrames(std::istream& in, KeyFrameTable& table) {
  TextNode root(0);
  TextLimits limits;
  limits.maxDepth = options_.maxDepth;
  limits.maxLineLength = options_.maxLineLength;
  const TextReadResult read = readTextTree(in, root, limits);
  if (read.status == TextReadStatus::kLineTooLong || read.status == TextReadStatus::kTooDeep) {
    LogChannel::error(
        "IMPORT: line " + std::to_string(read.line) +
        (read.status == TextReadStatus::kLineTooLong
             ? " is longer than " + std::to_string(limits.maxLineLength) +
                   " bytes (the line length limit; raise it with --max-line-length or "
                   "SYV_MAX_LINE_LENGTH)"
             : " opens a block nested deeper than " + std::to_string(limits.maxDepth) +
                   " (the depth limit; raise it with --max-depth or SYV_MAX_DEPTH)") +
        "; import stopped");
    status_ = ImportStatus::kLimitExceeded;
    return false;
  }
  // Whatever can be read is used; a read that stopped early is worth a line.
  if (!read.ok())
    LogChannel::warning("IMPORT: reading stopped at line " + std::to_string(read.line) + ": " +
                        describeTextReadStatus(read.status));
  else if (read.openBlocks > 0)
    LogChannel::warning("IMPORT: the file ends inside " + std::to_string(read.openBlocks) +
                        (read.openBlocks == 1 ? " open block" : " open blocks") +
                        " (cut off?); the plant is imported as far as it goes");
  readFileSettings(root.lines);
  for (const auto& child : root.children) walkSceneNode(0, child.first, child.second, table);
  return true;
}

void PlantImport::readFileSettings(const std::vector<std::string>& lines) {
  for (const std::string& line : lines) {
    std::string value = line;
    const std::string key = popToken(value, ' ');
    if (key == "Version") {
      std::string rest = value;
      const std::string major = popToken(rest, '.');
      LogChannel::info("Sylvo File Version : " + std::to_string(readInteger(major)) + "." +
                       std::to_string(readInteger(rest)));
    } else if (key == "Background") {
      const Vector3 c = readBareTriple(value);
      const double k = 0.00392156862745098;
      const float rgb[3] = {static_cast<float>(c.x * k), static_cast<float>(c.y * k),
                            static_cast<float>(c.z * k)};
      setBackgroundColor(rgb);
    }
  }
}

ImportStatus PlantImport::createRoots(const EvaluationContext& context, const RecordMap& records,
                                      const std::set<std::string>& roots) {
  creation_.createdNames.clear();
  for (const std::string& rootName : roots) {
    const ComponentRecord& record = records.at(rootName);
    creation_.materials.push_back(defaultMaterial());
    CreationContext root;
    root.hidden = record.Parameters.TypeName != "Camera";
    root.material = defaultMaterial();
    root.materialId = 0;
    const std::string name =
        createObject(context, *this, record, root, ChildPlacement(), records, creation_);
    if (name.empty())
      return creation_.cancelled ? ImportStatus::kCancelled : ImportStatus::kRootNotCreated;
    insertUnder(name, std::string());
  }
  return ImportStatus::kComplete;
}

bool PlantImport::readScene(const EvaluationContext& context, const std::string& fileName) {
  std::ifstream in(fileName, std::ios::binary);
  if (!in.is_open()) {
    stages_ = StageSeconds();
    status_ = ImportStatus::kOpenFailed;
    return false;
  }
  return readScene(context, in);
}

bool PlantImport::readScene(const EvaluationContext& context, std::istream& in) {
  setMaxExpressionDepth(static_cast<int>(std::min<uint32_t>(options_.maxDepth,
                                                            kMaxExpressionDepthLimit)));
  resetExpressionDepthExceeded();
  auto mark = std::chrono::steady_clock::now();
  stages_ = StageSeconds();
  ProgressChannel::begin("Loading...");
  ProgressChannel::update(0.0);
  // The progress range is closed on every path, so that a host's bar does not
  // stay open after a failed import.
  auto fail = [&](ImportStatus status) {
    status_ = status;
    ProgressChannel::end();
    return false;
  };
  KeyFrameTable table;
  if (!readKeyFrames(in, table)) return fail(status_);
  stages_.read = secondsSince(mark);
  if (table.empty()) return fail(ImportStatus::kNoKeyFrame);
  ProgressChannel::update(0.1);

  // Later key frames take no part; the table outlives every use of the
  // records, so they are used in place rather than copied.
  const RecordMap& records = table.begin()->second.components;
  const std::set<std::string> roots = findRoots(records);
  if (roots.empty()) {
    LogChannel::error("IMPORT: No Root Object(s) found!");
    return fail(ImportStatus::kNoRoot);
  }
  objectsFound_ = describeObjects(records, roots);
  const ImportStatus created = createRoots(context, records, roots);
  if (created != ImportStatus::kComplete) return fail(created);
  ProgressChannel::update(1.0);
  ProgressChannel::end();
  stages_.build = secondsSince(mark);
  if (!checkExpressionDepth()) return false;
  status_ = ImportStatus::kComplete;
  return true;
}

bool PlantImport::checkExpressionDepth() {
  if (!expressionDepthExceeded()) return true;
  LogChannel::error("IMPORT: an expression nests deeper than " +
                    std::to_string(maxExpressionDepth()) +
                    " (the depth limit; raise it with --max-depth or SYV_MAX_DEPTH); "
                    "import stopped");
  status_ = ImportStatus::kLimitExceeded;
  return false;
}

bool PlantImport::loadFile(const EvaluationContext& context, const std::string& fileName,
                             MeshSink& sink) {
  std::ifstream in(fileName, std::ios::binary);
  if (!in.is_open()) {
    traversal_ = TraversalResult();
    stages_ = StageSeconds();
    status_ = ImportStatus::kOpenFailed;
    return false;
  }
  return loadStream(context, in, sink);
}

bool PlantImport::loadStream(const EvaluationContext& context, std::istream& in, MeshSink& sink) {
  traversal_ = TraversalResult();
  if (!readScene(context, in)) return false;
  ProgressChannel::begin("Loading...");
  TraversalState state;
  state.sink = &sink;
  TraversalLimits limits;
  limits.maxQuads = options_.maxQuads;
  limits.maxVisits = options_.maxVisits;
  auto mark = std::chrono::steady_clock::now();
  traversal_ = traverse(world(), state, limits);
  stages_.generate = secondsSince(mark);
  sink.finish();
  stages_.finish = secondsSince(mark);
  ProgressChannel::end();
  if (traversal_.ok() && !checkExpressionDepth()) return false;
  if (traversal_.ok() && traversal_.quads == 0)
    LogChannel::warning("IMPORT: the plant has no visible geometry; " + objectsFound_ +
                        ". Only objects below a \"Camera\" root make geometry.");
  switch (traversal_.status) {
    case TraversalStatus::kComplete: status_ = ImportStatus::kComplete; break;
    case TraversalStatus::kSinkRefused: status_ = ImportStatus::kSinkRefused; break;
    case TraversalStatus::kBudgetExceeded: status_ = ImportStatus::kBudgetExceeded; break;
    case TraversalStatus::kCancelled: status_ = ImportStatus::kCancelled; break;
  }
  return traversal_.ok();
}

}  // namespace syv

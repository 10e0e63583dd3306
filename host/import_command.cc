#include "host/import_command.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>
#include <vector>

#include <algorithm>

#include "core/components/evaluation_context.h"
#include "core/scene/file_check.h"
#include "core/base/expression.h"
#include "core/scene/plant_import.h"
#include "host/host_material.h"
#include "host/host_mesh_writer.h"
#include "host/sdk/plugin.h"
#include "host/sdk/scene.h"

namespace syv {

namespace {

hostsdk::DWORD noWork(void*) { return 0; }

const char* kLogTitle = "SYV Import";
// Findings of the file check go to the log as information under their own
// title: a host shows them when asked to, and they never change the import.
const char* kCheckLogTitle = "SYV Check";

void logWarning(hostsdk::Interface* host, const std::string& text) {
  if (host && host->Log()) host->Log()->LogEntry(hostsdk::SYSLOG_WARN, kLogTitle, text.c_str());
}

// The one entry that says why the import failed: the host reads it by its code.
void logFailure(hostsdk::Interface* host, const std::string& reason) {
  if (host && host->Log())
    host->Log()->LogEntry(hostsdk::SYSLOG_ERROR, kLogTitle, reason.c_str(),
                          hostsdk::LOGCODE_IMPORT_FAILED);
}

// Uninstalls the channel sinks on every way out.
struct ChannelGuard {
  ~ChannelGuard() {
    ProgressChannel::clearSink();
    LogChannel::clearSink();
  }
};

// A limit from the plug-in's environment (a host has no other channel when
// prompts are suppressed). 0 for the budgets means none.
bool readLimit(hostsdk::Interface* host, const char* name, uint64_t& value) {
  const char* text = std::getenv(name);
  if (text == nullptr || *text == '\0') return true;
  errno = 0;
  char* end = nullptr;
  const unsigned long long v = std::strtoull(text, &end, 10);
  if (errno != 0 || *end != '\0' || *text == '-') {
    logFailure(host, std::string("IMPORT: ") + name + " is not a whole number: " + text);
    return false;
  }
  value = v;
  return true;
}

bool importOptionsFromEnvironment(hostsdk::Interface* host, ImportOptions& options) {
  uint64_t triangles = options.maxQuads * 2, placements = options.maxVisits;
  uint64_t depth = options.maxDepth, line = options.maxLineLength;
  if (!readLimit(host, "SYV_MAX_TRIANGLES", triangles) ||
      !readLimit(host, "SYV_MAX_PLACEMENTS", placements) ||
      !readLimit(host, "SYV_MAX_DEPTH", depth) || !readLimit(host, "SYV_MAX_LINE_LENGTH", line))
    return false;
  options.maxQuads = triangles == 0 ? UINT64_MAX : triangles / 2;
  options.maxVisits = placements == 0 ? UINT64_MAX : placements;
  options.maxDepth = static_cast<uint32_t>(std::clamp<uint64_t>(depth, 1, kMaxExpressionDepthLimit));
  options.maxLineLength = static_cast<std::size_t>(std::max<uint64_t>(line, 1));
  return true;
}


// What the file check finds goes to the log beside the import.
void logFileCheck(hostsdk::Interface* host, const std::string& name) {
  if (!host->Log()) return;
  std::vector<FileFinding> findings;
  try {
    findings = checkPlantFile(name);
  } catch (const std::bad_alloc&) {
    findings.push_back({0, "the file is too large to check; the import goes on without the check"});
  }
  for (const FileFinding& f : findings) {
    const std::string text = (f.line ? "line " + std::to_string(f.line) + ": " : std::string()) + f.text;
    host->Log()->LogEntry(hostsdk::SYSLOG_INFO, kCheckLogTitle, text.c_str());
  }
}

enum class Loaded { kYes, kFailed, kCancelled };

// The core's import into the object's mesh; on failure the mesh is emptied
// and the last error logged is the failure's reason.
Loaded loadPlant(hostsdk::Interface* host, const std::string& name, const ImportOptions& options,
                 PlantImport& builder, hostsdk::TriObject& tri) {
  EvaluationContext context;
  context.setNumber(kIdUnitScale, 100.0);
  HostProgressSink progress(host);
  HostLogSink log(host);
  HostMeshWriter writer(tri.GetMesh());
  writer.setQuadLimit(options.maxQuads);
  bool loaded = false;
  ImportStatus status = ImportStatus::kNotRun;
  {
    ChannelGuard guard;
    ProgressChannel::setSink(&progress);
    LogChannel::setSink(&log);
    loaded = builder.loadFile(context, name, writer);
    status = builder.status();
    if (!loaded && status != ImportStatus::kCancelled && status != ImportStatus::kNoRoot &&
        status != ImportStatus::kBudgetExceeded && status != ImportStatus::kLimitExceeded) {
      // The core logs these itself, with their figures; name the others.
      log.error(std::string("IMPORT: ") + describeImportStatus(status) + ": " + name);
    }
  }
  // loadFile does not look at finish's result: a mesh left untrimmed holds
  // faces nobody wrote.
  const hostsdk::Mesh& mesh = tri.GetMesh();
  if (loaded && (mesh.getNumFaces() != static_cast<int>(writer.faceCount()) ||
                 mesh.getNumVerts() != static_cast<int>(writer.vertexCount()) ||
                 mesh.getNumTVerts() != static_cast<int>(writer.textureVertexCount()))) {
    loaded = false;
    log.error("IMPORT: the host mesh could not be finished: " + name);
  }
  const bool cancelled = status == ImportStatus::kCancelled;
  log.release(!loaded && !cancelled);
  if (!loaded) {
    // The object goes back when the scene drops what nothing placed.
    tri.GetMesh() = hostsdk::Mesh();
    return cancelled ? Loaded::kCancelled : Loaded::kFailed;
  }
  if (writer.clampedFaces() > 0)
    logWarning(host, std::to_string(writer.clampedFaces()) +
                         " quads have material ids beyond the host's 16 bits; clamped");
  return Loaded::kYes;
}

// A node for the imported mesh, named after the file and unique in the
// scene, with the plant's materials; not yet in the scene.
hostsdk::INode* makeNode(hostsdk::ImpInterface* importInterface, hostsdk::Interface* host,
                         const std::string& name, hostsdk::TriObject* tri,
                         const PlantImport& builder) {
  using namespace hostsdk;
  INode* node = importInterface->CreateNode();
  if (node == nullptr) return nullptr;
  node->SetObjectRef(tri);
  CStr path, file, ext;
  SplitFilename(CStr(name), &path, &file, &ext);
  CStr nodeName = file;
  host->MakeNameUnique(nodeName);
  node->SetName(nodeName);
  std::vector<std::string> warnings;
  MultiMtl* multi = buildMultiMaterial(file.str(), builder.materialTable(), warnings);
  for (const std::string& w : warnings) logWarning(host, w);
  if (multi) node->SetMtl(multi);
  return node;
}

}  // namespace

void HostProgressSink::begin(const std::string& text) {
  host_->ProgressStart(text.c_str(), hostsdk::TRUE, noWork, nullptr);
}

void HostProgressSink::end() { host_->ProgressEnd(); }

void HostProgressSink::update(double fraction) {
  const int p = static_cast<int>(fraction * 100.0);
  if (p != last_) {
    host_->ProgressUpdate(p, hostsdk::TRUE, nullptr);
    last_ = p;
  }
}

bool HostProgressSink::cancelled() { return host_->GetCancel() != 0; }

HostLogSink::~HostLogSink() { release(false); }

void HostLogSink::error(const std::string& text) {
  release(false);
  held_ = text;
  holding_ = true;
}

void HostLogSink::release(bool failed) {
  if (!holding_) return;
  holding_ = false;
  if (failed)
    logFailure(host_, held_);
  else if (host_->Log())
    host_->Log()->LogEntry(hostsdk::SYSLOG_ERROR, kLogTitle, held_.c_str());
}

void HostLogSink::warning(const std::string& text) { logWarning(host_, text); }

hostsdk::INT_PTR optionsDialogProc(hostsdk::HWND dialog, hostsdk::UINT message,
                                   hostsdk::WPARAM wParam, hostsdk::LPARAM) {
  using namespace hostsdk;
  switch (message) {
    case WM_INITDIALOG:
      CheckRadioButton(dialog, kMergeRadio, kReplaceRadio, kMergeRadio);
      CenterWindow(dialog, GetParent(dialog));
      SetFocus(dialog);
      return TRUE;
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDOK:
          EndDialog(dialog, 1);
          return TRUE;
        case IDCANCEL:
          EndDialog(dialog, 0);
          return TRUE;
      }
      break;
  }
  return FALSE;
}

int runImport(hostsdk::HINSTANCE instance, const char* fileName,
              hostsdk::ImpInterface* importInterface, hostsdk::Interface* host,
              bool suppressPrompts) {
  using namespace hostsdk;
  if (importInterface == nullptr || host == nullptr) return IMPEXP_FAIL;
  if (!suppressPrompts &&
      DialogBoxParamA(instance, kOptionsDialog, host->GetMainHWnd(), optionsDialogProc, 0) == 0) {
    ProgressChannel::clearSink();
    return IMPEXP_CANCEL;
  }
  const std::string name = fileName ? fileName : "";
  // An empty name can never give a node; stop before the work.
  if (name.empty()) {
    logFailure(host, "IMPORT: no file name was given");
    return IMPEXP_FAIL;
  }
  auto* object = static_cast<Object*>(importInterface->Create(GEOMOBJECT_CLASS_ID, triObjectClassID));
  auto* tri = object && object->ClassID() == triObjectClassID ? static_cast<TriObject*>(object)
                                                              : nullptr;
  if (tri == nullptr) {
    logFailure(host, "IMPORT: the host made no mesh object");
    return IMPEXP_FAIL;
  }
  ImportOptions options;
  if (!importOptionsFromEnvironment(host, options)) return IMPEXP_FAIL;
  logFileCheck(host, name);

  auto builder = std::make_unique<PlantImport>(options);
  const Loaded loaded = loadPlant(host, name, options, *builder, *tri);
  if (loaded != Loaded::kYes) return loaded == Loaded::kCancelled ? IMPEXP_CANCEL : IMPEXP_FAIL;
  // Measurement only: the stages of the import on stderr.
  if (std::getenv("SYV_STAGE_TIMES")) {
    const StageSeconds& s = builder->stageSeconds();
    std::fprintf(stderr, "stages: read %.4f build %.4f generate %.4f finish %.4f\n", s.read,
                 s.build, s.generate, s.finish);
  }
  std::map<int32_t, int> zeroScale;
  normalizeTextureCoordinates(tri->GetMesh(), builder->materialTable(), &zeroScale);
  for (const auto& entry : zeroScale)
    logWarning(host, "Material id " + std::to_string(entry.first) +
                         " has a texture scale of 0; 1 is used instead");

  INode* node = makeNode(importInterface, host, name, tri, *builder);
  if (node == nullptr) {
    tri->GetMesh() = hostsdk::Mesh();
    logFailure(host, "IMPORT: the host made no node");
    return IMPEXP_FAIL;
  }
  builder.reset();
  importInterface->AddNodeToScene(node);
  return IMPEXP_SUCCESS;
}

}  // namespace syv

// syvimport: converts a plant file by loading the importer plug-in as a host
// does, then exporting the scene it produced.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <set>

#include "app/batch.h"
#include "app/exporter.h"
#include "app/input_check.h"
#include "app/options.h"
#include "app/output_files.h"
#include "app/plugin_import.h"
#include "app/preview.h"
#include "app/progress_line.h"
#include "app/statistics.h"
#include "app/textures.h"

namespace {

using namespace syv::app;

enum Exit { kDone = 0, kImportFailed = 1, kUsage = 2, kWriteFailed = 3, kCancelled = 130 };

volatile std::sig_atomic_t gInterrupted = 0;

void onInterrupt(int) {
  gInterrupted = 1;
  // A second Ctrl-C ends the program at once.
  std::signal(SIGINT, SIG_DFL);
}

double secondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

class Reporter {
 public:
  Reporter(const Options& o, ProgressLine& progress) : quiet_(o.quiet), progress_(progress) {}
  void warning(const std::string& text) { warning(text, text); }
  // Shown even with --quiet: it changes what the output looks like.
  void loudWarning(const std::string& text) {
    warnings_.push_back(text);
    progress_.clear();
    std::cerr << "Warning: " << text << "\n";
  }
  void error(const std::string& text) {
    progress_.clear();
    std::cerr << "Error: " << text << "\n";
  }
  // Lines the plug-in logged are shown with the file they are about (a batch
  // of conversions interleaves them) and listed as logged.
  void loggedWarning(const std::string& file, const std::string& text) {
    warning(text, file + ": " + text);
  }
  void loggedError(const std::string& file, const std::string& text) {
    warnings_.push_back("Error: " + text);
    error(file + ": " + text);
  }
  const std::vector<std::string>& warnings() const { return warnings_; }

 private:
  void warning(const std::string& listed, const std::string& shown) {
    warnings_.push_back(listed);
    if (quiet_) return;
    progress_.clear();
    std::cerr << "Warning: " << shown << "\n";
  }

  bool quiet_;
  ProgressLine& progress_;
  std::vector<std::string> warnings_;
};

int cancelled(Reporter& report, const Options& o) {
  report.error(o.input + ": cancelled; nothing was written");
  return kCancelled;
}

// True (with the error said) when --strict turns the warnings so far into a failure.
bool strictFails(Reporter& report, const Options& o) {
  const size_t n = report.warnings().size();
  if (!o.strict || n == 0) return false;
  report.error(o.input + ": " + std::to_string(n) + (n == 1 ? " warning" : " warnings") +
               " with --strict; nothing was written");
  return true;
}

bool sameFile(const std::string& a, const std::string& b) {
  namespace fs = std::filesystem;
  std::error_code ec;
  if (fs::equivalent(a, b, ec)) return true;
  return fs::absolute(a, ec).lexically_normal() == fs::absolute(b, ec).lexically_normal();
}

// Files a run writes besides --stats-json: the output and its companion.
std::vector<std::string> outputFiles(const Options& o) {
  std::vector<std::string> files;
  if (o.output.empty()) return files;
  const size_t count = o.lodFiles ? o.lod.size() + 1 : 1;
  for (size_t l = 0; l < count; ++l) {
    const std::string file = l ? lodFilePath(o.output, l) : o.output;
    files.push_back(file);
    if (o.format == Format::Gltf || o.format == Format::Obj)
      files.push_back(std::filesystem::path(file)
                          .replace_extension(o.format == Format::Gltf ? ".bin" : ".mtl")
                          .string());
  }
  return files;
}

std::string sizeText(size_t bytes) {
  char buf[32];
  if (bytes < 1024) std::snprintf(buf, sizeof buf, "%zu bytes", bytes);
  else if (bytes < 1024 * 1024) std::snprintf(buf, sizeof buf, "%.1f KiB", bytes / 1024.0);
  else std::snprintf(buf, sizeof buf, "%.1f MiB", bytes / (1024.0 * 1024.0));
  return buf;
}

// Textures the plant names but the lookup does not find: one warning per name.
void reportMissingTextures(const Model& model, const std::vector<std::string>& folders,
                           Reporter& report, const Options& o) {
  std::set<std::string> seen;
  for (const MaterialInfo& m : model.materials)
    if (!m.texture.empty() && seen.insert(m.texture).second &&
        resolveTexture(folders, m.texture).empty())
      report.loudWarning(o.input + ": " + textureNotFound(folders, m.texture));
}

// Refuses outputs that would overwrite the plant or each other, a file that
// cannot be a plant, and output folders that do not exist: kDone to go on,
// else the exit status.
int checkFiles(const Options& o, Reporter& report) {
  // Refused before anything is read: an output over the plant would destroy it.
  std::vector<std::string> writes = outputFiles(o);
  if (!o.statsJson.empty()) writes.push_back(o.statsJson);
  for (size_t i = 0; i < writes.size(); ++i) {
    std::string clash = sameFile(writes[i], o.input) ? "the plant file itself" : "";
    for (size_t j = 0; j < i && clash.empty(); ++j)
      if (sameFile(writes[i], writes[j])) clash = "another output of this run";
    if (!clash.empty()) {
      report.error(writes[i] + ": is " + clash + "; choose another name (nothing was touched)");
      return kUsage;
    }
  }
  if (const std::string why = checkPlantFile(o.input); !why.empty()) {
    report.error(o.input + ": " + why);
    return kImportFailed;
  }
  for (const std::string* out : {&o.output, &o.statsJson}) {
    if (out->empty()) continue;
    if (const std::string why = checkOutputFolder(*out); !why.empty()) {
      report.error(*out + ": " + why);
      return kWriteFailed;
    }
  }
  return kDone;
}

struct Imported {
  ImportResult result;
  std::vector<std::string> findings;  // the plug-in's file check
  double seconds = 0;
};

// Runs the plug-in on the plant. What it logged is reported once it ends, so
// that a failure closes with the one line that names the file.
Imported importPlant(const Options& o, const std::vector<std::string>& folders,
                     ProgressLine& progress, Reporter& report) {
  std::signal(SIGINT, onInterrupt);
  Imported imported;
  std::vector<std::pair<bool, std::string>> logged;
  ImportCallbacks callbacks;
  callbacks.progressBegin = [&](const std::string& title) { progress.begin(title); };
  callbacks.progressUpdate = [&](int pct, const std::string& text) { progress.update(pct, text); };
  callbacks.progressEnd = [&] { progress.end(); };
  callbacks.cancelled = [] { return gInterrupted != 0; };
  callbacks.message = [&](bool isError, const std::string& text) { logged.emplace_back(isError, text); };
  callbacks.finding = [&](const std::string& text) { imported.findings.push_back(text); };

  passLimitsToPlugin(o.limits);
  progress.stage("Importing " + o.input);
  const auto start = std::chrono::steady_clock::now();
  // Only an export and a picture read the faces; the statistics' tally counts them anyway.
  const bool withFaces = !o.output.empty() || !o.lib.preview.empty();
  imported.result = importWithPlugin(o.plugin.empty() ? defaultPluginPath() : o.plugin, o.input,
                                     folders, callbacks, withFaces);
  imported.seconds = secondsSince(start);
  progress.clear();
  for (const auto& [isError, text] : logged) {
    if (isError) report.loggedError(o.input, text);
    else report.loggedWarning(o.input, text);
  }
  return imported;
}

// Warnings about the model itself: no geometry, textures not found.
void reportModel(const Model& model, size_t triangles, const std::vector<std::string>& folders,
                 Reporter& report, const Options& o) {
  // The importer's own line says what the file held; this one is for a
  // plug-in that says nothing.
  const auto& said = report.warnings();
  if (triangles == 0 &&
      std::none_of(said.begin(), said.end(), [](const std::string& w) {
        return w.find("no visible geometry") != std::string::npos;
      }))
    report.warning(o.input + ": the plant has no visible geometry; the output holds no mesh");
  reportMissingTextures(model, folders, report, o);
}

struct Exported {
  double seconds = 0;
  size_t bytes = 0;
  size_t triangles = 0;
  std::vector<size_t> levelTriangles;
};

// Exports and writes the output: kDone, or the exit status of what stopped it.
int exportPlant(const Options& o, Model& model, const std::vector<std::string>& folders,
                ProgressLine& progress, Reporter& report, Exported& exported) {
  progress.stage(std::string("Exporting ") + formatName(o.format));
  const auto start = std::chrono::steady_clock::now();
  ExportRequest request;
  request.plantPath = o.input;
  request.textureFolders = folders;
  request.copyTextures = o.copyTextures;
  request.outputPath = o.output;
  request.format = o.format;
  request.scale = o.scale;
  request.lodShares = o.lod;
  request.lodFiles = o.lodFiles;
  request.compress = o.compress;
  request.progress = [&](int percent, const std::string& step) { progress.update(percent, step); };
  ExportResult result;
  std::string error;
  // Nothing reads the mesh after the export but a picture.
  const bool done = o.lib.preview.empty() ? exportModelConsuming(model, request, result, error)
                                          : exportModel(model, request, result, error);
  if (!done) {
    report.error(o.output + ": " + error);
    return kWriteFailed;
  }
  for (const std::string& w : result.warnings) report.warning(w);
  if (gInterrupted) return cancelled(report, o);
  if (strictFails(report, o)) return kImportFailed;
  progress.update(90, "files");
  if (!writeFilesInPlace(result.files, o.output, error, &result.spooled)) {
    report.error(error);
    return kWriteFailed;
  }
  exported.seconds = secondsSince(start);
  progress.clear();
  exported.triangles = result.triangles;
  exported.levelTriangles = result.levelTriangles;
  for (const auto& file : result.files) exported.bytes += file.second.size();
  for (const auto& file : result.spooled) exported.bytes += file->size();
  return kDone;
}

// "Wrote out.glb: 36 triangles, 3 materials, 12.5 KiB in 0.02 s".
void printSummary(const Options& o, const Statistics& stats, const Exported& exported,
                  double importSeconds) {
  auto counted = [](size_t n, const char* what) {
    return std::to_string(n) + " " + what + (n == 1 ? "" : "s");
  };
  std::string summary = (o.output.empty() ? "Imported " + o.input : "Wrote " + o.output) + ": " +
                        counted(exported.triangles, "triangle") + ", " +
                        counted(stats.materials.size(), "material");
  char line[160];
  if (!exported.levelTriangles.empty()) {
    summary += " (levels";
    for (size_t n : exported.levelTriangles) summary += " " + std::to_string(n);
    summary += ")";
  }
  if (!o.output.empty()) summary += ", " + sizeText(exported.bytes);
  std::snprintf(line, sizeof line, " in %.2f s", importSeconds + exported.seconds);
  summary += line;
  if (o.verbose) {
    std::snprintf(line, sizeof line, " (import %.2f s, export %.2f s), ", importSeconds,
                  exported.seconds);
    summary += line + counted(stats.warnings.size(), "warning");
  }
  std::cerr << summary << "\n";
}

int convert(const Options& o) {
  ProgressLine progress(stderr, !o.quiet && !o.noProgress && ::isatty(STDERR_FILENO));
  Reporter report(o, progress);
  if (const int status = checkFiles(o, report); status != kDone) return status;

  const std::vector<std::string> folders = textureFolders(o.input, o.textureDirs);
  Imported imported = importPlant(o, folders, progress, report);
  if (o.lib.check) {
    for (const std::string& f : imported.findings) std::cout << o.input << ": " << f << "\n";
    std::cout << std::flush;
  } else if (o.verbose) {
    for (const std::string& f : imported.findings) report.loggedWarning(o.input, f);
  }
  ImportResult& result = imported.result;
  if (result.status == ImportStatus::Cancelled || gInterrupted) return cancelled(report, o);
  if (result.status == ImportStatus::NoPlugin) {
    report.error(result.error);
    return kImportFailed;
  }
  if (result.status != ImportStatus::Done) {
    report.error(o.input + ": " + (result.error.empty() ? "could not be imported" : result.error));
    return kImportFailed;
  }
  if (o.lib.check) {
    if (imported.findings.empty() && !o.quiet) std::cerr << o.input << ": nothing to report\n";
    return imported.findings.empty() ? kDone : kImportFailed;
  }
  Model& model = result.model;
  Statistics stats = computeStatistics(model, &result.tally);  // before the export empties the mesh
  reportModel(model, stats.triangles, folders, report, o);
  if (strictFails(report, o)) return kImportFailed;

  Exported exported;
  exported.triangles = stats.triangles;
  if (!o.output.empty()) {
    if (const int status = exportPlant(o, model, folders, progress, report, exported); status != kDone)
      return status;
  }
  if (!o.lib.preview.empty()) {
    PreviewRequest request{folders, o.lib.preview, o.lib.width, o.lib.height};
    request.view = o.previewView;
    if (o.previewLevel) request.lodShare = o.lod[o.previewLevel - 1];
    if (std::string error; !writePreview(model, request, error))
      report.warning(o.lib.preview + ": " + error);
  }

  stats.warnings = report.warnings();
  stats.importSeconds = imported.seconds;
  stats.exportSeconds = exported.seconds;
  // Only when asked for: a plant of many materials makes a long document.
  const std::string json = o.stats || !o.statsJson.empty() ? statisticsJson(stats) + "\n" : "";
  if (!o.statsJson.empty()) {
    std::string error;
    if (!writeFilesInPlace({{o.statsJson, json}}, o.statsJson, error)) {
      report.error(error);
      return kWriteFailed;
    }
  }
  if (o.stats) std::cout << json << std::flush;
  if (!o.quiet) printSummary(o, stats, exported, imported.seconds);
  return kDone;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  int status = 0;
  if (parseCommandLine(argc, argv, options, status) == ParseOutcome::Exit) return status;
  if (options.lib.batch) return runBatch(options);
  return convert(options);
}

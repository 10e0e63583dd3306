// syvimport: converts a plant file by loading the importer plug-in as a host
// does, then exporting the scene it produced.
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <iostream>

#include "app/exporter.h"
#include "app/input_check.h"
#include "app/options.h"
#include "app/output_files.h"
#include "app/plugin_import.h"
#include "app/progress_line.h"
#include "app/statistics.h"

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

int convert(const Options& o) {
  ProgressLine progress(stderr, !o.quiet && !o.noProgress && ::isatty(STDERR_FILENO));
  Reporter report(o, progress);

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

  std::signal(SIGINT, onInterrupt);
  ImportCallbacks callbacks;
  callbacks.progressBegin = [&](const std::string& title) { progress.begin(title); };
  callbacks.progressUpdate = [&](int pct, const std::string& text) { progress.update(pct, text); };
  callbacks.progressEnd = [&] { progress.end(); };
  callbacks.cancelled = [] { return gInterrupted != 0; };
  // Held until the import ends, so that a failure closes with the one line
  // that names the file.
  std::vector<std::pair<bool, std::string>> logged;
  callbacks.message = [&](bool isError, const std::string& text) { logged.emplace_back(isError, text); };

  passLimitsToPlugin(o.limits);
  progress.stage("Importing " + o.input);
  const auto importStart = std::chrono::steady_clock::now();
  ImportResult imported = importWithPlugin(o.plugin.empty() ? defaultPluginPath() : o.plugin,
                                           o.input, callbacks);
  const double importSeconds = secondsSince(importStart);
  progress.clear();
  const bool failed = imported.status != ImportStatus::Done;
  std::string lastError;
  for (size_t i = 0; i < logged.size(); ++i) {
    const auto& [isError, text] = logged[i];
    if (!isError) {
      report.loggedWarning(o.input, text);
      continue;
    }
    if (failed) lastError = text;
    bool laterError = false;
    for (size_t j = i + 1; j < logged.size(); ++j) laterError = laterError || logged[j].first;
    if (!failed || laterError) report.loggedError(o.input, text);
  }
  if (imported.status == ImportStatus::Cancelled || gInterrupted) return cancelled(report, o);
  if (imported.status == ImportStatus::NoPlugin) {
    report.error(imported.error);
    return kImportFailed;
  }
  if (failed) {
    std::string why = imported.error;
    if (why.empty()) why = lastError.empty() ? "could not be imported" : lastError;
    report.error(o.input + ": " + why);
    return kImportFailed;
  }
  const Model& model = imported.model;
  if (model.mesh.faces.empty())
    report.warning(o.input +
                   ": the plant has no visible geometry (only objects below a \"Camera\" root "
                   "produce geometry); the output holds no mesh");

  double exportSeconds = 0;
  std::vector<std::string> exportWarnings;
  if (!o.output.empty()) {
    progress.stage(std::string("Exporting ") + formatName(o.format));
    const auto exportStart = std::chrono::steady_clock::now();
    ExportRequest request;
    request.plantPath = o.input;
    request.outputPath = o.output;
    request.format = o.format;
    request.scale = o.scale;
    ExportResult result;
    std::string error;
    if (!exportModel(model, request, result, error)) {
      report.error(o.output + ": " + error);
      return kWriteFailed;
    }
    for (const std::string& w : result.warnings) report.warning(w);
    if (gInterrupted) return cancelled(report, o);
    if (!writeFilesInPlace(result.files, o.output, error)) {
      report.error(error);
      return kWriteFailed;
    }
    exportSeconds = secondsSince(exportStart);
    progress.clear();
  }

  Statistics stats = computeStatistics(model);
  stats.warnings = report.warnings();
  stats.importSeconds = importSeconds;
  stats.exportSeconds = exportSeconds;
  const std::string json = statisticsJson(stats) + "\n";
  if (!o.statsJson.empty()) {
    std::string error;
    if (!writeFilesInPlace({{o.statsJson, json}}, o.statsJson, error)) {
      report.error(error);
      return kWriteFailed;
    }
  }
  if (o.stats) std::cout << json << std::flush;
  return kDone;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  int status = 0;
  if (parseCommandLine(argc, argv, options, status) == ParseOutcome::Exit) return status;
  return convert(options);
}

#include "app/batch.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <thread>

#include "app/exporter.h"
#include "app/gallery.h"
#include "app/textures.h"

extern char** environ;

namespace syv::app {

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

// A member of a record that may come from an edited manifest: null when
// missing or when `j` is no object.
const json& field(const json& j, const char* key) {
  static const json none;
  return j.is_object() && j.contains(key) ? j[key] : none;
}

volatile std::sig_atomic_t gStop = 0;
void onStop(int) { gStop = 1; }

bool isPlantFile(const fs::path& p) {
  std::string ext = p.extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
  return ext == ".syv";
}

// Modification time in nanoseconds; -1 when the file is missing.
long long modified(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return -1;
  return (long long)st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec;
}

std::string lastErrorLine(const std::string& text) {
  std::string found;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(start, end - start);
    if (line.rfind("Error: ", 0) == 0) found = line.substr(7);
    start = end + 1;
  }
  return found.empty() ? "the conversion failed" : found;
}

// The manifest's last record of each input.
std::map<std::string, json> readManifest(const std::string& path) {
  std::map<std::string, json> records;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    json j = json::parse(line, nullptr, false);
    if (j.is_object() && j.contains("input") && j["input"].is_string()) records[j["input"]] = j;
  }
  return records;
}

// Up to date: the earlier run converted it, and its output (and picture) are
// newer than the plant and every texture that run found.
bool upToDate(const json& record, const std::string& input, const std::string& output,
              const std::string& preview, const std::vector<std::string>& textureDirs) {
  if (!field(record, "status").is_string()) return false;
  const std::string status = record["status"];
  if (status != "converted" && status != "skipped") return false;
  const long long out = modified(output);
  if (out < 0 || out <= modified(input)) return false;
  if (!preview.empty() && modified(preview) < 0) return false;
  const json& materials = field(field(record, "statistics"), "materials");
  if (!materials.is_array()) return false;
  const std::vector<std::string> folders = textureFolders(input, textureDirs);
  for (const json& m : materials) {
    if (!field(m, "texture").is_string()) continue;
    const std::string found = resolveTexture(folders, field(m, "texture").get<std::string>());
    if (!found.empty() && modified(found) >= out) return false;
  }
  return true;
}

struct Job {
  size_t plant = 0;
  pid_t pid = -1;
  std::string statsFile, errFile;
  std::chrono::steady_clock::time_point start;
};

class StatusLine {
 public:
  explicit StatusLine(bool enabled) : enabled_(enabled) {}
  ~StatusLine() { clear(); }
  void show(size_t done, size_t all, const std::vector<std::string>& running) {
    if (!enabled_) return;
    std::string text = "[" + std::to_string(done) + "/" + std::to_string(all) + "]";
    for (const std::string& r : running) text += " " + r;
    if (text.size() > 78) text = text.substr(0, 75) + "...";
    std::fprintf(stderr, "\r%-*s", int(std::max(text.size(), width_)), text.c_str());
    std::fflush(stderr);
    width_ = text.size();
  }
  void clear() {
    if (!enabled_ || width_ == 0) return;
    std::fprintf(stderr, "\r%*s\r", int(width_), "");
    std::fflush(stderr);
    width_ = 0;
  }

 private:
  bool enabled_;
  size_t width_ = 0;
};

std::string selfPath() {
  std::error_code ec;
  const fs::path self = fs::read_symlink("/proc/self/exe", ec);
  return ec ? std::string("syvimport") : self.string();
}

}  // namespace

std::vector<BatchPlant> collectPlants(const std::vector<std::string>& inputs, bool recursive) {
  std::vector<BatchPlant> plants;
  for (const std::string& in : inputs) {
    std::error_code ec;
    if (!fs::is_directory(in, ec)) {
      // A relative path below the current folder is kept, so that slices of
      // one list fill one output tree; any other path gives its bare name.
      fs::path rel = fs::path(in).lexically_normal();
      if (rel.is_absolute() || rel.empty() || *rel.begin() == "..") rel = rel.filename();
      rel.replace_extension();
      BatchPlant p{in, rel.generic_string(), {}};
      if (!fs::exists(in, ec)) p.error = "no such file";
      plants.push_back(p);
      continue;
    }
    std::vector<BatchPlant> found;
    auto add = [&](const fs::directory_entry& e) {
      if (!e.is_regular_file(ec) || !isPlantFile(e.path())) return;
      fs::path rel = e.path().lexically_relative(in);
      rel.replace_extension();
      found.push_back({e.path().string(), rel.generic_string(), {}});
    };
    const auto options = fs::directory_options::skip_permission_denied;
    if (recursive) {
      for (const auto& e : fs::recursive_directory_iterator(in, options, ec)) add(e);
    } else {
      for (const auto& e : fs::directory_iterator(in, options, ec)) add(e);
    }
    std::sort(found.begin(), found.end(),
              [](const BatchPlant& a, const BatchPlant& b) { return a.relative < b.relative; });
    plants.insert(plants.end(), found.begin(), found.end());
  }
  return plants;
}

namespace {

// The arguments of the child syvimport that converts one plant of the batch.
std::vector<std::string> childArguments(const Options& o, const std::string& self,
                                        const std::string& input, const std::string& output,
                                        const std::string& preview, const std::string& statsFile) {
  char scale[64];
  std::snprintf(scale, sizeof scale, "%.17g", o.scale);
  std::vector<std::string> args = {self, input, "-o", output, "--format", formatName(o.format),
                                   "--stats-json", statsFile, "--quiet", "--no-progress",
                                   "--scale", scale};
  if (!o.plugin.empty()) args.insert(args.end(), {"--plugin", o.plugin});
  if (!preview.empty())
    args.insert(args.end(), {"--preview", preview, "--size",
                             std::to_string(o.lib.width) + "x" + std::to_string(o.lib.height)});
  if (o.verbose) args.push_back("-v");
  if (o.strict) args.push_back("--strict");
  if (!o.copyTextures) args.push_back("--no-copy-textures");
  if (!o.lod.empty()) {
    std::string shares;
    for (double share : o.lod) {
      char text[32];
      std::snprintf(text, sizeof text, "%s%.17g", shares.empty() ? "" : ",", share);
      shares += text;
    }
    args.insert(args.end(), {"--lod", shares});
    if (o.lodFiles) args.push_back("--lod-files");
  }
  if (o.compress) args.push_back("--compress");
  for (const std::string& dir : o.textureDirs) args.insert(args.end(), {"--texture-dir", dir});
  return args;
}

// Starts the child with its output dropped and its errors in the job's file.
bool spawnChild(Job& job, std::vector<std::string> args) {
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, job.errFile.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0600);
  job.start = std::chrono::steady_clock::now();
  const int rc = posix_spawn(&job.pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  return rc == 0;
}

// One "Failed:" line per failure, the gallery and the totals line; the
// number of failures (a gallery that cannot be written counts as one).
size_t reportTotals(const LibraryOptions& l, const std::vector<json>& records, size_t plants,
                    double seconds, bool quiet) {
  std::error_code ec;
  size_t converted = 0, failed = 0, skipped = 0, triangles = 0;
  std::vector<json> finished;
  for (const json& r : records) {
    if (r.is_null()) continue;
    finished.push_back(r);
    const std::string s = r["status"];
    if (s == "cancelled") continue;
    if (s == "failed") {
      ++failed;
      std::cerr << "Failed: " << r["error"].get<std::string>() << "\n";
      continue;
    }
    (s == "skipped" ? skipped : converted)++;
    if (const json& t = field(r["statistics"], "triangles"); t.is_number_unsigned()) triangles += t.get<size_t>();
  }
  const size_t notRun = plants - converted - failed - skipped;
  if (!l.gallery.empty()) {
    std::string error;
    if (const fs::path parent = fs::path(l.gallery).parent_path(); !parent.empty())
      fs::create_directories(parent, ec);
    if (!writeGallery(l.gallery, finished, error)) {
      std::cerr << "Error: " << error << "\n";
      ++failed;
    }
  }
  if (!quiet || failed > 0) {
    char line[256];
    std::snprintf(line, sizeof line,
                  "%zu converted, %zu failed, %zu skipped%s; %zu triangles; %.2f s\n", converted,
                  failed, skipped,
                  notRun ? (", " + std::to_string(notRun) + " not run (stopped)").c_str() : "",
                  triangles, seconds);
    std::cerr << line;
  }
  return failed;
}

// One batch: each plant's output and picture, and its record once finished,
// appended to the manifest as it comes.
class BatchRun {
 public:
  explicit BatchRun(const Options& o)
      : o_(o), plants_(collectPlants(o.lib.inputs, o.lib.recursive)), outputs_(plants_.size()),
        previews_(plants_.size()), records_(plants_.size()) {
    const std::string ext = formatName(o.format);
    for (size_t i = 0; i < plants_.size(); ++i) {
      outputs_[i] = (fs::path(o.output) / (plants_[i].relative + "." + ext)).lexically_normal().string();
      if (o.lib.previews)
        previews_[i] = (fs::path(o.output) / (plants_[i].relative + ".png")).lexically_normal().string();
    }
  }

  // The earlier records of the manifest, which is then opened for appending;
  // false when it cannot be written.
  bool openManifest(std::map<std::string, json>& earlier) {
    const std::string& path = o_.lib.manifest;
    earlier = readManifest(path);
    std::error_code ec;
    if (const fs::path parent = fs::path(path).parent_path(); !parent.empty())
      fs::create_directories(parent, ec);
    manifest_.open(path, std::ios::app);
    if (!manifest_) std::cerr << "Error: " << path << ": cannot write the manifest\n";
    return bool(manifest_);
  }

  // The plants to convert; the others are recorded now, as failed or skipped.
  std::vector<size_t> queue(const std::map<std::string, json>& earlier) {
    std::vector<size_t> queue;
    std::map<std::string, size_t> byOutput;
    for (size_t i = 0; i < plants_.size(); ++i) {
      if (!plants_[i].error.empty()) {
        finish(i, "failed", nullptr, plants_[i].input + ": " + plants_[i].error, 0);
        continue;
      }
      auto [it, fresh] = byOutput.try_emplace(outputs_[i], i);
      if (!fresh) {
        finish(i, "failed", nullptr,
               plants_[i].input + ": same output as " + plants_[it->second].input + " (" + outputs_[i] + ")", 0);
        continue;
      }
      auto e = earlier.find(plants_[i].input);
      if (!o_.lib.force && e != earlier.end() &&
          upToDate(e->second, plants_[i].input, outputs_[i], previews_[i], o_.textureDirs)) {
        finish(i, "skipped", field(e->second, "statistics"), "", 0);
        continue;
      }
      queue.push_back(i);
    }
    return queue;
  }

  // Converts the queued plants, each in a child syvimport, a few at a time,
  // until all are done or the user stops the batch.
  void convert(const std::vector<size_t>& queue, const std::string& tmp) {
    const std::string self = selfPath();
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    const size_t slots = o_.lib.jobs > 0 ? size_t(o_.lib.jobs) : cores;
    StatusLine status(!o_.quiet && !o_.noProgress && ::isatty(STDERR_FILENO));
    std::vector<Job> running;
    size_t next = 0, done = plants_.size() - queue.size();
    auto draw = [&] {
      std::vector<std::string> names;
      for (const Job& j : running) names.push_back(fs::path(plants_[j.plant].input).filename().string());
      status.show(done, plants_.size(), names);
    };
    while ((next < queue.size() && !gStop) || !running.empty()) {
      while (next < queue.size() && running.size() < slots && !gStop) {
        Job job;
        if (!start(queue[next++], tmp, self, job)) {
          ++done;
          continue;
        }
        running.push_back(job);
        draw();
      }
      if (running.empty()) break;
      int wstatus = 0;
      const pid_t pid = ::waitpid(-1, &wstatus, 0);
      if (pid < 0) {
        if (errno == EINTR) continue;
        break;
      }
      auto it = std::find_if(running.begin(), running.end(), [&](const Job& j) { return j.pid == pid; });
      if (it == running.end()) continue;
      const Job job = *it;
      running.erase(it);
      ++done;
      collect(job, wstatus);
      draw();
    }
    status.clear();
  }

  // The totals and the gallery; the number of failures.
  size_t report(double seconds) const { return reportTotals(o_.lib, records_, plants_.size(), seconds, o_.quiet); }

 private:
  void finish(size_t i, const std::string& status, json stats, const std::string& error, double seconds) {
    json& r = records_[i];
    r = json::object();
    r["input"] = plants_[i].input;
    r["output"] = status == "failed" ? json(nullptr) : json(outputs_[i]);
    r["preview"] = previews_[i].empty() || status == "failed" ? json(nullptr) : json(previews_[i]);
    r["status"] = status;
    r["error"] = error.empty() ? json(nullptr) : json(error);
    r["warnings"] = stats.is_object() && stats.contains("warnings") ? stats["warnings"] : json::array();
    r["statistics"] = stats;
    r["seconds"] = seconds;
    if (manifest_.is_open()) {
      manifest_ << r.dump(-1, ' ', false, json::error_handler_t::replace) << "\n";
      manifest_.flush();
    }
  }

  // Starts the child for plant `i`; false (and recorded as failed) when it cannot.
  bool start(size_t i, const std::string& tmp, const std::string& self, Job& job) {
    job.plant = i;
    job.statsFile = tmp + "/" + std::to_string(i) + ".json";
    job.errFile = tmp + "/" + std::to_string(i) + ".err";
    std::error_code ec;
    fs::create_directories(fs::path(outputs_[i]).parent_path(), ec);
    if (spawnChild(job, childArguments(o_, self, plants_[i].input, outputs_[i], previews_[i], job.statsFile)))
      return true;
    finish(i, "failed", nullptr, plants_[i].input + ": cannot start " + self, 0);
    return false;
  }

  // Records how a child ended: converted, failed with its last error, or cancelled.
  void collect(const Job& job, int wstatus) {
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - job.start).count();
    std::string err, statsText;
    readFile(job.errFile, err);
    readFile(job.statsFile, statsText);
    const bool ok = WIFEXITED(wstatus) && WEXITSTATUS(wstatus) == 0;
    const bool interrupted = gStop && ((WIFSIGNALED(wstatus) && WTERMSIG(wstatus) == SIGINT) ||
                                       (WIFEXITED(wstatus) && WEXITSTATUS(wstatus) == 130));
    if (interrupted) {
      finish(job.plant, "cancelled", nullptr, "", seconds);
    } else if (ok) {
      json stats = json::parse(statsText, nullptr, false);
      finish(job.plant, "converted", stats.is_discarded() ? json(nullptr) : stats, "", seconds);
    } else {
      std::string why = lastErrorLine(err);
      if (WIFSIGNALED(wstatus))
        why = plants_[job.plant].input + ": the import process ended by signal " + std::to_string(WTERMSIG(wstatus));
      finish(job.plant, "failed", nullptr, why, seconds);
    }
    std::remove(job.errFile.c_str());
    std::remove(job.statsFile.c_str());
  }

  const Options& o_;
  const std::vector<BatchPlant> plants_;
  std::vector<std::string> outputs_, previews_;
  std::vector<json> records_;
  std::ofstream manifest_;
};

}  // namespace

int runBatch(const Options& o) {
  BatchRun batch(o);
  std::map<std::string, json> earlier;
  if (!o.lib.manifest.empty() && !batch.openManifest(earlier)) return 3;
  const std::vector<size_t> queue = batch.queue(earlier);

  char tmpl[] = "/tmp/syvimport-batch-XXXXXX";
  const char* tmp = ::mkdtemp(tmpl);
  if (!tmp) {
    std::cerr << "Error: cannot make a temporary folder\n";
    return 3;
  }
  auto oldInt = std::signal(SIGINT, onStop);
  auto oldTerm = std::signal(SIGTERM, onStop);
  const auto batchStart = std::chrono::steady_clock::now();
  batch.convert(queue, tmp);
  std::signal(SIGINT, oldInt);
  std::signal(SIGTERM, oldTerm);
  std::error_code ec;
  fs::remove_all(tmp, ec);

  const size_t failed =
      batch.report(std::chrono::duration<double>(std::chrono::steady_clock::now() - batchStart).count());
  if (gStop) return 130;
  return failed > 0 ? 1 : 0;
}

}  // namespace syv::app

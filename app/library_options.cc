#include "app/library_options.h"

#include <CLI/CLI.hpp>
#include <filesystem>

#include "app/options.h"

namespace syv::app {

void addLibraryOptions(CLI::App& app, Options& o, std::string& size) {
  LibraryOptions& l = o.lib;
  app.add_option("-j,--jobs", l.jobs, "batch: imports run at once (default: the number of cores)");
  app.add_flag("--recursive", l.recursive, "batch: search folders for .syv files recursively");
  app.add_option("--manifest", l.manifest,
                 "batch: append one JSON line per plant to FILE; resume skips up-to-date outputs");
  app.add_flag("--force", l.force, "batch: convert even outputs that are up to date");
  app.add_flag("--previews", l.previews, "batch: write <name>.png beside each output");
  app.add_option("--gallery", l.gallery, "batch: write a static HTML page of the plants to FILE");
  app.add_option("--preview", l.preview, "render the plant to a PNG picture");
  app.add_option("--size", size, "size of pictures, WxH (default 512x512)");
  app.add_flag("--check", l.check, "report what the import ignores or guesses, with line numbers");
}

namespace {

bool parseSize(const std::string& text, int& w, int& h) {
  const size_t x = text.find_first_of("xX");
  if (x == std::string::npos) return false;
  try {
    size_t a = 0, b = 0;
    w = std::stoi(text.substr(0, x), &a);
    h = std::stoi(text.substr(x + 1), &b);
    if (a != x || b != text.size() - x - 1) return false;
  } catch (const std::exception&) {
    return false;
  }
  return w >= 16 && h >= 16 && w <= 8192 && h <= 8192;
}

}  // namespace

std::string finishLibraryOptions(Options& o, const std::string& size) {
  LibraryOptions& l = o.lib;
  if (!size.empty() && !parseSize(size, l.width, l.height))
    return "--size must be WxH, each from 16 to 8192 (e.g. 512x512)";
  bool folder = false;
  for (const std::string& in : l.inputs) folder = folder || std::filesystem::is_directory(in);
  // A folder given with an output file name is a mistaken single conversion.
  Format named;
  const bool outputFile = !o.output.empty() && o.output.back() != '/' &&
                          !std::filesystem::is_directory(o.output) && formatFromPath(o.output, named);
  l.batch = l.inputs.size() > 1 || (folder && !outputFile) || l.previews || !l.gallery.empty() ||
            !l.manifest.empty();
  o.input = l.inputs.empty() ? std::string() : l.inputs.front();
  if (l.jobs < 0) return "-j must be 0 or more";
  if (l.check) {
    if (l.batch) return "--check takes one plant file";
    if (!o.output.empty() || o.stats || !o.statsJson.empty() || !l.preview.empty())
      return "--check only reads the plant: no -o, --stats, --stats-json or --preview with it";
    return {};
  }
  if (!l.batch) {
    if (l.recursive || l.force || l.jobs != 0)
      return "-j, --recursive and --force are for batches (several plants or a folder)";
    return {};
  }
  if (o.output.empty()) return "a batch needs -o OUTDIR/";
  if (!l.preview.empty()) return "--preview is for one plant; a batch uses --previews";
  if (o.stats || !o.statsJson.empty())
    return "--stats and --stats-json are for one plant; a batch has --manifest";
  if (std::filesystem::exists(o.output) && !std::filesystem::is_directory(o.output))
    return o.output + ": a batch writes into a folder, and this is a file";
  return {};
}

}  // namespace syv::app

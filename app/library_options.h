// Options of the plant-library work: batches, pictures, the gallery and the
// file check. Kept apart from the single-conversion options.
#pragma once

#include <string>
#include <vector>

namespace CLI {
class App;
}

namespace syv::app {

struct Options;

struct LibraryOptions {
  std::vector<std::string> inputs;  // every plant or folder given
  bool batch = false;               // several plants, a folder, or a batch-only option
  int jobs = 0;                     // 0: the number of cores
  bool recursive = false;
  std::string manifest;
  bool force = false;
  bool previews = false;            // batch: <name>.png beside each output
  std::string gallery;
  std::string preview;              // single plant: the picture's path
  int width = 512, height = 512;
  bool check = false;
};

void addLibraryOptions(CLI::App& app, Options& options, std::string& size);

// Completes and checks the library options after parsing; empty when
// consistent, otherwise the usage error.
std::string finishLibraryOptions(Options& options, const std::string& size);

}  // namespace syv::app

// Many plants at once: each import runs in a child process of its own (the
// core keeps process-wide state), up to -j at a time; the parent schedules,
// collects each child's statistics, writes the manifest and the gallery.
#pragma once

#include <string>
#include <vector>

#include "app/options.h"

namespace syv::app {

struct BatchPlant {
  std::string input;     // as found: the given path, or the folder joined with its relative path
  std::string relative;  // under the output folder, without extension
  std::string error;     // found wrong before any work (a missing input)
};

// The plants of the inputs in the order given; a folder's .syv files in name
// order (all levels with `recursive`).
std::vector<BatchPlant> collectPlants(const std::vector<std::string>& inputs, bool recursive);

// The whole batch; 0 when every plant converted (or was up to date), 1 when
// any failed, 2 or 3 when the batch could not start (usage, manifest).
int runBatch(const Options& options);

}  // namespace syv::app

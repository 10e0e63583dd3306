// The file check: reads a plant file the way the import does and lists, with
// line numbers, what the import silently ignores or guesses. It changes
// nothing of the import; the plug-in runs it beside every import.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "core/io/text_tree.h"

namespace syv {

struct FileFinding {
  uint64_t line = 0;  // 1-based; 0 for the file as a whole
  std::string text;
};

// In file order, then the findings about the records' links (missing
// children, cycles, hidden roots) in name order. `limits` should be the
// import's own, so that the check stops where the import does.
std::vector<FileFinding> checkPlantText(std::istream& in, const TextLimits& limits = TextLimits());

// Nothing when the file cannot be opened (the import reports that).
std::vector<FileFinding> checkPlantFile(const std::string& fileName,
                                        const TextLimits& limits = TextLimits());

// The known name nearest to `name` (a likely typo), or empty.
std::string nearestName(const std::string& name, const std::vector<std::string>& known);

}  // namespace syv

// Bounds on the counts that drive allocation and loops in the components.
//
// A small file can ask for any number of segments or branches; these bounds
// keep one component's output within memory and time while leaving every
// count a real plant uses (up to thousands of segments) untouched.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

namespace syv {

// Points along one body's path (stem nodes, horn and leaf segments).
constexpr double kMaxPathPoints = 100000.0;
// Branches, ribs, arms or other children placed by one component.
constexpr double kMaxChildCount = 10000.0;
// Points of one cross-section outline or profile.
constexpr double kMaxOutlinePoints = 100000.0;
// Quads and vertices one sweep may emit (about 0.3 GB in a quad mesh with
// texture faces); a sweep beyond either is skipped as a whole.
constexpr uint64_t kMaxSweepQuads = 2000000;
constexpr uint64_t kMaxSweepVertices = 2000000;

// Brings a count read from a file into [0, maximum]. NaN and negative values
// become 0, larger values (infinity included) become maximum. A changed value
// is reported as a warning naming `what` (e.g. "ClassicTree 'oak': segments").
// Fractions are kept: callers truncate as their rule says.
double clampCount(double value, double maximum, const std::string& what);
// The same with `what()` called only when it warns: leaves and horns are many.
template <typename Describe, typename = decltype(std::string(std::declval<Describe>()()))>
double clampCount(double value, double maximum, const Describe& what) {
  if (value >= 0.0 && value <= maximum) return value;
  return clampCount(value, maximum, what());
}

}  // namespace syv

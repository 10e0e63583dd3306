// Small builders shared by the sweep and tree tests.
#pragma once

#include <cmath>
#include <string>
#include <utility>

#include "core/components/evaluation_context.h"
#include "core/expr/curve.h"
#include "core/expr/log.h"
#include "core/mesh/outline.h"

namespace syv {

inline CurveParameter constant(double v) { return CurveParameter(0.0, 4.0, v, v, "id"); }

// Counts the warnings logged while it lives.
struct CountingLog : LogSink {
  CountingLog() { LogChannel::setSink(this); }
  ~CountingLog() override { LogChannel::clearSink(); }
  void error(const std::string&) override {}
  void warning(const std::string&) override { ++warnings; }
  void trace(const std::string&) override {}
  void info(const std::string&) override {}
  int warnings = 0;
};

// One contour per entry: n points on the unit circle, u = k / n.
inline Outline circles(std::initializer_list<std::pair<uint32_t, bool>> contours) {
  uint32_t total = 0, i = 0, c = 0;
  for (auto& contour : contours) total += contour.first;
  Outline o;
  o.resize(total, uint32_t(contours.size()));
  for (auto& contour : contours) {
    o.setContour(c++, contour.first, contour.second);
    for (uint32_t k = 0; k < contour.first; ++k, ++i) {
      const double a = 2 * 3.14159265358979323846 * k / contour.first;
      o.setPoint(i, double(k) / contour.first, {std::cos(a), std::sin(a), 0.0});
    }
  }
  return o;
}

// A linked primitive shape holding an outline.
struct OutlineShape : SceneObject {
  explicit OutlineShape(Outline o) : outline(std::move(o)) {}
  std::string name() const override { return "shape"; }
  Matrix4 transform() const override { return Matrix4(); }
  const Outline* shape() const override { return &outline; }
  const Mesh* mesh() const override { return nullptr; }
  Outline outline;
};

}  // namespace syv

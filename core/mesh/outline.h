// Cross-section outlines: contours of points with a texture coordinate each,
// swept along paths by the tube-building components.
#pragma once

#include <cstdint>
#include <vector>

#include "core/base/math.h"

namespace syv {

struct OutlinePoint {
  double u = 0.0;
  Vector3 position;
};

struct OutlineContour {
  uint32_t pointCount = 0;
  uint8_t closed = 0;
};

// The points of all contours stand in one vector, contour after contour.
class Outline {
 public:
  uint32_t contourCount() const { return static_cast<uint32_t>(contours_.size()); }
  uint32_t contourPointCount(uint32_t c) const {
    return c < contours_.size() ? contours_[c].pointCount : 0;
  }
  bool isContourClosed(uint32_t c) const {
    return c < contours_.size() && contours_[c].closed != 0;
  }
  uint32_t pointCount() const { return static_cast<uint32_t>(points_.size()); }
  bool getPoint(uint32_t i, double& u, Vector3& position) const {
    if (i >= points_.size()) return false;
    u = points_[i].u;
    position = points_[i].position;
    return true;
  }
  const OutlinePoint* points() const { return points_.data(); }
  const OutlineContour* contours() const { return contours_.data(); }
  bool setPoint(uint32_t i, double u, const Vector3& position) {
    if (i >= points_.size()) return false;
    points_[i] = {u, position};
    return true;
  }
  bool setContour(uint32_t c, uint32_t pointCount, bool closed) {
    if (c >= contours_.size()) return false;
    contours_[c] = {pointCount, static_cast<uint8_t>(closed ? 1 : 0)};
    return true;
  }
  void resize(uint32_t pointCount, uint32_t contourCount) {
    points_.resize(pointCount);
    contours_.resize(contourCount);
  }
  // Every point transformed by the matrix (as a point).
  void transform(const Matrix4& m) {
    for (OutlinePoint& p : points_) p.position = m.transformPoint(p.position);
  }

 private:
  std::vector<OutlinePoint> points_;
  std::vector<OutlineContour> contours_;
};

}  // namespace syv

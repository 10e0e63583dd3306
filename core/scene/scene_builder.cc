#include "core/scene/scene_builder.h"

namespace syv {

uint16_t photoDirFromText(const std::string& text) {
  if (text == "X") return 0;
  if (text == "Z") return 2;
  return 1;
}

std::string SceneBuilder::createSplineFromPoints(const std::string& name,
                                                 const Matrix4& transform, int32_t first,
                                                 int32_t closed, int32_t second,
                                                 const std::vector<Vector3>& points) {
  Outline outline;
  const uint32_t n = static_cast<uint32_t>(points.size());
  outline.resize(n, 1);
  outline.setContour(0, n, closed != 0);
  for (uint32_t i = 0; i < n; ++i)
    outline.setPoint(i, n > 1 ? static_cast<double>(i) / (n - 1) : 0.0, points[i]);
  return createSpline(name, transform, first, second, outline);
}

std::string SceneBuilder::createCone(const std::string&, const Matrix4&, double, int32_t) {
  return std::string();
}
std::string SceneBuilder::createCylinder(const std::string&, const Matrix4&, double, double,
                                         int32_t) {
  return std::string();
}
std::string SceneBuilder::createClassicHyperpatch(const ObjectHeader&,
                                                  const HyperpatchArguments&) {
  return std::string();
}
std::string SceneBuilder::createClassicRevo(const ObjectHeader&, const std::string&,
                                            const RevoArguments&) {
  return std::string();
}
std::string SceneBuilder::createClassicHydra(const ObjectHeader&, const HydraArguments&) {
  return std::string();
}
std::string SceneBuilder::createClassicWreath(const ObjectHeader&, const WreathArguments&) {
  return std::string();
}
std::string SceneBuilder::createClassicPhiball(const ObjectHeader&, const PhiballArguments&) {
  return std::string();
}
std::string SceneBuilder::createClassicHorn(const ObjectHeader&, const std::string&,
                                            const HornArguments&) {
  return std::string();
}
std::string SceneBuilder::createClassicLeaf(const ObjectHeader&, const std::string&,
                                            const HornArguments&) {
  return std::string();
}
std::string SceneBuilder::createClassicTree(const ObjectHeader&, const std::string&,
                                            const TreeArguments&) {
  return std::string();
}

}  // namespace syv

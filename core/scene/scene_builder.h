// The abstract interface through which the importer creates a scene, and the
// values that pass through it. Nodes are identified by their unique names; the
// empty name means "nothing created" and, as a parent, the World root.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/components/component.h"
#include "core/base/curve.h"
#include "core/base/math.h"
#include "core/io/value_types.h"
#include "core/mesh/outline.h"

namespace syv {

// The common description of every object handed to createNull and the
// Classic creators.
struct ObjectHeader {
  uint8_t hidden = 0;
  double existenceStart = 0.0;
  double existenceEnd = 1.0;
  std::string name;
  Matrix4 transform;  // the node keeps its inverse
  std::vector<SwitchMask> switchList;
  uint16_t photoDir = 1;  // 0 X, 1 Y, 2 Z
  uint16_t photoMode = 0;
  double photo = 0.0;

  ObjectHeader() = default;
  explicit ObjectHeader(std::string wantedName) : name(std::move(wantedName)) {}
};

// "X" 0, "Y" 1, "Z" 2, anything else 1.
uint16_t photoDirFromText(const std::string& text);

struct SceneMaterial {
  std::string name;
  std::string colorName;
  std::string texture;
  std::string textureFile;  // empty: no texture file
  ColorRecord ambient{0.1f, 0.1f, 0.1f};
  ColorRecord diffuse{0.6f, 0.6f, 0.6f};
  ColorRecord specular{0.0f, 0.0f, 0.0f};
  ColorRecord emission{0.0f, 0.0f, 0.0f};
  double alpha = 1.0;
  Vector3 textureShift{0.0, 0.0, 0.0};
  Vector3 textureScale{1.0, 1.0, 1.0};
};

// Arguments of createClassicTree after the header and the shape name, in the
// order of the tree's parameter block.
struct TreeArguments {
  double scale = 100.0;
  double stemSegments = 20.0;
  double stemLength = 1.0;
  double lengthFraction = 1.0;
  double branchCount = 10.0;
  CurveParameter radius;
  CurveParameter deviation;
  double splineLength = 0.0;
  CurveParameter kinks;
  CurveParameter nodeDistribution;
  CurveParameter divergence;
  CurveParameter branchAngle;
  CurveParameter childDensity;
  CurveParameter childGrowth;
  CurveParameter branchScale;
  uint16_t divergenceMode = 0;
  CurveParameter phototropism;
  CurveParameter gravitropism;
  uint16_t treeMode = 6;
  Spline stemSpline;  // empty: straight stem
  CurveParameter profile;
};

// Horn and Leaf share one argument list; the leaf ignores hornLength and
// reads the two tropism curves.
struct HornArguments {
  double scale = 100.0;
  double segments = 20.0;
  double hornLength = 20.0;
  double stepFactor = 1.0;
  bool smooth = false;
  std::vector<Vector3> hornSpline;
  CurveParameter radius, bendX, bendY, bendZ, shiftX, shiftY, step, twist, ribTwist, ribScale;
  CurveParameter phototropism, gravitropism;
  CurveParameter profile;
};

struct PhiballArguments {
  double scale = 100.0;
  double childCount = 10.0;
  double ballRadius = 0.5;
  double packing = 1.0;
  CurveParameter spiral, zone, childSize, childScale;
};

struct HydraArguments {
  double scale = 100.0;
  double armCount = 10.0;
  CurveParameter armSpin, armAround, armTilt, armScale;
};

struct WreathArguments {
  double wreathCount = 10.0;
  double wreathRadius = 0.0;
};

struct RevoArguments {
  std::vector<Vector3> profilePoints;
};

struct HyperpatchArguments {
  uint32_t patchKind = 0;
  std::vector<Vector3> controlPoints;
};

class SceneBuilder {
 public:
  virtual ~SceneBuilder() = default;

  virtual bool setFrameCount(int32_t frames) = 0;
  virtual bool setBackgroundColor(const float (&rgb)[3]) = 0;
  // True when the object was found.
  virtual bool addMaterial(const std::string& object, const SceneMaterial& material,
                           int32_t id) = 0;
  // An empty parent is the World root.
  virtual bool insertUnder(const std::string& object, const std::string& parent) = 0;
  virtual std::string createNull(const ObjectHeader& header) = 0;
  virtual std::string createBranch(const ObjectHeader& header) = 0;
  virtual std::string createPhyllotaxis(const ObjectHeader& header) = 0;
  virtual std::string createHydra(const ObjectHeader& header) = 0;
  virtual std::string createVariation(const std::string& first, const std::string& name,
                                      int32_t a, int32_t b, int32_t c) = 0;
  virtual std::string createTropism(const std::string& name) = 0;
  virtual std::string createCurvature(const std::string& name) = 0;
  virtual std::string createSpline(const std::string& name, const Matrix4& transform,
                                   int32_t first, int32_t second, const Outline& outline) = 0;
  // One contour through the points, closed when `closed` is non-zero.
  std::string createSplineFromPoints(const std::string& name, const Matrix4& transform,
                                     int32_t first, int32_t closed, int32_t second,
                                     const std::vector<Vector3>& points);
  virtual std::string createMesh(const std::string& name) = 0;
  virtual std::string createBox(const std::string& name, const Matrix4& transform, double edge,
                                int32_t segments) = 0;
  virtual std::string createCone(const std::string& name, const Matrix4& transform, double size,
                                 int32_t segments);
  virtual std::string createCylinder(const std::string& name, const Matrix4& transform,
                                     double radius, double height, int32_t segments);
  virtual std::string createSphere(const std::string& name, const Matrix4& transform,
                                   double radius, int32_t segments) = 0;
  virtual std::string createPlane(const std::string& name, const Matrix4& transform,
                                  int32_t orientation, double size, int32_t segments) = 0;
  virtual std::string createCircle(const std::string& name, const Matrix4& transform,
                                   double radius, int32_t segments) = 0;
  virtual std::string createArc(const std::string& name) = 0;

  // The Classic creators create nothing unless an implementation provides them.
  virtual std::string createClassicHyperpatch(const ObjectHeader& header,
                                              const HyperpatchArguments& arguments);
  virtual std::string createClassicRevo(const ObjectHeader& header, const std::string& shape,
                                        const RevoArguments& arguments);
  virtual std::string createClassicHydra(const ObjectHeader& header,
                                         const HydraArguments& arguments);
  virtual std::string createClassicWreath(const ObjectHeader& header,
                                          const WreathArguments& arguments);
  virtual std::string createClassicPhiball(const ObjectHeader& header,
                                           const PhiballArguments& arguments);
  virtual std::string createClassicHorn(const ObjectHeader& header, const std::string& shape,
                                        const HornArguments& arguments);
  virtual std::string createClassicLeaf(const ObjectHeader& header, const std::string& shape,
                                        const HornArguments& arguments);
  virtual std::string createClassicTree(const ObjectHeader& header, const std::string& shape,
                                        const TreeArguments& arguments);
};

}  // namespace syv

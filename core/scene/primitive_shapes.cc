#include "core/scene/primitive_shapes.h"

#include <cmath>
#include <vector>

#include "core/components/limits.h"

namespace syv {

namespace {

int32_t boundedCount(double value, double maximum, const std::string& what) {
  return static_cast<int32_t>(std::trunc(clampCount(value, maximum, what)));
}

// The straight default line from x = 0.5 to x = -0.5, or the shape points.
Outline areaOutline(const PrimitiveRecord& primitive, double unit) {
  const KnotList& points = primitive.Profil;
  const uint32_t n = static_cast<uint32_t>(points.size());
  Outline outline;
  outline.resize(n, 1);
  outline.setContour(0, n, false);
  for (uint32_t i = 0; i < n; ++i) {
    // A single point would divide by zero; it stands at the line's start.
    const double f = n > 1 ? static_cast<double>(i) / (n - 1) : 0.0;
    Vector3 p(0.5 - f, 0.0, 0.0);
    if (primitive.ApplyProfil3D) p = points[i];
    if (primitive.ApplyProfil) p = Vector3(0.5 - f, points[n - 1 - i].y, 0.0);
    outline.setPoint(i, f, p);
  }
  outline.transform(Matrix4::scale(unit));
  return outline;
}

}  // namespace

double unitScale(const EvaluationContext& context) {
  bool found = false;
  const double unit = context.number(kIdUnitScale, &found);
  return found ? unit : 100.0;
}

Outline circleOutline(double radius, int32_t segments) {
  Outline outline;
  if (segments < 1) return outline;
  const uint32_t n = static_cast<uint32_t>(segments);
  outline.resize(n, 1);
  outline.setContour(0, n, true);
  for (uint32_t k = 0; k < n; ++k) {
    const double a = static_cast<double>(k) / n;
    const double theta = 2.0 * kPi * a;
    outline.setPoint(k, a, Vector3(radius * std::sin(theta), radius * std::cos(theta), 0.0));
  }
  return outline;
}

std::string createPrimitiveShape(const EvaluationContext& context, SceneBuilder& builder,
                                 const ComponentRecord& record) {
  const PrimitiveRecord& primitive = record.Primitive;
  const std::string& type = primitive.Type;
  const double unit = unitScale(context);
  const bool leaf = record.Parameters.TypeName == "Leaf";
  const std::string name = record.Name + "_" + type;
  const std::string what = "primitive '" + record.Name + "'";

  if (type.compare(0, 9, "Undefined") == 0) return std::string();
  if (type.compare(0, 4, "Tube") == 0) {
    if (primitive.ApplyProfil3D) {
      std::vector<Vector3> points;
      points.reserve(primitive.Profil.size());
      for (const Knot& k : primitive.Profil) points.push_back(k * unit);
      return builder.createSplineFromPoints(name, Matrix4(), 0, 1, 0, points);
    }
    return builder.createCircle(name, Matrix4(), 0.5 * unit,
                                boundedCount(primitive.Points, kMaxOutlinePoints, what + ": points"));
  }
  if (type.compare(0, 4, "Area") == 0) {
    Matrix4 placement;
    if (leaf) {
      const Vector3 s = primitive.Scale.value;
      placement = Matrix4::scale(s.x * 0.5, s.y, s.z);
    }
    return builder.createSpline(name, placement, 0, 0, areaOutline(primitive, unit));
  }
  const double resolution = clampCount(primitive.Resolution, kMaxPrimitiveResolution,
                                       what + ": resolution");
  if (type == "Square" || type == "Triangle1" || type == "Triangle2") {
    // Under a leaf the plane stands in the leaf's growth plane with its base
    // at the attachment point.
    const int32_t orientation = leaf ? 2 : 1;
    const Matrix4 placement = leaf ? Matrix4::translation(0.0, 0.0, 0.5 * unit) : Matrix4();
    return builder.createPlane(name, placement, orientation, unit,
                               static_cast<int32_t>(std::floor(resolution)));
  }
  const int32_t steps = static_cast<int32_t>(std::trunc(resolution));
  if (type == "Box") return builder.createBox(name, Matrix4::rotZ(kPi), unit, steps);
  if (type == "Sphere")
    return builder.createSphere(name, Matrix4::rotZ(kPi / 2), 0.5 * unit, 2 * steps + 4);
  if (type == "Cylinder") return builder.createCylinder(name, Matrix4(), 0.5 * unit, unit, steps);
  if (type == "Cone")
    return builder.createCone(name, Matrix4(), 0.5 * unit,
                              4 - static_cast<int32_t>(std::trunc(-2.0 * resolution)));
  return std::string();
}

}  // namespace syv

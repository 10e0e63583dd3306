// Typed values by integer id, handed to components when they generate.
// A few ids are reserved and held in fixed fields; the rest live in maps.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "core/base/curve.h"
#include "core/base/math.h"
#include "core/mesh/mesh.h"
#include "core/mesh/outline.h"

namespace syv {

// Ids shared across the core.
enum ContextId : int32_t {
  kIdWorldToObject = 1004,  // matrix: the node's accumulated transform
  kIdParentToObject = 1005, // matrix: the node's own transform
  kIdLinkedObject = 1006,   // object: the primitive shape linked to the component
  kIdUnitScale = 2011,      // number
  kIdGrowth = 6000,         // number
  kIdIteration = 6001,      // integer
  kIdInteger6002 = 6002,    // integer
  kIdThickness = 6003,      // number
  kIdDensity = 6004,        // number
};

// What a component can see of a scene object linked to it (its primitive shape).
class SceneObject {
 public:
  virtual ~SceneObject() = default;
  virtual std::string name() const = 0;
  virtual Matrix4 pivot() const { return Matrix4(); }
  virtual Matrix4 transform() const = 0;
  virtual const Outline* shape() const = 0;
  virtual const Mesh* mesh() const = 0;
};

class EvaluationContext {
 public:
  virtual ~EvaluationContext() = default;

  // Declarations store under the next id and return it.
  virtual int32_t addText(const std::string& text);
  virtual int32_t addNumber(double value);
  virtual int32_t addInteger(int32_t value);
  virtual int32_t addVector(const Vector3& value);
  virtual int32_t newId();
  virtual int32_t addCurveParameter(const CurveParameter& parameter);
  virtual int32_t addFlag(bool value);
  virtual int32_t addObject();

  virtual bool setText(int32_t id, const std::string& text);
  virtual bool setNumber(int32_t id, double value);
  virtual bool setInteger(int32_t id, int32_t value);
  virtual bool setVector(int32_t id, const Vector3& value);
  virtual bool setCurveParameter(int32_t id, const CurveParameter& parameter);
  virtual bool setFlag(int32_t id, bool value);
  virtual bool setObject(int32_t id, const SceneObject* object);

  virtual std::string text(int32_t id, bool* found = nullptr) const;
  virtual double number(int32_t id, bool* found = nullptr) const;
  virtual int32_t integer(int32_t id, bool* found = nullptr) const;
  virtual Vector3 vector(int32_t id, bool* found = nullptr) const;
  virtual Matrix4 matrix(int32_t id, bool* found = nullptr) const;
  virtual const CurveParameter* curveParameter(int32_t id, bool* found = nullptr) const;
  virtual bool flag(int32_t id, bool* found = nullptr) const;
  virtual const SceneObject* object(int32_t id, bool* found = nullptr) const;
  // Forwarding queries: the object's shape and mesh.
  virtual const Outline* objectShape(int32_t id, bool* found = nullptr) const;
  virtual const Mesh* objectMesh(int32_t id, bool* found = nullptr) const;

  // Empties the maps; the reserved fields keep their values.
  virtual void clear();

  void setNodeState(const Matrix4& parentToObject, const Matrix4& worldToObject, double growth,
                    double thickness, double density, int32_t iteration, int32_t integer6002,
                    const SceneObject* linkedObject);

 private:
  std::map<int32_t, std::string> texts_;
  std::map<int32_t, double> numbers_;
  std::map<int32_t, int32_t> integers_;
  std::map<int32_t, Vector3> vectors_;
  std::map<int32_t, CurveParameter> curves_;
  std::map<int32_t, bool> flags_;
  std::map<int32_t, const SceneObject*> objects_;
  int32_t nextId_ = 0;
  Matrix4 worldToObject_;
  Matrix4 parentToObject_;
  double growth_ = 1.0;
  double thickness_ = 1.0;
  double density_ = 1.0;
  int32_t iteration_ = 0;
  int32_t integer6002_ = 1;
  const SceneObject* linkedObject_ = nullptr;
};

}  // namespace syv

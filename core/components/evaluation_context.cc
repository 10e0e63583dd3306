#include "core/components/evaluation_context.h"

namespace syv {

namespace {

template <typename Map>
auto lookup(const Map& map, int32_t id, bool* found, typename Map::mapped_type fallback) {
  auto it = map.find(id);
  if (found) *found = it != map.end();
  return it != map.end() ? it->second : fallback;
}

}  // namespace

int32_t EvaluationContext::addText(const std::string& text) {
  texts_[nextId_] = text;
  return nextId_++;
}
int32_t EvaluationContext::addNumber(double value) {
  numbers_[nextId_] = value;
  return nextId_++;
}
int32_t EvaluationContext::addInteger(int32_t value) {
  integers_[nextId_] = value;
  return nextId_++;
}
int32_t EvaluationContext::addVector(const Vector3& value) {
  vectors_[nextId_] = value;
  return nextId_++;
}
int32_t EvaluationContext::newId() { return nextId_++; }
int32_t EvaluationContext::addCurveParameter(const CurveParameter& parameter) {
  curves_[nextId_] = parameter;
  return nextId_++;
}
int32_t EvaluationContext::addFlag(bool value) {
  flags_[nextId_] = value;
  return nextId_++;
}
int32_t EvaluationContext::addObject() {
  objects_[nextId_] = nullptr;
  return nextId_++;
}

bool EvaluationContext::setText(int32_t id, const std::string& text) { texts_[id] = text; return true; }
bool EvaluationContext::setNumber(int32_t id, double value) { numbers_[id] = value; return true; }
bool EvaluationContext::setInteger(int32_t id, int32_t value) { integers_[id] = value; return true; }
bool EvaluationContext::setVector(int32_t id, const Vector3& value) { vectors_[id] = value; return true; }
bool EvaluationContext::setCurveParameter(int32_t id, const CurveParameter& parameter) {
  curves_[id] = parameter;
  return true;
}
bool EvaluationContext::setFlag(int32_t id, bool value) { flags_[id] = value; return true; }
bool EvaluationContext::setObject(int32_t id, const SceneObject* object) {
  objects_[id] = object;
  return true;
}

std::string EvaluationContext::text(int32_t id, bool* found) const {
  return lookup(texts_, id, found, std::string());
}

double EvaluationContext::number(int32_t id, bool* found) const {
  switch (id) {
    case kIdGrowth: if (found) *found = true; return growth_;
    case kIdThickness: if (found) *found = true; return thickness_;
    case kIdDensity: if (found) *found = true; return density_;
    default: return lookup(numbers_, id, found, 0.0);
  }
}

int32_t EvaluationContext::integer(int32_t id, bool* found) const {
  switch (id) {
    case kIdIteration: if (found) *found = true; return iteration_;
    case kIdInteger6002: if (found) *found = true; return integer6002_;
    default: return lookup(integers_, id, found, 0);
  }
}

Vector3 EvaluationContext::vector(int32_t id, bool* found) const {
  return lookup(vectors_, id, found, Vector3());
}

Matrix4 EvaluationContext::matrix(int32_t id, bool* found) const {
  if (id == kIdWorldToObject || id == kIdParentToObject) {
    if (found) *found = true;
    return id == kIdWorldToObject ? worldToObject_ : parentToObject_;
  }
  if (found) *found = false;
  return Matrix4();
}

const CurveParameter* EvaluationContext::curveParameter(int32_t id, bool* found) const {
  auto it = curves_.find(id);
  if (found) *found = it != curves_.end();
  return it != curves_.end() ? &it->second : nullptr;
}

bool EvaluationContext::flag(int32_t id, bool* found) const { return lookup(flags_, id, found, false); }

const SceneObject* EvaluationContext::object(int32_t id, bool* found) const {
  if (id == kIdLinkedObject) {
    if (found) *found = true;
    return linkedObject_;
  }
  return lookup(objects_, id, found, static_cast<const SceneObject*>(nullptr));
}

const Outline* EvaluationContext::objectShape(int32_t id, bool* found) const {
  const SceneObject* o = object(id);
  const Outline* s = o ? o->shape() : nullptr;
  if (found) *found = s != nullptr;
  return s;
}

const Mesh* EvaluationContext::objectMesh(int32_t id, bool* found) const {
  const SceneObject* o = object(id);
  const Mesh* m = o ? o->mesh() : nullptr;
  if (found) *found = m != nullptr;
  return m;
}

void EvaluationContext::clear() {
  texts_.clear();
  numbers_.clear();
  integers_.clear();
  vectors_.clear();
  curves_.clear();
  flags_.clear();
  objects_.clear();
  nextId_ = 0;
}

void EvaluationContext::setNodeState(const Matrix4& parentToObject, const Matrix4& worldToObject,
                                     double growth, double thickness, double density,
                                     int32_t iteration, int32_t integer6002,
                                     const SceneObject* linkedObject) {
  parentToObject_ = parentToObject;
  worldToObject_ = worldToObject;
  growth_ = growth;
  thickness_ = thickness;
  density_ = density;
  iteration_ = iteration;
  integer6002_ = integer6002;
  linkedObject_ = linkedObject;
}

}  // namespace syv

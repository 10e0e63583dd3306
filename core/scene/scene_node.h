// Scene nodes: one per created object, carrying a component, a solid mesh or
// a cross-section shape, linked into a tree under the World root.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/components/component.h"
#include "core/components/evaluation_context.h"
#include "core/base/math.h"
#include "core/mesh/mesh.h"
#include "core/mesh/outline.h"

namespace syv {

// Nodes do not own each other: the builder that creates them owns them all,
// so a deep or shared hierarchy is released without recursion, and nodes
// never placed under World are released too.
class SceneNode : public SceneObject {
 public:
  SceneNode() = default;
  explicit SceneNode(std::string nodeName) : name_(std::move(nodeName)) {}
  ~SceneNode() override = default;
  SceneNode(const SceneNode&) = delete;
  SceneNode& operator=(const SceneNode&) = delete;

  std::string name() const override { return name_; }
  Matrix4 pivot() const override { return Matrix4(); }
  Matrix4 transform() const override { return transform_; }
  const Outline* shape() const override { return shape_.get(); }
  const Mesh* mesh() const override { return mesh_.get(); }
  // One info line per node, four blanks per level; iterative.
  void dump(uint32_t depth) const;

  const std::string& nodeName() const { return name_; }
  void setName(std::string nodeName) { name_ = std::move(nodeName); }
  void setTransform(const Matrix4& m) {
    transform_ = m;
    identity_ = m.isIdentity();
  }
  // Asked once per placement of the node.
  bool identityTransform() const { return identity_; }
  const Matrix4& transformRef() const { return transform_; }
  void setShape(std::unique_ptr<Outline> shape) { shape_ = std::move(shape); }
  void setMesh(std::unique_ptr<Mesh> mesh) { mesh_ = std::move(mesh); }
  // Drops the old component and its bindings, then lets the new one bind to
  // the node's context.
  void setComponent(std::unique_ptr<Component> component);
  Component* component() const { return component_.get(); }
  const EvaluationContext& context() const { return context_; }

  int32_t materialId() const { return materialId_; }
  void setMaterialId(int32_t id) { materialId_ = id; }
  bool hidden() const { return hidden_; }
  void setHidden(bool hidden) { hidden_ = hidden; }

  const std::vector<SceneNode*>& children() const { return children_; }
  void appendChild(SceneNode* child);
  int32_t referenceCount() const { return referenceCount_; }

 private:
  std::unique_ptr<Outline> shape_;
  std::unique_ptr<Mesh> mesh_;
  int32_t referenceCount_ = 0;
  std::string name_;
  EvaluationContext context_;
  Matrix4 transform_;
  bool identity_ = true;
  int32_t materialId_ = -1;
  bool hidden_ = false;
  std::vector<SceneNode*> children_;
  std::unique_ptr<Component> component_;
};

// The root of every scene. Its plain base component offers the own-frame link
// for every child and answers it with one identity placement, so everything
// hung under World is visited once, unmoved.
class World : public SceneNode {
 public:
  World();
};

}  // namespace syv

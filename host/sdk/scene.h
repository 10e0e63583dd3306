// Scene objects and nodes, and the scene that owns them.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "host/sdk/material.h"
#include "host/sdk/mesh.h"
#include "host/sdk/types.h"

namespace hostsdk {

class HOSTSDK_API Object {
 public:
  virtual ~Object() = default;
  virtual SClass_ID SuperClassID() const = 0;
  virtual Class_ID ClassID() const = 0;
};

// The triangle-mesh object.
class HOSTSDK_API TriObject : public Object {
 public:
  SClass_ID SuperClassID() const override { return GEOMOBJECT_CLASS_ID; }
  Class_ID ClassID() const override { return triObjectClassID; }
  Mesh& GetMesh() { return mesh; }
  Mesh mesh;
};

class HOSTSDK_API INode {
 public:
  INode() = default;
  INode(const INode&) = delete;
  INode& operator=(const INode&) = delete;
  ~INode();
  void SetName(const CStr& name) { name_ = name; }
  const char* GetName() const { return name_.data(); }
  // Not owned: objects belong to the scene.
  void SetObjectRef(Object* object) { object_ = object; }
  Object* GetObjectRef() const { return object_; }
  // Takes a reference to the material and drops the one to the previous.
  void SetMtl(Mtl* material);
  Mtl* GetMtl() const { return material_; }

 private:
  CStr name_;
  Object* object_ = nullptr;
  Mtl* material_ = nullptr;
};

// Owns every object and node created in it. Nodes are "pending" until added
// to the scene; only added nodes are part of it (nodes()). Pending nodes and
// objects that no added node references are dropped by purgePending() and on
// destruction, so an import that gives up leaves the scene as it was.
class HOSTSDK_API Scene {
 public:
  Scene();
  Scene(const Scene&) = delete;
  Scene& operator=(const Scene&) = delete;
  ~Scene();

  // Nothing for a super class / class id pair the host cannot create, or when
  // creation is failed on purpose (setCreationFails).
  Object* createObject(SClass_ID superClass, const Class_ID& classId);
  INode* createNode();
  // FALSE when the node is not a pending node of this scene.
  BOOL addNode(INode* node);
  void purgePending();

  const std::vector<INode*>& nodes() const { return placed_; }
  INode* findNode(const std::string& name) const;
  // A name no node of the scene carries: `name` itself when free, else
  // `name` followed by the first free two-digit (or longer) number from 01.
  std::string uniqueName(const std::string& name) const;
  size_t objectCount() const { return objects_.size(); }

  // Stand-in only: make createObject / createNode give nothing.
  void setCreationFails(bool objects, bool nodes) {
    failObjects_ = objects;
    failNodes_ = nodes;
  }

 private:
  std::vector<std::unique_ptr<Object>> objects_;
  std::vector<std::unique_ptr<INode>> nodeStore_;
  std::vector<INode*> pending_;
  std::vector<INode*> placed_;
  bool failObjects_ = false;
  bool failNodes_ = false;
};

}  // namespace hostsdk

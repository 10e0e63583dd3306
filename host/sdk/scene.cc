#include "host/sdk/scene.h"

#include <algorithm>
#include <cstdio>
#include <new>
#include <unordered_set>

namespace hostsdk {

INode::~INode() { SetMtl(nullptr); }

void INode::SetMtl(Mtl* material) {
  if (material == material_) return;
  if (material) material->AddRef();
  Mtl* old = material_;
  material_ = material;
  if (old) old->Release();
}

Scene::Scene() = default;

Scene::~Scene() {
  placed_.clear();
  pending_.clear();
  nodeStore_.clear();
  objects_.clear();
  DeleteUnreferencedMaterials();
}

Object* Scene::createObject(SClass_ID superClass, const Class_ID& classId) {
  if (failObjects_) return nullptr;
  if (superClass != GEOMOBJECT_CLASS_ID || classId != triObjectClassID) return nullptr;
  std::unique_ptr<Object> o(new (std::nothrow) TriObject());
  if (!o) return nullptr;
  objects_.push_back(std::move(o));
  return objects_.back().get();
}

INode* Scene::createNode() {
  if (failNodes_) return nullptr;
  std::unique_ptr<INode> n(new (std::nothrow) INode());
  if (!n) return nullptr;
  nodeStore_.push_back(std::move(n));
  pending_.push_back(nodeStore_.back().get());
  return pending_.back();
}

BOOL Scene::addNode(INode* node) {
  auto it = std::find(pending_.begin(), pending_.end(), node);
  if (it == pending_.end()) return FALSE;
  pending_.erase(it);
  placed_.push_back(node);
  return TRUE;
}

void Scene::purgePending() {
  std::unordered_set<INode*> gone(pending_.begin(), pending_.end());
  pending_.clear();
  nodeStore_.erase(std::remove_if(nodeStore_.begin(), nodeStore_.end(),
                                  [&](const std::unique_ptr<INode>& n) {
                                    return gone.count(n.get()) != 0;
                                  }),
                   nodeStore_.end());
  std::unordered_set<Object*> used;
  for (INode* n : placed_) used.insert(n->GetObjectRef());
  objects_.erase(std::remove_if(objects_.begin(), objects_.end(),
                                [&](const std::unique_ptr<Object>& o) {
                                  return used.count(o.get()) == 0;
                                }),
                 objects_.end());
  DeleteUnreferencedMaterials();
}

INode* Scene::findNode(const std::string& name) const {
  for (INode* n : placed_) {
    if (name == n->GetName()) return n;
  }
  return nullptr;
}

std::string Scene::uniqueName(const std::string& name) const {
  std::unordered_set<std::string> taken;
  for (INode* n : placed_) taken.insert(n->GetName());
  if (!taken.count(name)) return name;
  for (unsigned k = 1;; ++k) {
    char digits[16];
    std::snprintf(digits, sizeof digits, "%02u", k);
    std::string candidate = name + digits;
    if (!taken.count(candidate)) return candidate;
  }
}

}  // namespace hostsdk

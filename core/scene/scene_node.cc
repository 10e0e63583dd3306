#include "core/scene/scene_node.h"

#include <utility>

#include "core/base/log.h"

namespace syv {

void SceneNode::setComponent(std::unique_ptr<Component> component) {
  component_.reset();
  context_.clear();
  component_ = std::move(component);
  if (component_) {
    component_->declareParameters(context_);
    component_->declareExtraParameters(context_);
  }
}

void SceneNode::appendChild(SceneNode* child) {
  children_.push_back(child);
  ++child->referenceCount_;
}

void SceneNode::dump(uint32_t depth) const {
  std::vector<std::pair<const SceneNode*, uint32_t>> stack{{this, depth}};
  while (!stack.empty()) {
    const auto [node, level] = stack.back();
    stack.pop_back();
    LogChannel::info(std::string(std::size_t{4} * level, ' ') + node->name_);
    for (auto it = node->children_.rbegin(); it != node->children_.rend(); ++it)
      stack.push_back({*it, level + 1});
  }
}

World::World() : SceneNode("World") { setComponent(std::make_unique<Component>()); }

}  // namespace syv

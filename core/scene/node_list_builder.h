// The core's scene builder: every create call becomes a SceneNode entered in
// a node list under a unique name; insertUnder links nodes into the tree
// under World; addMaterial fills the material table.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/scene/scene_builder.h"
#include "core/scene/scene_node.h"

namespace syv {

class NodeListBuilder : public SceneBuilder {
 public:
  // The World is not owned; it must outlive the builder.
  explicit NodeListBuilder(World& world);
  ~NodeListBuilder() override;

  bool setFrameCount(int32_t frames) override;
  bool setBackgroundColor(const float (&rgb)[3]) override;
  bool addMaterial(const std::string& object, const SceneMaterial& material, int32_t id) override;
  bool insertUnder(const std::string& object, const std::string& parent) override;
  std::string createNull(const ObjectHeader& header) override;
  std::string createBranch(const ObjectHeader& header) override;
  std::string createPhyllotaxis(const ObjectHeader& header) override;
  std::string createHydra(const ObjectHeader& header) override;
  std::string createVariation(const std::string& first, const std::string& name, int32_t a,
                              int32_t b, int32_t c) override;
  std::string createTropism(const std::string& name) override;
  std::string createCurvature(const std::string& name) override;
  std::string createSpline(const std::string& name, const Matrix4& transform, int32_t first,
                           int32_t second, const Outline& outline) override;
  std::string createMesh(const std::string& name) override;
  std::string createBox(const std::string& name, const Matrix4& transform, double edge,
                        int32_t segments) override;
  std::string createCone(const std::string& name, const Matrix4& transform, double size,
                         int32_t segments) override;
  std::string createCylinder(const std::string& name, const Matrix4& transform, double radius,
                             double height, int32_t segments) override;
  std::string createSphere(const std::string& name, const Matrix4& transform, double radius,
                           int32_t segments) override;
  std::string createPlane(const std::string& name, const Matrix4& transform,
                          int32_t orientation, double size, int32_t segments) override;
  std::string createCircle(const std::string& name, const Matrix4& transform, double radius,
                           int32_t segments) override;
  std::string createArc(const std::string& name) override;

  std::string createClassicHyperpatch(const ObjectHeader& header,
                                      const HyperpatchArguments& arguments) override;
  std::string createClassicTree(const ObjectHeader& header, const std::string& shape,
                                const TreeArguments& arguments) override;
  std::string createClassicHorn(const ObjectHeader& header, const std::string& shape,
                                const HornArguments& arguments) override;
  std::string createClassicLeaf(const ObjectHeader& header, const std::string& shape,
                                const HornArguments& arguments) override;
  std::string createClassicPhiball(const ObjectHeader& header,
                                   const PhiballArguments& arguments) override;
  std::string createClassicHydra(const ObjectHeader& header,
                                 const HydraArguments& arguments) override;
  std::string createClassicWreath(const ObjectHeader& header,
                                  const WreathArguments& arguments) override;
  std::string createClassicRevo(const ObjectHeader& header, const std::string& shape,
                                const RevoArguments& arguments) override;

  World& world() { return world_; }
  const World& world() const { return world_; }
  // Nodes not yet placed directly under World.
  const std::map<std::string, SceneNode*>& nodeList() const { return nodeList_; }
  SceneNode* findNode(const std::string& name) const;
  // Material id to material; the first record of an id stays.
  const std::map<int32_t, SceneMaterial>& materialTable() const { return materials_; }

 protected:
  // Enters the node under the first free name (wanted, wanted_2, ...) and
  // returns that name; the builder keeps the node alive.
  std::string enterNode(std::unique_ptr<SceneNode> node, const std::string& wanted);
  // A node for an object header, with its component's base fields copied.
  std::unique_ptr<SceneNode> makeObjectNode(const ObjectHeader& header,
                                            std::unique_ptr<Component> component) const;
  // Hangs the shape node under `node`, or a fresh "<wanted>_Undefined" null.
  void linkShape(const std::string& node, const std::string& shape, const ObjectHeader& header);
  std::string enterPrimitive(const std::string& name, const Matrix4& transform,
                             std::unique_ptr<Mesh> mesh, std::unique_ptr<Outline> shape);

 private:
  World& world_;
  std::map<std::string, SceneNode*> nodeList_;
  // Per wanted name, the suffix to try next: every lower one is taken. A
  // root leaving the list (insertUnder World) clears it.
  std::unordered_map<std::string, uint64_t> nextSuffix_;
  std::map<int32_t, SceneMaterial> materials_;
  std::vector<std::unique_ptr<SceneNode>> owned_;
};

// The text a matrix takes in trace lines: sixteen numbers, row by row.
std::string matrixText(const Matrix4& m);

}  // namespace syv

#include "core/scene/node_list_builder.h"

#include <sstream>
#include <utility>

#include "core/components/classic_horn.h"
#include "core/components/classic_hydra.h"
#include "core/components/classic_leaf.h"
#include "core/components/classic_phiball.h"
#include "core/components/classic_revo.h"
#include "core/components/classic_simple.h"
#include "core/components/classic_tree.h"
#include "core/components/classic_wreath.h"
#include "core/base/log.h"
#include "core/mesh/primitives.h"
#include "core/scene/primitive_shapes.h"

namespace syv {

namespace {

template <typename... Parts>
std::string joined(const Parts&... parts) {
  std::ostringstream out;
  (out << ... << parts);
  return out.str();
}

template <typename... Parts>
void traceJoined(const Parts&... parts) {
  if (LogChannel::tracing()) LogChannel::trace(joined(parts...));
}

std::unique_ptr<Component> makeNullComponent() { return std::make_unique<ClassicSimple>(); }

}  // namespace

std::string matrixText(const Matrix4& m) {
  std::ostringstream out;
  out << '[';
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) out << (r || c ? " " : "") << m.m[r][c];
  out << ']';
  return out.str();
}

NodeListBuilder::NodeListBuilder(World& world) : world_(world) {}

NodeListBuilder::~NodeListBuilder() = default;

bool NodeListBuilder::setFrameCount(int32_t) { return true; }
bool NodeListBuilder::setBackgroundColor(const float (&)[3]) { return true; }

SceneNode* NodeListBuilder::findNode(const std::string& name) const {
  auto it = nodeList_.find(name);
  return it == nodeList_.end() ? nullptr : it->second;
}

std::string NodeListBuilder::enterNode(std::unique_ptr<SceneNode> node,
                                       const std::string& wanted) {
  std::string name = wanted;
  if (nodeList_.count(name) != 0) {
    // Every suffix below the counter is taken (a released name clears the
    // counters), so probing resumes where it last ended.
    uint64_t& counter = nextSuffix_.try_emplace(wanted, 2).first->second;
    do name = wanted + "_" + std::to_string(counter++);
    while (nodeList_.count(name) != 0);
  }
  node->setName(name);
  nodeList_[name] = node.get();
  owned_.push_back(std::move(node));
  return name;
}

std::unique_ptr<SceneNode> NodeListBuilder::makeObjectNode(
    const ObjectHeader& header, std::unique_ptr<Component> component) const {
  auto node = std::make_unique<SceneNode>(header.name);
  node->setHidden(header.hidden != 0);
  node->setTransform(header.transform.inverse());
  component->name = header.name;
  component->photoDir = header.photoDir;
  component->photoMode = header.photoMode;
  component->photo = header.photo;
  component->iterationMask.assign(header.switchList.begin(), header.switchList.end());
  node->setComponent(std::move(component));
  return node;
}

bool NodeListBuilder::addMaterial(const std::string& object, const SceneMaterial& material,
                                  int32_t id) {
  traceJoined("addMaterial(", object, ", ", material.name, ", ", id, ")");
  SceneNode* node = findNode(object);
  if (node == nullptr) return false;
  node->setMaterialId(id);
  materials_.emplace(id, material);
  return true;
}

bool NodeListBuilder::insertUnder(const std::string& object, const std::string& parent) {
  traceJoined("insertUnder(", object, ", ", parent, ")");
  auto it = nodeList_.find(object);
  if (it == nodeList_.end()) {
    LogChannel::trace("object not found in node list");
    return false;
  }
  SceneNode* node = it->second;
  if (!parent.empty()) {
    SceneNode* parentNode = findNode(parent);
    if (parentNode == nullptr) {
      LogChannel::trace("parent not found in node list");
      return false;
    }
    parentNode->appendChild(node);
    return true;
  }
  world_.appendChild(node);
  nodeList_.erase(it);
  nextSuffix_.clear();
  return true;
}

std::string NodeListBuilder::createNull(const ObjectHeader& header) {
  traceJoined("createNull(", header.name, ")");
  return enterNode(makeObjectNode(header, makeNullComponent()), header.name);
}

std::string NodeListBuilder::createBranch(const ObjectHeader& header) {
  LogChannel::trace("createBranch");
  return createNull(header);
}
std::string NodeListBuilder::createPhyllotaxis(const ObjectHeader& header) {
  LogChannel::trace("createPhyllotaxis");
  return createNull(header);
}
std::string NodeListBuilder::createHydra(const ObjectHeader& header) {
  LogChannel::trace("createHydra");
  return createNull(header);
}

std::string NodeListBuilder::createVariation(const std::string& first, const std::string& name,
                                             int32_t a, int32_t b, int32_t c) {
  traceJoined("createVariation(", name, ", ", first, ", ", a, ", ", b, ", ", c, ")");
  return createNull(ObjectHeader(name));
}

std::string NodeListBuilder::createTropism(const std::string& name) {
  LogChannel::trace("createTropism");
  return name;
}
std::string NodeListBuilder::createCurvature(const std::string& name) {
  LogChannel::trace("createCurvature");
  return name;
}
std::string NodeListBuilder::createMesh(const std::string& name) {
  LogChannel::trace("createMesh");
  return name;
}
std::string NodeListBuilder::createArc(const std::string& name) {
  LogChannel::trace("createArc");
  return name;
}

std::string NodeListBuilder::enterPrimitive(const std::string& name, const Matrix4& transform,
                                            std::unique_ptr<Mesh> mesh,
                                            std::unique_ptr<Outline> shape) {
  auto node = std::make_unique<SceneNode>(name);
  node->setTransform(transform.inverse());
  node->setMesh(std::move(mesh));
  node->setShape(std::move(shape));
  return enterNode(std::move(node), name);
}

std::string NodeListBuilder::createSpline(const std::string& name, const Matrix4& transform,
                                          int32_t, int32_t, const Outline& outline) {
  LogChannel::trace("createSpline");
  return enterPrimitive(name, transform, nullptr, std::make_unique<Outline>(outline));
}

std::string NodeListBuilder::createCircle(const std::string& name, const Matrix4& transform,
                                          double radius, int32_t segments) {
  LogChannel::trace("createCircle");
  return enterPrimitive(name, transform, nullptr,
                        std::make_unique<Outline>(circleOutline(radius, segments)));
}

std::string NodeListBuilder::createBox(const std::string& name, const Matrix4& transform,
                                       double edge, int32_t segments) {
  LogChannel::trace("createBox");
  (void)segments;  // the box generator has no subdivisions
  auto mesh = std::make_unique<Mesh>();
  generateBox(*mesh, Vector3(edge, edge, edge), -1);
  return enterPrimitive(name, transform, std::move(mesh), nullptr);
}

std::string NodeListBuilder::createCone(const std::string& name, const Matrix4& transform,
                                        double size, int32_t segments) {
  LogChannel::trace("createCone");
  auto mesh = std::make_unique<Mesh>();
  const uint32_t n = segments > 0 ? static_cast<uint32_t>(segments) : 0;
  // As tall as it is wide, so that the cone fills the unit cube like the
  // box, sphere and cylinder of the same size.
  generateCone(*mesh, size, 2.0 * size, n, n, -1);
  return enterPrimitive(name, transform, std::move(mesh), nullptr);
}

std::string NodeListBuilder::createCylinder(const std::string& name, const Matrix4& transform,
                                            double radius, double height, int32_t segments) {
  LogChannel::trace("createCylinder");
  auto mesh = std::make_unique<Mesh>();
  const uint32_t n = segments > 0 ? static_cast<uint32_t>(segments) : 0;
  const uint32_t sides = n + 5, rings = (n + 1) / 2;
  generateCylinderSide(*mesh, radius, height, sides, rings, -1);
  generateDisc(*mesh, radius, height / 2, sides, rings, -1);
  generateDisc(*mesh, -radius, -height / 2, sides, rings, -1);
  return enterPrimitive(name, transform, std::move(mesh), nullptr);
}

std::string NodeListBuilder::createSphere(const std::string& name, const Matrix4& transform,
                                          double radius, int32_t segments) {
  if (LogChannel::tracing())
    traceJoined("createSphere(", name, ", ", matrixText(transform), ", ", radius, ", ", segments, ")");
  auto mesh = std::make_unique<Mesh>();
  const uint32_t n = segments > 0 ? static_cast<uint32_t>(segments) : 0;
  generateSphere(*mesh, radius, n, n, -1);
  return enterPrimitive(name, transform, std::move(mesh), nullptr);
}

std::string NodeListBuilder::createPlane(const std::string& name, const Matrix4& transform,
                                         int32_t orientation, double size, int32_t segments) {
  LogChannel::trace("createPlane");
  auto mesh = std::make_unique<Mesh>();
  const uint32_t n = segments > 0 ? static_cast<uint32_t>(segments) : 0;
  generatePlane(*mesh, size, n, -1);
  if (orientation == 2) transformMesh(*mesh, Matrix4::rotX(-kPi / 2));
  if (orientation == 3) transformMesh(*mesh, Matrix4::rotX(kPi / 2));
  return enterPrimitive(name, transform, std::move(mesh), nullptr);
}

std::string NodeListBuilder::createClassicHyperpatch(const ObjectHeader& header,
                                                     const HyperpatchArguments& a) {
  LogChannel::trace("createClassicHyperpatch");
  auto patch = std::make_unique<ClassicHyperpatch>();
  patch->patchKind = a.patchKind;
  patch->controlPoints = a.controlPoints;
  return enterNode(makeObjectNode(header, std::move(patch)), header.name);
}

void NodeListBuilder::linkShape(const std::string& node, const std::string& shape,
                                const ObjectHeader& header) {
  if (!shape.empty()) {
    insertUnder(shape, node);
    return;
  }
  const std::string placeholder = createNull(ObjectHeader(header.name + "_Undefined"));
  insertUnder(placeholder, node);
}

std::string NodeListBuilder::createClassicTree(const ObjectHeader& header,
                                               const std::string& shape,
                                               const TreeArguments& a) {
  traceJoined("createClassicTree ", a.stemSegments);
  auto tree = std::make_unique<ClassicTree>();
  tree->scale = a.scale;
  tree->stemSegments = a.stemSegments;
  tree->stemLength = a.stemLength;
  tree->lengthFraction = a.lengthFraction;
  tree->branchCount = a.branchCount;
  tree->radius = a.radius;
  tree->deviation = a.deviation;
  tree->splineLength = a.splineLength;
  tree->kinks = a.kinks;
  tree->nodeDistribution = a.nodeDistribution;
  tree->divergence = a.divergence;
  tree->branchAngle = a.branchAngle;
  tree->childDensity = a.childDensity;
  tree->childGrowth = a.childGrowth;
  tree->branchScale = a.branchScale;
  tree->divergenceMode = a.divergenceMode;
  tree->phototropism = a.phototropism;
  tree->gravitropism = a.gravitropism;
  tree->treeMode = a.treeMode;
  tree->stemSpline = a.stemSpline;
  tree->profile = a.profile;
  const std::string name = enterNode(makeObjectNode(header, std::move(tree)), header.name);
  linkShape(name, shape, header);
  return name;
}

namespace {

void fillHorn(ClassicHorn& horn, const HornArguments& a) {
  horn.scale = a.scale;
  horn.segments = a.segments;
  horn.hornLength = a.hornLength;
  horn.stepFactor = a.stepFactor;
  horn.smooth = a.smooth;
  horn.hornSpline = a.hornSpline;
  horn.radius = a.radius;
  horn.bendX = a.bendX;
  horn.bendY = a.bendY;
  horn.bendZ = a.bendZ;
  horn.shiftX = a.shiftX;
  horn.shiftY = a.shiftY;
  horn.step = a.step;
  horn.twist = a.twist;
  horn.ribTwist = a.ribTwist;
  horn.ribScale = a.ribScale;
  horn.profile = a.profile;
}

}  // namespace

std::string NodeListBuilder::createClassicHorn(const ObjectHeader& header,
                                               const std::string& shape,
                                               const HornArguments& a) {
  traceJoined("createClassicHorn ", a.segments);
  auto horn = std::make_unique<ClassicHorn>();
  fillHorn(*horn, a);
  const std::string name = enterNode(makeObjectNode(header, std::move(horn)), header.name);
  linkShape(name, shape, header);
  return name;
}

std::string NodeListBuilder::createClassicLeaf(const ObjectHeader& header,
                                               const std::string& shape,
                                               const HornArguments& a) {
  traceJoined("createClassicLeaf ", a.segments);
  auto leaf = std::make_unique<ClassicLeaf>();
  fillHorn(*leaf, a);
  // The leaf's own length is always 1; the field keeps the leaf's value.
  leaf->hornLength = 0.05;
  leaf->phototropism = a.phototropism;
  leaf->gravitropism = a.gravitropism;
  const std::string name = enterNode(makeObjectNode(header, std::move(leaf)), header.name);
  linkShape(name, shape, header);
  return name;
}

std::string NodeListBuilder::createClassicPhiball(const ObjectHeader& header,
                                                  const PhiballArguments& a) {
  traceJoined("createClassicPhiball ", a.childCount);
  auto ball = std::make_unique<ClassicPhiball>();
  ball->scale = a.scale;
  ball->childCount = a.childCount;
  ball->ballRadius = a.ballRadius;
  ball->packing = a.packing;
  ball->spiral = a.spiral;
  ball->zone = a.zone;
  ball->childSize = a.childSize;
  ball->childScale = a.childScale;
  return enterNode(makeObjectNode(header, std::move(ball)), header.name);
}

std::string NodeListBuilder::createClassicHydra(const ObjectHeader& header,
                                                const HydraArguments& a) {
  traceJoined("createClassicHydra ", a.armCount);
  auto hydra = std::make_unique<ClassicHydra>();
  hydra->scale = a.scale;
  hydra->armCount = a.armCount;
  hydra->armSpin = a.armSpin;
  hydra->armAround = a.armAround;
  hydra->armTilt = a.armTilt;
  hydra->armScale = a.armScale;
  return enterNode(makeObjectNode(header, std::move(hydra)), header.name);
}

std::string NodeListBuilder::createClassicWreath(const ObjectHeader& header,
                                                 const WreathArguments& a) {
  traceJoined("createClassicWreath ", a.wreathCount);
  auto wreath = std::make_unique<ClassicWreath>();
  wreath->wreathCount = a.wreathCount;
  wreath->wreathRadius = a.wreathRadius;
  return enterNode(makeObjectNode(header, std::move(wreath)), header.name);
}

std::string NodeListBuilder::createClassicRevo(const ObjectHeader& header,
                                               const std::string& shape,
                                               const RevoArguments& a) {
  traceJoined("createClassicRevo ", a.profilePoints.size());
  auto revo = std::make_unique<ClassicRevo>();
  revo->profilePoints = a.profilePoints;
  const std::string name = enterNode(makeObjectNode(header, std::move(revo)), header.name);
  linkShape(name, shape, header);
  return name;
}

}  // namespace syv

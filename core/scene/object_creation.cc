#include "core/scene/object_creation.h"

#include <cmath>
#include <memory>
#include <sstream>
#include <utility>

#include "core/base/log.h"
#include "core/base/progress.h"
#include "core/scene/primitive_shapes.h"

namespace syv {

namespace {

// 2 pi divided by the golden ratio, and twice the golden ratio.
constexpr double kGoldenAngle = 3.8832221;
constexpr double kDivergenceFactor = 3.2360678;
constexpr double kHornSplineFactor = 20.0;

bool isSweptBody(const std::string& type) {
  return type == "Tree" || type == "Horn" || type == "Leaf";
}

bool isFlatLeafShape(const std::string& primitive) {
  return primitive == "Square" || primitive == "Triangle1" || primitive == "Triangle2";
}

std::string quoted(const std::string& text) { return "\"" + text + "\""; }

// The material in force for the record, and whether it is the object's own.
bool resolveMaterial(const ComponentRecord& record, SceneMaterial& material) {
  const PrimitiveRecord& p = record.Primitive;
  bool own = false;
  if (p.Use_GFXColor) {
    material.colorName = p.Color;
    material.ambient = p.Ambient;
    material.diffuse = p.Diffuse;
    material.specular = p.Specular;
    material.emission = p.Emission;
    material.alpha = p.Alpha.value;
    own = true;
  }
  if (p.Texture_Handler == 1) {
    material.texture = p.Texture;
    material.textureFile = p.Texture_File == "None" ? std::string() : p.Texture_File;
    material.textureShift = Vector3(p.Texture_ShiftS.value, p.Texture_ShiftT.value, 0.0);
    material.textureScale = Vector3(p.Texture_ScaleS.value, p.Texture_ScaleT.value, 0.0);
    own = true;
  }
  if (own) material.name = p.Color.empty() ? record.Name : record.Name + "_" + p.Color;
  return own;
}

// The first entry of that name, else a new one. Entries appended elsewhere
// (the roots' defaults) are indexed on the way.
int32_t enterMaterial(CreationShared& shared, const SceneMaterial& material) {
  std::vector<SceneMaterial>& list = shared.materials;
  for (; shared.indexed < list.size(); ++shared.indexed)
    shared.materialIndex.emplace(list[shared.indexed].name,
                                 static_cast<int32_t>(shared.indexed));
  const auto found = shared.materialIndex.find(material.name);
  if (found != shared.materialIndex.end()) return found->second;
  list.push_back(material);
  return static_cast<int32_t>(list.size() - 1);
}

CurveParameter linear(const LinearParameterRecord& r) { return makeLinearParameter(r); }

// The angle curve of a phiball: "phi" asks for the golden angle, any other
// expression gives the number of children per turn.
CurveParameter phiballAngle(const LinearParameterRecord& r) {
  if (r.expression == "phi")
    return makeLinearParameter(r.start * kGoldenAngle, r.end * kGoldenAngle, "id",
                               r.minimum * kGoldenAngle, r.maximum * kGoldenAngle);
  auto turn = [](double v) { return 2.0 * kPi / v; };
  return makeLinearParameter(turn(r.start), turn(r.end), r.expression, turn(r.minimum),
                             turn(r.maximum));
}

TreeArguments treeArguments(const ComponentRecord& record, double unit) {
  const ComponentParameters& k = record.Parameters;
  TreeArguments a;
  a.scale = unit;
  a.stemSegments = k.Segments.value;
  a.stemLength = k.Length.value;
  a.lengthFraction = k.IniScale.value;
  a.branchCount = k.Branch_Num.value;
  a.radius = curveFromKnots(k.ShapeKnots, 0.0, 1.0);
  a.deviation = curveFromKnots(k.Deviate, 0.0, 1.0);
  a.splineLength = k.Spline ? polylineLength(k.Knots) : 0.0;
  a.kinks = curveFromKnots(k.Kruschtl, 0.0, 1.0);
  a.nodeDistribution = curveFromKnots(k.Branchiness, 0.0, 1.0);
  a.nodeDistribution.setPointKind(kCorner);
  a.divergence = curveFromKnots(k.ScrewCurve, 0.0, 2.0 * kPi, kDivergenceFactor);
  a.branchAngle = curveFromKnots(k.AngleCurve, 0.0, kPi, kPi);
  a.childDensity = curveFromKnots(k.DenseCurve, 0.0, 4.0);
  a.childGrowth = curveFromKnots(k.ScaleCurve, 0.0, 1.0);
  a.branchScale = curveFromKnots(k.GeomScale, 0.0, 4.0);
  a.divergenceMode = static_cast<uint16_t>(k.Pairs);
  a.phototropism = curveFromKnots(k.Phototropism, 0.0, 1.0);
  a.gravitropism = curveFromKnots(k.Gravitropism, 0.0, 1.0);
  a.treeMode = static_cast<uint16_t>(k.Version);
  if (k.Spline) a.stemSpline = splineFromKnots(k.Knots);
  a.profile = linear(record.Primitive.Displace);
  return a;
}

HornArguments hornArguments(const ComponentRecord& record, double unit) {
  const ComponentParameters& k = record.Parameters;
  HornArguments a;
  a.scale = unit;
  a.segments = k.Segments.value;
  a.hornLength = k.MoveScale;
  a.stepFactor = k.Length.value;
  a.smooth = k.Smooth;
  if (k.Spline)
    for (const Knot& knot : k.Knots) a.hornSpline.push_back(knot * kHornSplineFactor);
  a.radius = linear(k.Shape);
  a.bendX = linear(k.RotX);
  a.bendY = linear(k.RotY);
  a.bendZ = linear(k.RotZ);
  a.shiftX = linear(k.TrX);
  a.shiftY = linear(k.TrY);
  a.step = linear(k.Dense);
  a.twist = linear(k.Screw);
  a.ribTwist = linear(k.Flap);
  a.ribScale = linear(k.Scale);
  a.phototropism = curveFromKnots(k.Phototropism, 0.0, 1.0);
  a.gravitropism = curveFromKnots(k.Gravitropism, 0.0, 1.0);
  a.profile = linear(record.Primitive.Displace);
  return a;
}

void writeCreationLine(const ComponentRecord& record) {
  if (LogChannel::tracing())
    LogChannel::trace("createComponent(" + record.Name + ", " + record.Primitive.Type + ")");
}

// One object whose children are being created: what a recursive creation
// would keep on the call stack.
struct Pending {
  const ComponentRecord* record = nullptr;
  CreationContext context;  // handed to the children
  std::string node;
  std::vector<std::string> standard;
  std::vector<std::string> special;
  NameSet::const_iterator nextChild;
  NameSet::const_iterator nextBranch;
  bool inBranches = false;  // the child being created is a branch link
};

class Creator {
 public:
  Creator(const EvaluationContext& context, SceneBuilder& builder, const RecordMap& records,
          CreationShared& shared)
      : context_(context), builder_(builder), records_(records), shared_(shared) {}

  std::string run(const ComponentRecord& root, const CreationContext& creation,
                  const ChildPlacement& placement) {
    std::string result;
    if (!begin(root, creation, placement, result)) return result;
    while (!stack_.empty()) {
      Pending& p = stack_.back();
      const ComponentRecord* child = nullptr;
      if (nextChildRecord(p, child)) {
        if (p.inBranches && !isSweptBody(p.record->Parameters.TypeName)) {
          LogChannel::error("Found Branch/Rib Link in non Tree/Horn Object " +
                            quoted(p.record->Name));
          finish(std::string());
          continue;
        }
        std::string name;
        // The child context: the parent's hidden flag lives on the parent
        // node, whose subtree the traversal skips as a whole.
        CreationContext c = p.context;
        c.hidden = false;
        if (!begin(*child, c, ChildPlacement(), name)) deliver(name);
        continue;
      }
      if (!p.inBranches) {
        p.inBranches = true;
        continue;
      }
      finish(link(p));
    }
    return result_;
  }

 private:
  // Finds the next existing child record of `p`, first among its children,
  // then among its branch links; false when none is left in the current list.
  bool nextChildRecord(Pending& p, const ComponentRecord*& child) {
    const NameSet& names =
        p.inBranches ? p.record->Parameters.BranchNames : p.record->Children;
    NameSet::const_iterator& it = p.inBranches ? p.nextBranch : p.nextChild;
    while (it != names.end()) {
      auto found = records_.find(*it);
      ++it;
      if (found != records_.end()) {
        child = &found->second;
        return true;
      }
    }
    return false;
  }

  // Steps before the children. False when the object is settled at once (its
  // name, possibly empty, in `result`); true when it was pushed.
  bool begin(const ComponentRecord& record, const CreationContext& creation,
             const ChildPlacement& placement, std::string& result) {
    if (onPath_.count(record.Name) != 0) {
      LogChannel::warning("Object " + quoted(record.Name) +
                          " names itself among its own ancestors; the link is skipped");
      result.clear();
      return false;
    }
    auto created = shared_.createdNames.find(record.Name);
    if (created != shared_.createdNames.end()) {
      result = created->second;
      return false;
    }
    CreationContext context = creation;
    const bool own = resolveMaterial(record, context.material);
    if (own) context.materialId = enterMaterial(shared_, context.material);

    std::string shape;
    const std::string node =
        createComponent(context_, builder_, record, placement, context, shape);
    if (ProgressChannel::cancelled()) shared_.cancelled = true;
    if (node.empty() || shared_.cancelled) {
      result.clear();
      return false;
    }
    shared_.createdNames[record.Name] = node;
    if (own && !builder_.addMaterial(node, context.material, context.materialId))
      LogChannel::warning("Could not create Material for Object " + quoted(node));

    Pending p;
    p.record = &record;
    p.context = context;
    p.node = node;
    if (!shape.empty()) p.standard.push_back(shape);
    p.nextChild = record.Children.begin();
    p.nextBranch = record.Parameters.BranchNames.begin();
    onPath_.insert(record.Name);
    stack_.push_back(std::move(p));
    return true;
  }

  // Link nodes and insertions after all children; the object's name.
  std::string link(Pending& p) {
    const std::string& type = p.record->Parameters.TypeName;
    const bool mayGroup = !(type == "Tree" || type == "Horn" || type == "Phyllotaxis" ||
                            type == "Hydra" || type == "Wreath");
    std::string standardLink;
    if (mayGroup && (p.standard.size() > 1 || (p.standard.empty() && !p.special.empty())))
      standardLink = builder_.createNull(ObjectHeader("Standard_Link"));
    for (const std::string& name : p.standard)
      builder_.insertUnder(name, standardLink.empty() ? p.node : standardLink);
    if (!standardLink.empty()) builder_.insertUnder(standardLink, p.node);

    std::string specialLink;
    if (p.special.size() > 1) specialLink = builder_.createNull(ObjectHeader("Special_Link"));
    for (const std::string& name : p.special)
      builder_.insertUnder(name, specialLink.empty() ? p.node : specialLink);
    if (!specialLink.empty()) builder_.insertUnder(specialLink, p.node);
    return p.node;
  }

  // Pops the top object with its result and hands the result to its parent.
  void finish(const std::string& name) {
    onPath_.erase(stack_.back().record->Name);
    stack_.pop_back();
    deliver(name);
  }

  void deliver(const std::string& name) {
    if (stack_.empty()) {
      result_ = name;
      return;
    }
    if (name.empty()) return;
    Pending& parent = stack_.back();
    const bool special = !parent.inBranches && isSweptBody(parent.record->Parameters.TypeName);
    (special ? parent.special : parent.standard).push_back(name);
  }

  const EvaluationContext& context_;
  SceneBuilder& builder_;
  const RecordMap& records_;
  CreationShared& shared_;
  std::vector<Pending> stack_;
  std::set<std::string> onPath_;
  std::string result_;
};

}  // namespace

SceneMaterial defaultMaterial() {
  SceneMaterial m;
  m.name = "Default";
  m.ambient = ColorRecord(0.1f, 0.1f, 0.1f);
  m.diffuse = ColorRecord(0.6f, 0.6f, 0.6f);
  m.specular = ColorRecord(0.0f, 0.0f, 0.0f);
  m.emission = ColorRecord(0.0f, 0.0f, 0.0f);
  m.alpha = 1.0;
  m.textureShift = Vector3(0.0, 0.0, 0.0);
  m.textureScale = Vector3(1.0, 1.0, 1.0);
  return m;
}

Matrix4 objectTransform(const ComponentRecord& record, const Matrix4& parent, double unit) {
  const Vector3 t = record.Translation.value * unit;
  const Vector3 r = record.Rotation.value;
  const Vector3 s = record.Scale.value;
  Matrix4 m = Matrix4::translation(t) * parent;
  m = Matrix4::rotX(-r.x) * m;
  m = Matrix4::rotY(r.y) * m;
  m = Matrix4::rotZ(-r.z) * m;
  m = Matrix4::scale(s.x, s.y, s.z) * m;
  return m;
}

CurveParameter curveFromKnots(const KnotList& knots, double minimum, double maximum,
                              double factor) {
  std::map<double, double> points;
  if (!knots.empty()) {
    const double first = knots.front().y * factor;
    bool flat = true;
    for (const Knot& k : knots)
      if (std::fabs(k.y * factor - first) > 1e-8) flat = false;
    if (flat) {
      points[0.0] = first;
      points[1.0] = first;
    } else {
      for (const Knot& k : knots) points.emplace(k.x, k.y * factor);
    }
  }
  // Smooth ends: the curves of a plant are drawn as splines through all
  // their knots.
  return CurveParameter(minimum, maximum, points, false, "id");
}

double polylineLength(const KnotList& knots) {
  double length = 0.0;
  for (std::size_t i = 1; i < knots.size(); ++i) length += (knots[i] - knots[i - 1]).length();
  return length > 0.0 ? length : 0.0;
}

Spline splineFromKnots(const KnotList& knots) {
  Spline spline;
  const std::size_t n = knots.size();
  const double total = polylineLength(knots);
  double along = 0.0;
  for (std::size_t i = 0; i < n; ++i) {
    if (i > 0) along += (knots[i] - knots[i - 1]).length();
    SplineKnot k;
    if (total > 0.0)
      k.t = along / total;
    else
      k.t = n > 1 ? static_cast<double>(i) / static_cast<double>(n - 1) : 0.0;
    k.position = knots[i];
    spline.push_back(k);
  }
  return spline;
}

std::string createComponent(const EvaluationContext& context, SceneBuilder& builder,
                            const ComponentRecord& record, const ChildPlacement& placement,
                            const CreationContext& creation, std::string& shape) {
  writeCreationLine(record);
  shape.clear();
  const double unit = unitScale(context);

  ObjectHeader header;
  header.hidden = (creation.hidden || record.Hide) ? 1 : 0;
  header.existenceStart = record.Existence.start;
  header.existenceEnd = record.Existence.end;
  header.name = record.Name;
  header.transform = objectTransform(record, placement.frame, unit);
  header.switchList = record.Switch;
  header.photoDir = photoDirFromText(record.Photo_Dir);
  header.photoMode = 0;
  header.photo = record.Photo.value;

  const std::string s = createPrimitiveShape(context, builder, record);
  const std::string& type = record.Parameters.TypeName;
  const std::string& primitive = record.Primitive.Type;
  const ComponentParameters& k = record.Parameters;

  if (type == "Camera") return builder.createNull(header);
  if (type == "Tree") return builder.createClassicTree(header, s, treeArguments(record, unit));
  if (type == "Horn") return builder.createClassicHorn(header, s, hornArguments(record, unit));
  if (type == "Leaf" && !isFlatLeafShape(primitive))
    return builder.createClassicLeaf(header, s, hornArguments(record, unit));
  if (type == "Revo" && primitive == "Tube") {
    RevoArguments a;
    for (const Knot& knot : k.ShapeKnots) a.profilePoints.emplace_back(knot.x, knot.y, knot.z * unit);
    return builder.createClassicRevo(header, s, a);
  }
  if (type == "PhiBall") {
    PhiballArguments a;
    a.scale = unit;
    a.childCount = k.Number.value;
    a.ballRadius = k.Radius.value;
    a.packing = k.Influence.value;
    a.spiral = phiballAngle(k.Angle);
    a.zone = linear(k.Fan);
    a.childSize = linear(k.Scale);
    a.childScale = linear(k.Trans);
    return builder.createClassicPhiball(header, a);
  }
  if (type == "Hydra") {
    HydraArguments a;
    a.scale = unit;
    a.armCount = k.Number.value;
    a.armSpin = linear(k.Spin);
    a.armAround = linear(k.Twist);
    a.armTilt = linear(k.Fan);
    a.armScale = linear(k.Scale);
    return builder.createClassicHydra(header, a);
  }
  if (type == "Wreath") {
    WreathArguments a;
    a.wreathCount = k.Number.value;
    a.wreathRadius = k.Translation.value * unit;
    return builder.createClassicWreath(header, a);
  }
  if (type == "Simple" || type == "Leaf") {
    shape = s;
    return builder.createNull(header);
  }
  if (type == "HyperPatch") {
    HyperpatchArguments a;
    a.controlPoints.assign(k.Patch_Points.begin(), k.Patch_Points.end());
    return builder.createClassicHyperpatch(header, a);
  }
  return builder.createNull(header);
}

std::string createObject(const EvaluationContext& context, SceneBuilder& builder,
                         const ComponentRecord& record, const CreationContext& creation,
                         const ChildPlacement& placement, const RecordMap& records,
                         CreationShared& shared) {
  Creator creator(context, builder, records, shared);
  return creator.run(record, creation, placement);
}

}  // namespace syv

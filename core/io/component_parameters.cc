#include "core/io/component_parameters.h"

#include <utility>

namespace syv {

bool isComponentKindName(const std::string& name) {
  static const char* const kKinds[] = {"Camera", "Horn", "Hydra", "HyperPatch", "Leaf",
                                       "PhiBall", "Revo", "Tree", "Wreath"};
  for (const char* kind : kKinds) {
    if (name == kind) return true;
  }
  return false;
}

namespace {

using CP = ComponentParameters;

// Keys read alike in every kind block, by the form of their value.
const std::pair<const char*, Triple CP::*> kTriples[] = {
    {"Length", &CP::Length},   {"Len", &CP::Length},       {"Branch_Num", &CP::Branch_Num},
    {"KruschtlKnots", &CP::KruschtlKnots}, {"IniScale", &CP::IniScale}, {"Number", &CP::Number},
    {"Radius", &CP::Radius},   {"Influence", &CP::Influence}, {"Translation", &CP::Translation}};
const std::pair<const char*, LinearParameterRecord CP::*> kLinear[] = {
    {"Steps", &CP::Steps}, {"Flap", &CP::Flap}, {"Screw", &CP::Screw}, {"RotX", &CP::RotX},
    {"RotY", &CP::RotY},   {"RotZ", &CP::RotZ}, {"TrX", &CP::TrX},     {"TrY", &CP::TrY},
    {"TrZ", &CP::TrZ},     {"Fan", &CP::Fan},   {"Trans", &CP::Trans}, {"Angle", &CP::Angle},
    {"Twist", &CP::Twist}, {"Spin", &CP::Spin}};
// Set by the key alone, whatever follows it.
const std::pair<const char*, bool CP::*> kPresent[] = {
    {"Smooth", &CP::Smooth}, {"ApplyShape", &CP::ApplyShape}, {"Spline", &CP::Spline}};
const std::pair<const char*, bool CP::*> kBooleans[] = {
    {"Top", &CP::Top}, {"Deform_Points", &CP::Deform_Points}, {"Separator", &CP::Separator}};
const std::pair<const char*, int32_t CP::*> kIntegers[] = {
    {"Characteristic", &CP::Characteristic}, {"Pairs", &CP::Pairs}};
const std::pair<const char*, int16_t CP::*> kShorts[] = {{"Version", &CP::Version},
                                                         {"Basis", &CP::Basis}};

// The keys whose reading depends on the kind block; false for any other key.
bool readKindKey(const std::string& block, const std::string& key, const std::string& value,
                 CP& p) {
  if (key == "Segments") {
    if (block == "Leaf") {
      const double n = readNumber(value);
      p.Segments = Triple(n, n, n);
    } else {
      p.Segments = readTriple(value);
    }
  } else if (key == "Scale") {
    if (block == "Horn" || block == "PhiBall" || block == "Hydra")
      readLinearParameter(value, p.Scale);
    else
      p.ScaleRange = readVectorRange(value);
  } else if (key == "Shape" || key == "Dense") {
    // A Tree's shape and density are curves, given as blocks.
    if (block != "Tree") readLinearParameter(value, key == "Shape" ? p.Shape : p.Dense);
  } else {
    return false;
  }
  return true;
}

template <typename Table, typename Read>
bool readFromTable(const Table& table, const std::string& key, CP& p, Read read) {
  for (const auto& [name, field] : table) {
    if (key != name) continue;
    read(p.*field);
    return true;
  }
  return false;
}

void readLine(const std::string& block, const std::string& key, const std::string& value, CP& p) {
  if (readKindKey(block, key, value, p)) return;
  if (key == "MoveScale") {
    p.MoveScale = readNumber(value);
    return;
  }
  if (readFromTable(kTriples, key, p, [&](Triple& f) { f = readTriple(value); })) return;
  if (readFromTable(kLinear, key, p, [&](LinearParameterRecord& f) { readLinearParameter(value, f); }))
    return;
  if (readFromTable(kPresent, key, p, [](bool& f) { f = true; })) return;
  if (readFromTable(kBooleans, key, p, [&](bool& f) { f = readBoolean(value); })) return;
  if (readFromTable(kIntegers, key, p, [&](int32_t& f) { f = readInteger(value); })) return;
  readFromTable(kShorts, key, p, [&](int16_t& f) { f = readShortInteger(value); });
}

void readBlock(const std::string& name, const TextNode& child, ComponentParameters& p) {
  if (name == "Knots") {
    p.Knots = readKnotList(child);
  } else if (name == "ShapeKnots" || name == "Shape") {
    p.ShapeKnots = readKnotList(child);
  } else if (name == "Ribs" || name == "Branches") {
    const NameSet names = readNameSet(child);
    p.BranchNames.insert(names.begin(), names.end());
  } else if (name == "Branchiness") {
    p.Branchiness = readKnotList(child);
  } else if (name == "Scale") {
    p.ScaleCurve = readKnotList(child);
  } else if (name == "Deviate") {
    p.Deviate = readKnotList(child);
  } else if (name == "GeomScale") {
    p.GeomScale = readKnotList(child);
  } else if (name == "Angle") {
    p.AngleCurve = readKnotList(child);
  } else if (name == "Screw") {
    p.ScrewCurve = readKnotList(child);
  } else if (name == "Phototropism") {
    p.Phototropism = readKnotList(child);
  } else if (name == "Gravitropism") {
    p.Gravitropism = readKnotList(child);
  } else if (name == "Kruschtl") {
    p.Kruschtl = readKnotList(child);
  } else if (name == "Dense") {
    p.DenseCurve = readKnotList(child);
  } else if (name == "Patch_Points") {
    p.Patch_Points = readKnotList(child);
  }
}

}  // namespace

void readComponentParameters(const std::string& blockName, const TextNode& node,
                             ComponentParameters& parameters) {
  parameters.TypeName = blockName;
  std::string key, value;
  for (const std::string& line : node.lines) {
    splitKeyValue(line, key, value);
    readLine(blockName, key, value, parameters);
  }
  for (const auto& [name, child] : node.children) readBlock(name, child, parameters);
}

}  // namespace syv

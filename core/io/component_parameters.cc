#include "core/io/component_parameters.h"

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

void readLine(const std::string& block, const std::string& key, const std::string& value,
              ComponentParameters& p) {
  const bool isTree = block == "Tree";
  if (key == "Segments") {
    if (block == "Leaf") {
      const double n = readNumber(value);
      p.Segments = Triple(n, n, n);
    } else {
      p.Segments = readTriple(value);
    }
  } else if (key == "Top") {
    p.Top = readBoolean(value);
  } else if (key == "Scale") {
    if (block == "Horn" || block == "PhiBall" || block == "Hydra") {
      readLinearParameter(value, p.Scale);
    } else {
      p.ScaleRange = readVectorRange(value);
    }
  } else if (key == "Shape") {
    if (!isTree) readLinearParameter(value, p.Shape);
  } else if (key == "Dense") {
    if (!isTree) readLinearParameter(value, p.Dense);
  } else if (key == "Steps") {
    readLinearParameter(value, p.Steps);
  } else if (key == "Flap") {
    readLinearParameter(value, p.Flap);
  } else if (key == "Screw") {
    readLinearParameter(value, p.Screw);
  } else if (key == "RotX") {
    readLinearParameter(value, p.RotX);
  } else if (key == "RotY") {
    readLinearParameter(value, p.RotY);
  } else if (key == "RotZ") {
    readLinearParameter(value, p.RotZ);
  } else if (key == "TrX") {
    readLinearParameter(value, p.TrX);
  } else if (key == "TrY") {
    readLinearParameter(value, p.TrY);
  } else if (key == "TrZ") {
    readLinearParameter(value, p.TrZ);
  } else if (key == "Smooth") {
    p.Smooth = true;
  } else if (key == "Characteristic") {
    p.Characteristic = readInteger(value);
  } else if (key == "ApplyShape") {
    p.ApplyShape = true;
  } else if (key == "MoveScale") {
    p.MoveScale = readNumber(value);
  } else if (key == "Length" || key == "Len") {
    p.Length = readTriple(value);
  } else if (key == "Spline") {
    p.Spline = true;
  } else if (key == "Pairs") {
    p.Pairs = readInteger(value);
  } else if (key == "Branch_Num") {
    p.Branch_Num = readTriple(value);
  } else if (key == "KruschtlKnots") {
    p.KruschtlKnots = readTriple(value);
  } else if (key == "IniScale") {
    p.IniScale = readTriple(value);
  } else if (key == "Version") {
    p.Version = readShortInteger(value);
  } else if (key == "Number") {
    p.Number = readTriple(value);
  } else if (key == "Radius") {
    p.Radius = readTriple(value);
  } else if (key == "Influence") {
    p.Influence = readTriple(value);
  } else if (key == "Fan") {
    readLinearParameter(value, p.Fan);
  } else if (key == "Trans") {
    readLinearParameter(value, p.Trans);
  } else if (key == "Angle") {
    readLinearParameter(value, p.Angle);
  } else if (key == "Twist") {
    readLinearParameter(value, p.Twist);
  } else if (key == "Spin") {
    readLinearParameter(value, p.Spin);
  } else if (key == "Translation") {
    p.Translation = readTriple(value);
  } else if (key == "Basis") {
    p.Basis = readShortInteger(value);
  } else if (key == "Deform_Points") {
    p.Deform_Points = readBoolean(value);
  } else if (key == "Separator") {
    p.Separator = readBoolean(value);
  }
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

// Parameters of a component kind, read from the kind block ("Tree", "Horn",
// "Leaf", ...) inside a "Struct" block. One parameter set serves every kind.
#pragma once

#include <cstdint>
#include <string>

#include "core/io/text_tree.h"
#include "core/io/value_types.h"

namespace syv {

// The block names that make a sub-block of "Struct" a component-kind block.
bool isComponentKindName(const std::string& name);

// Fields are named after their keys. The single-precision constants 1.57,
// 3.14159 and 0.001 are kept as the floats they were, widened to double.
struct ComponentParameters {
  // The name of the last kind block read; "Simple" when there was none.
  std::string TypeName = "Simple";
  // Names listed in "Ribs" and "Branches" sub-blocks.
  NameSet BranchNames;

  // Lines.
  Triple Segments{20, 1, 100};
  bool Top = true;
  LinearParameterRecord Scale{1, 1, "id", 0, 5};  // "Scale" in Horn, PhiBall, Hydra
  VectorRange ScaleRange{{1, 1, 1}, {0, 0, 0}, {10, 10, 10}};  // "Scale" elsewhere
  LinearParameterRecord Shape{0, static_cast<double>(1.57f), "cos",
                              static_cast<double>(-3.14159f), static_cast<double>(3.14159f)};
  LinearParameterRecord Dense{0, 0, "cos", static_cast<double>(-3.14159f),
                              static_cast<double>(3.14159f)};
  LinearParameterRecord Steps{1, 1, "id", 1, 200};
  LinearParameterRecord Flap{0, 0, "id", -7, 7};
  LinearParameterRecord Screw{0, 0, "id", -50, 50};
  LinearParameterRecord RotX{0, 0, "id", -1, 1};
  LinearParameterRecord RotY{0, 0, "id", -1, 1};
  LinearParameterRecord RotZ{0, 0, "id", -1, 1};
  LinearParameterRecord TrX{0, 0, "id", -20, 20};
  LinearParameterRecord TrY{0, 0, "id", -20, 20};
  LinearParameterRecord TrZ{0, 0, "cos", static_cast<double>(-3.14159f),
                            static_cast<double>(3.14159f)};
  bool Smooth = false;
  int32_t Characteristic = 5;
  bool ApplyShape = false;
  double MoveScale = 20.0;
  Triple Length{1, static_cast<double>(0.001f), 20};  // "Length" or "Len"
  bool Spline = false;
  int32_t Pairs = 0;
  Triple Branch_Num{10, 1, 100};
  Triple KruschtlKnots{2, 0, 10};
  Triple IniScale{1, 0, 1};
  int16_t Version = 6;
  Triple Number{10, 1, 500};
  Triple Radius{0.5, 0, 10};
  Triple Influence{1, 0, 1};
  LinearParameterRecord Fan{0, static_cast<double>(3.14159f), "id", 0,
                            static_cast<double>(3.14159f)};
  LinearParameterRecord Trans{0, 0, "id", -10, 10};
  LinearParameterRecord Angle{1, 1, "phi", -10, 10};
  LinearParameterRecord Twist{0, 0, "id", static_cast<double>(-3.14159f),
                              static_cast<double>(3.14159f)};
  LinearParameterRecord Spin{0, 0, "id", static_cast<double>(-3.14159f),
                             static_cast<double>(3.14159f)};
  // No default of their own in the format; they start at zero and false.
  Triple Translation{0, 0, 0};
  int16_t Basis = 0;
  bool Deform_Points = false;
  bool Separator = false;

  // Sub-blocks.
  KnotList Knots;
  KnotList ShapeKnots{{0, 0.9, 0}, {0.5, 0.6, 0}, {1, 0, 0}};  // "ShapeKnots" or "Shape"
  KnotList Branchiness;
  KnotList ScaleCurve{{0, 0.5, 0}, {0.5, 0.5, 0}, {1, 0, 0}};  // sub-block "Scale"
  KnotList Deviate{{0, 0, 0}, {0.5, 0, 0}, {1, 0, 0}};
  KnotList GeomScale;
  KnotList AngleCurve{{0, 0.4, 0}, {0.5, 0.4, 0}, {1, 0.6, 0}};  // sub-block "Angle"
  KnotList ScrewCurve;                                            // sub-block "Screw"
  KnotList Phototropism;
  KnotList Gravitropism;
  KnotList Kruschtl;
  KnotList DenseCurve{{0, 0, 0}, {0.5, 0.5, 0}, {1, 0.2, 0}};  // sub-block "Dense"
  KnotList Patch_Points;
};

// Sets TypeName to `blockName`, then applies the block's lines and then its
// sub-blocks, in file order, over what `parameters` already holds. Kind rules
// ("Segments" in "Leaf", "Scale" in "Horn"/"PhiBall"/"Hydra", "Shape" and
// "Dense" ignored in "Tree") test `blockName`, not an earlier TypeName.
void readComponentParameters(const std::string& blockName, const TextNode& node,
                             ComponentParameters& parameters);

}  // namespace syv

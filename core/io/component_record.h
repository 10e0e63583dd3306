// One object of the scene, read from a "Struct" block.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/io/component_parameters.h"
#include "core/io/primitive_record.h"
#include "core/io/text_tree.h"
#include "core/io/value_types.h"

namespace syv {

// A plain value; copies are complete and independent. Fields are named after
// their keys. Rotation values are radians; the limits +-3.14159 are those
// decimal constants.
struct ComponentRecord {
  std::string Name;
  bool Reference = false;  // set by the key's presence
  bool Hide = false;       // set by the key's presence
  std::string Photo_Dir = "Y";
  std::string Photo_Mode = "Vector";
  Triple Photo{0.0, -1.0, 1.0};
  LinearParameterRecord Existence;
  std::vector<SwitchMask> Switch;
  NameSet Children;
  // Sub-block "Transform".
  VectorRange Scale{{1, 1, 1}, {-1, -1, -1}, {20, 20, 20}};
  VectorRange Rotation{{0, 0, 0}, {-3.14159, -3.14159, -3.14159}, {3.14159, 3.14159, 3.14159}};
  VectorRange Translation{{0, 0, 0}, {-50, -50, -50}, {50, 50, 50}};
  PrimitiveRecord Primitive;
  ComponentParameters Parameters;
  // Sub-blocks that are none of the above nor a kind: a misspelt kind shows here.
  std::vector<std::string> OtherBlocks;
};

// Builds a record with all defaults and fills it from a "Struct" node: its
// lines, then "Children", "Primitive", "Transform" and "Switch" sub-blocks,
// then every component-kind sub-block in file order. Never fails; `depth` is
// handed on and not used.
ComponentRecord readComponentRecord(uint32_t depth, const TextNode& node);

}  // namespace syv

#include "core/io/component_record.h"

namespace syv {

ComponentRecord readComponentRecord(uint32_t depth, const TextNode& node) {
  ComponentRecord record;
  std::string key, value;
  for (const std::string& line : node.lines) {
    splitKeyValue(line, key, value);
    if (key == "Name") record.Name = quotedText(value);
    else if (key == "Photo_Dir") record.Photo_Dir = value;
    else if (key == "Photo_Mode") record.Photo_Mode = value;
    else if (key == "Photo") record.Photo = readTriple(value);
    else if (key == "Existence") readLinearParameter(value, record.Existence);
    else if (key == "Hide") record.Hide = true;
    else if (key == "Reference") record.Reference = true;
  }
  for (const auto& [name, child] : node.children) {
    if (name == "Children") {
      const NameSet names = readNameSet(child);
      record.Children.insert(names.begin(), names.end());
    } else if (name == "Primitive") {
      readPrimitiveRecord(depth + 1, child, record.Primitive);
    } else if (name == "Transform") {
      readTransformBlock(child, record.Scale, record.Rotation, record.Translation);
    } else if (name == "Switch") {
      record.Switch = readSwitchList(child);
    } else if (!isComponentKindName(name) && name != "Simple") {
      record.OtherBlocks.push_back(name);
    }
  }
  for (const auto& [name, child] : node.children) {
    if (isComponentKindName(name)) readComponentParameters(name, child, record.Parameters);
  }
  return record;
}

}  // namespace syv
